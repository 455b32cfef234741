// Has a USI engine play itself and writes each game as a CSA record, for a
// corpus of games as engines play them (a king moves on far fewer plies
// than in random games).
//
// usage: self_play ENGINE OUT_DIR GAMES [FIRST_SEED [GO [PACKED]]]
// Game n (from 0) opens with random moves drawn from FIRST_SEED + n (default
// seed 1) and is written to OUT_DIR/gameSEED.csa; GO is what each search is
// told after "go" (default "nodes 3000"). With PACKED, every position the
// engine searched is also written, with its score and the game's result,
// to PACKED.psv and PACKED.hcpe, training records for a corpus.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/self_play_game.h"
#include "report/output_file.h"
#include "shogi/packed_position.h"
#include "shogi/record_file.h"

namespace fvscope {
namespace {

int Main(int argc, char** argv) {
  if (argc < 4 || argc > 7) {
    std::fprintf(stderr, "usage: self_play ENGINE OUT_DIR GAMES [FIRST_SEED [GO [PACKED]]]\n");
    return 2;
  }
  const std::string out_dir = argv[2];
  const long games = std::strtol(argv[3], nullptr, 10);
  const unsigned long first = argc >= 5 ? std::strtoul(argv[4], nullptr, 10) : 1;
  SelfPlayOptions options;
  if (argc >= 6) options.go = argv[5];
  const std::string packed = argc >= 7 ? argv[6] : "";
  std::string records[2];
  UsiSession session;
  std::string error;
  if (!StartUsiSession(argv[1], 10000, &session, &error)) {
    std::fprintf(stderr, "self_play: %s\n", error.c_str());
    return 1;
  }
  for (long n = 0; n < games; ++n) {
    const uint32_t seed = static_cast<uint32_t>(first + n);
    std::string csa;
    std::vector<ScoredPosition> scored;
    if (!PlaySelfGame(&session, options, seed, &csa, &error, packed.empty() ? nullptr : &scored)) {
      std::fprintf(stderr, "self_play: game of seed %u: %s\n", seed, error.c_str());
      return 1;
    }
    if (!packed.empty()) {
      std::vector<RecordGame> read;
      ReadRecordGames(csa, RecordFormat::kCsa, &read);
      const GameResult result = read.empty() ? GameResult::kUnknown : read[0].record.result;
      for (const ScoredPosition& p : scored) {
        for (int f = 0; f < 2; ++f) {
          const PackedFormat format = f == 0 ? PackedFormat::kPsv : PackedFormat::kHcpe;
          uint8_t bytes[kPsvRecordBytes];
          if (EncodePackedRecord(p.position, p.to_move, p.score, result, p.ply, format, bytes)) {
            records[f].append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(format));
          }
        }
      }
    }
    char name[32];
    std::snprintf(name, sizeof name, "/game%05u.csa", seed);
    OutputFile output;
    if (!OpenOutputFile(out_dir + name, &output, &error) ||
        !CommitOutputFile(&output, csa, &error)) {
      std::fprintf(stderr, "self_play: %s\n", error.c_str());
      return 1;
    }
  }
  for (int f = 0; f < 2 && !packed.empty(); ++f) {
    const PackedFormat format = f == 0 ? PackedFormat::kPsv : PackedFormat::kHcpe;
    OutputFile output;
    if (!OpenOutputFile(packed + "." + PackedFormatName(format), &output, &error) ||
        !CommitOutputFile(&output, records[f], &error)) {
      std::fprintf(stderr, "self_play: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) { return fvscope::Main(argc, argv); }
