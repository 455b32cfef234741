// Measures the pass over a corpus of games on one thread: the rate of full
// breakdowns against the game pass (alone, counting entry use, and under
// two files), then the use of the whole corpus: entries read, the ranking
// and the byte form.
//
// usage: corpus_bench speed FV SECOND_FV GAMES   (rates)
//        corpus_bench use FV GAMES               (use of every game)
//        corpus_bench ratio FV GAMES ROUNDS      (the pass without and with use)
// GAMES holds one USI position text per line ("startpos moves ...").
#include <sys/resource.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "eval/table/breakdown.h"
#include "eval/corpus/entry_use.h"
#include "eval/table/eval_file.h"
#include "eval/table/game_pass.h"
#include "shogi/move_check.h"
#include "shogi/sfen.h"

namespace fvscope {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

bool ReadGames(const char* path, std::vector<std::vector<RecordPly>>* games) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "%s: cannot open\n", path);
    return false;
  }
  std::string line, error;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    GameRecord record;
    std::vector<RecordPly> plies;
    if (!ParseUsiPosition(line, &record, &error) ||
        !PlayRecordPlies(record, Notation::kUsi, &plies, &error)) {
      std::fprintf(stderr, "%s: game %zu: %s\n", path, games->size() + 1, error.c_str());
      return false;
    }
    games->push_back(std::move(plies));
  }
  return true;
}

bool Load(const char* path, EvalFile* file) {
  std::string error, warning;
  if (!LoadEvalFile(path, file, &error, &warning)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return true;
}

void Rate(const char* name, int64_t positions, double seconds) {
  std::printf("%-34s %8lld positions %8.3f s   %9.0f positions/s\n", name,
              static_cast<long long>(positions), seconds, positions / seconds);
}

// Runs the pass over every game; returns the positions evaluated. The
// games count as won by black, so that every read pulls.
int64_t PassAll(const std::vector<std::vector<RecordPly>>& games, const EvalFile& file,
                const EvalFile* second, EntryUse* use) {
  std::vector<PositionFigures> a, b;
  std::string error;
  int64_t positions = 0;
  const GameUse game_use{use, GameResult::kBlackWins, 600};
  for (const std::vector<RecordPly>& plies : games) {
    if (!EvaluateGame(plies, 0, file, second, &a, second ? &b : nullptr,
                      use != nullptr ? &game_use : nullptr, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    positions += static_cast<int64_t>(a.size());
  }
  return positions;
}

int Speed(const char* fv, const char* second_fv, const char* games_path) {
  EvalFile file, second;
  std::vector<std::vector<RecordPly>> games;
  if (!Load(fv, &file) || !Load(second_fv, &second) || !ReadGames(games_path, &games)) return 1;
  // Touch the tables once so that no rate pays for reading the files.
  PassAll(games, file, &second, nullptr);

  auto breakdown = std::make_unique<LeafBreakdown>();
  std::string error;
  int64_t positions = 0;
  Clock::time_point start = Clock::now();
  for (const std::vector<RecordPly>& plies : games) {
    for (const RecordPly& ply : plies) {
      if (!BreakDownLeaf(ply.position, file, breakdown.get(), &error)) return 1;
      ++positions;
    }
  }
  const double full = Seconds(start);
  Rate("(p) full breakdown (BreakDownLeaf)", positions, full);

  start = Clock::now();
  positions = PassAll(games, file, nullptr, nullptr);
  const double pass = Seconds(start);
  Rate("(q) game pass", positions, pass);

  auto use = std::make_unique<EntryUse>();
  start = Clock::now();
  positions = PassAll(games, file, nullptr, use.get());
  Rate("(r) game pass counting use", positions, Seconds(start));
  start = Clock::now();
  positions = PassAll(games, file, nullptr, use.get());
  const double counted = Seconds(start);
  Rate("(r') the same, store in memory", positions, counted);

  start = Clock::now();
  positions = PassAll(games, file, &second, nullptr);
  Rate("(s) game pass under two files", positions, Seconds(start));
  std::printf("%-34s %.2f (counting use %.2f)\n", "(p)/(q) time per position", full / pass,
              full / counted);
  return 0;
}

// The thread's processor time in seconds: what a pass costs when other
// work shares the cores.
double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The game pass without and with the use of entries (the store kept from
// round to round, so that what is timed is the writes), rounds times in
// turn; prints the best of each and their ratio.
int Ratio(const char* fv, const char* games_path, int rounds) {
  EvalFile file;
  std::vector<std::vector<RecordPly>> games;
  if (!Load(fv, &file) || !ReadGames(games_path, &games)) return 1;
  auto use = std::make_unique<EntryUse>();
  PassAll(games, file, nullptr, use.get());
  double best_pass = 1e9, best_use = 1e9;
  int64_t positions = 0;
  for (int r = 0; r < rounds; ++r) {
    double start = ThreadSeconds();
    positions = PassAll(games, file, nullptr, nullptr);
    best_pass = std::min(best_pass, ThreadSeconds() - start);
    start = ThreadSeconds();
    PassAll(games, file, nullptr, use.get());
    best_use = std::min(best_use, ThreadSeconds() - start);
  }
  Rate("(q) game pass, best", positions, best_pass);
  Rate("(r) counting use and pull, best", positions, best_use);
  std::printf("%-34s %.2f\n", "(r)/(q) processor time", best_use / best_pass);
  return 0;
}

int Use(const char* fv, const char* games_path) {
  EvalFile file;
  std::vector<std::vector<RecordPly>> games;
  if (!Load(fv, &file) || !ReadGames(games_path, &games)) return 1;
  auto use = std::make_unique<EntryUse>();
  Clock::time_point start = Clock::now();
  const int64_t positions = PassAll(games, file, nullptr, use.get());
  Rate("(t) use of the corpus", positions, Seconds(start));

  start = Clock::now();
  const int64_t entries = CountUsedKppEntries(*use);
  const int64_t kkp = CountReadKkpEntries(*use);
  std::printf("%-34s %lld KPP entries read, %lld KKP entries, %.3f s to count\n",
              "    entries read", static_cast<long long>(entries), static_cast<long long>(kkp),
              Seconds(start));

  auto summary = std::make_unique<UseSummary>();
  start = Clock::now();
  SummarizeEntryUse(*use, file, nullptr, kByMagnitude, summary.get());
  std::printf("%-34s %.3f s\n", "    rankings of use and pull", Seconds(start));

  std::string bytes;
  start = Clock::now();
  EncodeEntryUse(*use, &bytes);
  const double encode = Seconds(start);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  use.reset();
  auto back = std::make_unique<EntryUse>();
  std::string error;
  start = Clock::now();
  if (!DecodeEntryUse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), back.get(),
                      &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("%-34s %.1f MB, %.3f s to write, %.3f s to read back\n", "    byte form",
              bytes.size() / 1e6, encode, Seconds(start));
  std::printf("%-34s %.1f MB (before reading back)\n", "    peak resident memory",
              usage.ru_maxrss / 1024.0);
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "speed" && argc == 5) return fvscope::Speed(argv[2], argv[3], argv[4]);
  if (mode == "use" && argc == 4) return fvscope::Use(argv[2], argv[3]);
  if (mode == "ratio" && argc == 5) return fvscope::Ratio(argv[2], argv[3], std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: corpus_bench speed FV SECOND_FV GAMES | use FV GAMES | ratio FV GAMES ROUNDS\n");
  return 2;
}
