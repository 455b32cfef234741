// Writes a fixed random game of legal moves (as the move check judges them)
// as a USI position text, for benchmarks: the kings make most moves, to
// squares they have not stood on when they can, so that they wander over
// the board and a run visits many king squares.
//
// With "csa" after the seed, writes a CSA record instead, ended by a result
// line the seed picks (a resignation most often), for corpora.
//
// With "psv" or "hcpe" and a number of games, writes every position of that
// many games (seeds SEED, SEED + 1, ...) as packed training records, shuffled
// as training data is, each with the game's result (a game that does not
// end in a resignation counts as drawn) and a made-up score.
//
// usage: random_game PLIES [SEED [csa | psv GAMES | hcpe GAMES]]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/packed_position.h"
#include "shogi/sfen.h"

namespace fvscope {
namespace {

// Every move side can play on position, kings' moves in *king_moves too.
void LegalMoves(const Position& position, Side side, std::vector<Move>* moves,
                std::vector<Move>* king_moves) {
  moves->clear();
  king_moves->clear();
  PlayableMoves(position, side, moves);
  for (const Move& move : *moves) {
    if (move.kind == kKing) king_moves->push_back(move);
  }
}

// A position of a game and the side to move in it.
struct GamePosition {
  Position position;
  Side side;
  int ply;
};

// Plays the game of seed; returns its text (a USI position or a CSA record)
// and, with positions not null, appends every position of it.
std::string PlayGame(int plies, uint32_t seed, bool csa, std::vector<GamePosition>* positions,
                     GameResult* result) {
  std::mt19937 random(seed);
  GameRecord record;
  std::string error;
  ParseSfen(kStartSfen, &record, &error);
  Position position = record.start;
  Side side = record.side_to_move;
  std::string text = csa ? "V2.2\nPI\n+\n" : "startpos moves";
  std::vector<Move> moves, king_moves, new_squares;
  bool visited[2][kSquares] = {};
  int n = 0;
  for (; n < plies; ++n) {
    LegalMoves(position, side, &moves, &king_moves);
    if (moves.empty()) break;
    if (positions != nullptr) positions->push_back({position, side, n});
    new_squares.clear();
    for (const Move& m : king_moves) {
      if (!visited[side][MoveTo(m.code)]) new_squares.push_back(m);
    }
    const bool king_step = !king_moves.empty() && random() % 4 != 0;
    const std::vector<Move>& pool = !king_step             ? moves
                                    : new_squares.empty() ? king_moves
                                                          : new_squares;
    Move move = pool[random() % pool.size()];
    if (move.kind == kKing) visited[side][MoveTo(move.code)] = true;
    text += csa ? CsaMoveText(move) + "\n" : " " + UsiMoveText(move);
    PlayMove(&position, &move);
    side = Opponent(side);
  }
  if (positions != nullptr) positions->push_back({position, side, n});
  if (csa) {
    constexpr const char* kEnds[] = {"%TORYO", "%TORYO", "%TORYO", "%SENNICHITE", "%CHUDAN"};
    const int end = static_cast<int>(random() % 5);
    text += kEnds[end];
    *result = end >= 3                ? GameResult::kDraw
              : side == kBlack        ? GameResult::kWhiteWins
                                      : GameResult::kBlackWins;
  }
  return text;
}

int Main(int argc, char** argv) {
  const std::string form = argc >= 4 ? argv[3] : "";
  PackedFormat format = PackedFormat::kPsv;
  const bool packed = argc == 5 && PackedFormatOfName(form, &format);
  const bool csa = argc == 4 && form == "csa";
  if (argc < 2 || argc > 5 || (argc >= 4 && !csa && !packed)) {
    std::fprintf(stderr, "usage: random_game PLIES [SEED [csa | psv GAMES | hcpe GAMES]]\n");
    return 2;
  }
  const int plies = std::atoi(argv[1]);
  const uint32_t seed = argc >= 3 ? std::strtoul(argv[2], nullptr, 10) : 20261208u;
  GameResult result = GameResult::kUnknown;
  if (!packed) {
    std::printf("%s\n", PlayGame(plies, seed, csa, nullptr, &result).c_str());
    return 0;
  }
  const long games = std::strtol(argv[4], nullptr, 10);
  std::vector<std::pair<GamePosition, GameResult>> records;
  for (long g = 0; g < games; ++g) {
    std::vector<GamePosition> positions;
    PlayGame(plies, seed + static_cast<uint32_t>(g), true, &positions, &result);
    for (const GamePosition& p : positions) records.push_back({p, result});
  }
  std::mt19937 random(seed);
  std::shuffle(records.begin(), records.end(), random);
  std::string out;
  for (const auto& [p, r] : records) {
    uint8_t bytes[kPsvRecordBytes];
    const int32_t score = static_cast<int32_t>(random() % 2001) - 1000;
    if (EncodePackedRecord(p.position, p.side, score, r, p.ply, format, bytes)) {
      out.append(reinterpret_cast<const char*>(bytes), PackedRecordBytes(format));
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) { return fvscope::Main(argc, argv); }
