// Corpus runs through the real executable: a run split into shards and
// merged is the run over the whole corpus, byte for byte; broken records are
// refused and named; bad partials stop the merge.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "shogi/notation.h"
#include "test/eval_files.h"
#include "test/random_games.h"
#include "test/run_tool.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

// The CSA record of a random game of plies moves, ended by end.
std::string RandomCsaGame(int plies, uint32_t seed, const std::string& end) {
  std::string text = "V2.2\nN+black " + std::to_string(seed) + "\nPI\n+\n";
  for (const RecordPly& ply : RandomGamePlies(plies, seed)) {
    if (ply.has_move) text += CsaMoveText(ply.move) + "\n";
  }
  return text + end + "\n";
}

// A working folder with an evaluation file, a second one, and a corpus of
// random games in two folders and one file of several games, two of them
// broken.
struct CorpusFolder {
  CorpusFolder() {
    dir.Write("work/.keep", "");
    path = dir.File("work");
    WriteCorpusEvalFiles(path, false);
    const char* ends[] = {"%TORYO", "%KACHI", "%SENNICHITE", "%CHUDAN", "%+ILLEGAL_ACTION",
                          "%TIME_UP"};
    for (int g = 0; g < 12; ++g) {
      dir.Write("work/games/" + std::string(g < 6 ? "a/" : "b/") + std::to_string(g) + ".csa",
                RandomCsaGame(30 + 7 * g, 100 + g, ends[g % 6]));
    }
    dir.Write("work/games/b/notes.txt", "not a record");
    dir.Write("work/more.csa", RandomCsaGame(40, 7, "%TORYO") + "/\n" +
                                   "V2.2\nPI\n+\n+7776FU\n-3334FU\n+8822XX\n%TORYO\n/\n" +
                                   RandomCsaGame(25, 8, "%TSUMI") + "/\n" +
                                   "V2.2\nPI\n+\n+5958OU\n+1918KY\n%TORYO\n");
  }
  ToolRun Run(const std::string& args) const { return RunTool(path, args); }
  std::string Read(const std::string& name) const { return ReadWholeFile(path + "/" + name); }
  ScratchDir dir;
  std::string path;
};

constexpr const char* kCorpus = "--corpus=games --corpus=more.csa";

TEST(Corpus, CountsResultsAndNamesTheRecordsItRefuses) {
  CorpusFolder folder;
  const ToolRun run = folder.Run(std::string(kCorpus) + " --json=c.json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("games = 14  positions = "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("refused = 2\n"), std::string::npos);
  // Per game in order: toryo, kachi, sennichite, chudan, +illegal_action,
  // time_up, twice, then toryo and tsumi; the side to move after 30 + 7g
  // moves is black for even g.
  EXPECT_NE(run.out.find("results: black = 3  white = 7  draw = 2  unknown = 2\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("more.csa: game 2: line "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("more.csa: game 4: move 2 \"+1918KY\": "), std::string::npos) << run.err;
  const std::string json = folder.Read("c.json");
  EXPECT_NE(json.find("\"mode\": \"corpus\""), std::string::npos);
  EXPECT_NE(json.find("\"file\": \"more.csa\",\n      \"game\": 4"), std::string::npos) << json;
  EXPECT_NE(json.find("\"kpp_entries\": 88292106"), std::string::npos);
  EXPECT_NE(run.out.find("RANKING OF USE:\n1: contribution = "), std::string::npos);
}

TEST(Corpus, ShardsMergedAreTheSingleRunWhateverTheSplitAndThreads) {
  CorpusFolder folder;
  const std::string common = std::string(kCorpus) + " --from-ply=3 --compare=fv2.bin";
  const ToolRun whole = folder.Run(common + " --json=whole.json --jobs=1");
  ASSERT_EQ(whole.status, 0) << whole.err;
  std::mt19937 random(5);
  for (int shards : {2, 3, 5}) {
    std::vector<std::string> merges;
    for (int i = 1; i <= shards; ++i) {
      const std::string name = "p" + std::to_string(i) + ".part";
      const ToolRun shard = folder.Run(common + " --shard=" + std::to_string(i) + "/" +
                                       std::to_string(shards) + " --partial=" + name);
      ASSERT_EQ(shard.status, 0) << shard.err;
      EXPECT_EQ(shard.out, "");
      merges.push_back(" --merge=" + name);
    }
    std::shuffle(merges.begin(), merges.end(), random);
    std::string args = "--compare=fv2.bin --json=merged.json";
    for (const std::string& m : merges) args += m;
    const ToolRun merged = folder.Run(args);
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(merged.out, whole.out) << shards;
    EXPECT_EQ(merged.err, whole.err) << shards;
    EXPECT_EQ(folder.Read("merged.json"), folder.Read("whole.json")) << shards;
  }
  EXPECT_EQ(folder.Run(common + " --json=threads.json --jobs=3").out, whole.out);
}

TEST(Corpus, BadPartialsStopTheMerge) {
  CorpusFolder folder;
  for (int i = 1; i <= 2; ++i) {
    const std::string shard = " --shard=" + std::to_string(i) + "/2 --partial=p" +
                              std::to_string(i);
    ASSERT_EQ(folder.Run(std::string(kCorpus) + shard).status, 0);
    ASSERT_EQ(folder.Run(std::string(kCorpus) + shard + " --from-ply=4 --partial=f" +
                         std::to_string(i)).status, 0);
  }
  std::string damaged = folder.Read("p2");
  damaged[damaged.size() / 2] ^= 1;
  folder.dir.Write("work/damaged", damaged);
  folder.dir.Write("work/short", folder.Read("p2").substr(0, 100));
  const struct {
    const char* args;
    const char* says;
  } cases[] = {
      {"--merge=p1 --merge=damaged", "damaged"},
      {"--merge=p1 --merge=short", "short"},
      {"--merge=p1 --merge=p1", "p1"},
      {"--merge=p1", "shard 2"},
      {"--merge=p1 --merge=f2", "f2"},
      {"--merge=p1 --merge=p2 --from-ply=4", "--from-ply"},
      {"--merge=p1 --merge=p2 --scale=500", "made with --scale=600, not 500"},
      {"--merge=p1 --merge=p2 --fv=fv2.bin", "another evaluation file"},
      {"--merge=p1 --merge=p2 --compare=fv2.bin", "without --compare"},
      {"--merge=p1 --merge=missing", "missing"},
  };
  for (const auto& c : cases) {
    const ToolRun run = folder.Run(c.args);
    EXPECT_EQ(run.status, 1) << c.args << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
    EXPECT_EQ(run.out, "") << c.args;
  }
  EXPECT_EQ(folder.Run("--merge=p1 --merge=p2").status, 0);
}

TEST(Corpus, WithoutAGameThatCanBeReadTheRunFails) {
  CorpusFolder folder;
  folder.dir.Write("work/broken/x.csa", "V2.2\nPI\n+\n+7776XX\n");
  EXPECT_EQ(folder.Run("--corpus=broken").status, 2);
  EXPECT_EQ(folder.Run("--corpus=nowhere").status, 1);
}

// The recipe of docs/corpora.md, on this machine: GNU parallel runs the shards, the
// merge gives the single run's output.
TEST(Corpus, TheParallelRecipeGivesTheSingleRun) {
  if (std::system("parallel --version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "GNU parallel is not installed";
  }
  CorpusFolder folder;
  const ToolRun whole = folder.Run(kCorpus);
  const std::string recipe =
      "cd " + ShellQuote(folder.path) + " && parallel -j2 " +
      ShellQuote(std::string(FVSCOPE_BINARY)) + " " + kCorpus +
      " --shard={}/4 --partial=shard{}.part ::: 1 2 3 4 && " +
      ShellQuote(std::string(FVSCOPE_BINARY)) + " --merge=shard{1..4}.part > merged.txt";
  ASSERT_EQ(std::system(("bash -c " + ShellQuote(recipe)).c_str()), 0);
  EXPECT_EQ(folder.Read("merged.txt"), whole.out);
}


// Runs fvscope with args in folder, standard output to a file and stderr to
// a pseudo-terminal; returns what each got.
ToolRun RunOnTerminal(const CorpusFolder& folder, const std::vector<std::string>& args) {
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {-1, "", "no pty"};
  const std::string out = folder.path + ".pty-stdout";
  std::vector<char*> argv = {const_cast<char*>(FVSCOPE_BINARY)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || chdir(folder.path.c_str()) != 0) _exit(127);
    dup2(file, STDOUT_FILENO);
    dup2(slave, STDERR_FILENO);
    close(master);
    execv(FVSCOPE_BINARY, argv.data());
    _exit(127);
  }
  close(slave);
  ToolRun run{-1, "", ""};
  char buffer[4096];
  for (ssize_t got; (got = read(master, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);) {
    if (got > 0) run.err.append(buffer, got);
  }
  close(master);
  int raw = 0;
  waitpid(child, &raw, 0);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = ReadWholeFile(out);
  return run;
}

// Progress stands on a terminal's line, rewritten in place, and in a log
// only when asked for; standard output is the same byte for byte.
TEST(Corpus, ProgressGoesToATerminalOrWhenAskedAndNeverToStandardOutput) {
  CorpusFolder folder;
  const ToolRun piped = folder.Run(kCorpus);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err.find("fvscope: files "), std::string::npos) << piped.err;

  const ToolRun terminal = RunOnTerminal(folder, {"--corpus=games", "--corpus=more.csa"});
  ASSERT_EQ(terminal.status, 0) << terminal.err;
  EXPECT_EQ(terminal.out, piped.out);
  EXPECT_NE(terminal.err.find("\rfvscope: files 1/13  games 0  positions 0"), std::string::npos)
      << terminal.err;
  // The refusals' warnings start on a cleared line.
  EXPECT_NE(terminal.err.find("\rfvscope: warning: more.csa: game 2: "), std::string::npos)
      << terminal.err;

  const ToolRun quiet =
      RunOnTerminal(folder, {"--corpus=games", "--corpus=more.csa", "--no-progress"});
  EXPECT_EQ(quiet.out, piped.out);
  EXPECT_EQ(quiet.err.find("fvscope: files"), std::string::npos) << quiet.err;

  const ToolRun logged = folder.Run(std::string(kCorpus) + " --progress");
  EXPECT_EQ(logged.out, piped.out);
  EXPECT_NE(logged.err.find("fvscope: progress: files 1/13  games 0  positions 0"),
            std::string::npos)
      << logged.err;
  EXPECT_NE(logged.err.find("fvscope: progress: files 13/13  games 16/16  positions "),
            std::string::npos)
      << logged.err;

  ASSERT_EQ(folder.Run(std::string(kCorpus) + " --shard=1/2 --partial=p1").status, 0);
  ASSERT_EQ(folder.Run(std::string(kCorpus) + " --shard=2/2 --partial=p2").status, 0);
  const ToolRun merged = folder.Run("--merge=p1 --merge=p2 --progress");
  EXPECT_EQ(merged.out, piped.out);
  EXPECT_NE(merged.err.find("fvscope: progress: files 2/2  games 16  positions "),
            std::string::npos)
      << merged.err;
}

}  // namespace
}  // namespace fvscope
