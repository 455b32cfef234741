#include "app/command_line.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace fvscope {
namespace {

struct Parsed {
  bool ok;
  CommandLine command_line;
  std::string error;
};

Parsed Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"fvscope"};
  argv.insert(argv.end(), args);
  Parsed parsed;
  parsed.ok = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &parsed.command_line,
                               &parsed.error);
  return parsed;
}

TEST(Positional, CountDecidesTheMode) {
  Parsed p = Parse({});
  EXPECT_EQ(p.command_line.sort_mode, 0);
  EXPECT_EQ(p.command_line.scan_king_square, -1);
  p = Parse({"2"});
  EXPECT_EQ(p.command_line.sort_mode, 2);
  EXPECT_EQ(p.command_line.scan_king_square, -1);
  p = Parse({"1", "40"});
  EXPECT_EQ(p.command_line.sort_mode, 1);
  EXPECT_EQ(p.command_line.scan_king_square, 40);
  p = Parse({"0", "-1"});
  EXPECT_EQ(p.command_line.scan_king_square, -1);
  p = Parse({"1", "40", "3"});  // three are ignored
  EXPECT_EQ(p.command_line.sort_mode, 0);
  EXPECT_EQ(p.command_line.scan_king_square, -1);
}

TEST(Positional, NumbersReadAsAtoiReadsThem) {
  Parsed p = Parse({"2147483647", "-2147483648"});
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.command_line.sort_mode, INT32_MAX);
  EXPECT_EQ(p.command_line.scan_king_square, INT32_MIN);
  for (const char* big : {"2147483648", "-2147483649", "99999999999999999999x"}) {
    p = Parse({"0", big});
    EXPECT_FALSE(p.ok) << big;
    EXPECT_NE(p.error.find(std::string("scan king square \"") + big), std::string::npos);
  }
  p = Parse({"-1", "abc"});
  EXPECT_EQ(p.command_line.sort_mode, -1);
  EXPECT_EQ(p.command_line.scan_king_square, 0);
  p = Parse({"12x", " 7"});
  EXPECT_EQ(p.command_line.sort_mode, 12);
  EXPECT_EQ(p.command_line.scan_king_square, 7);
}

TEST(Options, AreTakenOutBeforeThePositionalRules) {
  Parsed p = Parse({"--utf8", "1", "-C", "/tmp/w", "40", "--engine=./e -x", "--help"});
  ASSERT_TRUE(p.ok);
  EXPECT_TRUE(p.command_line.utf8);
  EXPECT_TRUE(p.command_line.help);
  EXPECT_EQ(p.command_line.workdir, "/tmp/w");
  EXPECT_EQ(p.command_line.engine, "./e -x");
  EXPECT_EQ(p.command_line.sort_mode, 1);
  EXPECT_EQ(p.command_line.scan_king_square, 40);
  p = Parse({"--workdir=w", "--version"});
  EXPECT_EQ(p.command_line.workdir, "w");
  EXPECT_TRUE(p.command_line.version);
  EXPECT_EQ(Parse({}).command_line.engine, "./engine");
  p = Parse({"--", "--utf8", "5"});
  EXPECT_FALSE(p.command_line.utf8);
  EXPECT_EQ(p.command_line.scan_king_square, 5);
}

TEST(Options, UnknownOrIncompleteOptionsFail) {
  for (auto args : {std::initializer_list<const char*>{"--jump"}, {"1", "--engine"},
                    {"--utf8=1"}, {"-C"}}) {
    const Parsed p = Parse(args);
    EXPECT_FALSE(p.ok);
    EXPECT_FALSE(p.error.empty());
  }
}

TEST(Options, TheTableModesTakeOnlyTheirOwn) {
  Parsed p = Parse({"--corpus=a", "--corpus=b/", "--from-ply=8", "--scale=400", "--shard=2/3",
                    "--partial=p.bin", "--compare=x.bin", "--no-usage"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command_line.corpus, (std::vector<std::string>{"a", "b/"}));
  EXPECT_EQ(p.command_line.from_ply, 8);
  EXPECT_EQ(p.command_line.scale, 400);
  EXPECT_EQ(p.command_line.shard_index, 2);
  EXPECT_EQ(p.command_line.shard_count, 3);
  EXPECT_TRUE(p.command_line.no_usage);
  p = Parse({"--merge=a", "--merge=b", "--scale=300"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.command_line.merge.size(), 2u);
  EXPECT_TRUE(Parse({"--map=+59OU:+58KI", "--compare=b"}).ok);
  EXPECT_TRUE(Parse({"--census", "--json=-"}).ok);
  const struct {
    std::initializer_list<const char*> args;
    const char* says;
  } bad[] = {
      {{"--corpus=a", "1", "40"}, "takes no king square"},
      {{"--census", "1"}, "takes no sort mode"},
      {{"--corpus=a", "--game=r.csa"}, "takes no --game"},
      {{"--corpus=a", "--pieces"}, "takes no --pieces"},
      {{"--corpus=a", "--map=+59OU:+58KI"}, "takes no --map"},
      {{"--census", "--position=startpos"}, "takes no --position"},
      {{"--map=+59OU:+58KI", "--census"}, "takes no --census"},
      {{"--merge=a", "--corpus=b"}, "--merge takes"},
      {{"--merge=a", "--shard=1/2"}, "--merge takes"},
      {{"--shard=1/2"}, "need --corpus"},
      {{"--from-ply=3"}, "need --corpus"},
      {{"--corpus=a", "--shard=3/2"}, "--shard takes I/N"},
      {{"--corpus=a", "--shard=0/2"}, "--shard takes I/N"},
      {{"--corpus=a", "--shard=1/2x"}, "--shard takes I/N"},
      {{"--corpus=a", "--scale=0"}, "--scale takes"},
      {{"--corpus="}, "--corpus needs a value"},
  };
  for (const auto& row : bad) {
    p = Parse(row.args);
    EXPECT_FALSE(p.ok) << row.says;
    EXPECT_NE(p.error.find(row.says), std::string::npos) << p.error;
  }
}


// The option table is the one source of --help, the man page and the reference:
// every option the parser names is in it, and every name in it parses.
TEST(OptionTable, NamesEveryOptionTheParserKnows) {
  std::string table_names;
  for (const OptionDoc& option : OptionDocs()) table_names += std::string(option.usage) + " ";
  std::ifstream source(FVSCOPE_SOURCE_DIR "/app/command_line.cc");
  std::stringstream text;
  text << source.rdbuf();
  const std::string code = text.str();
  int found = 0;
  // Each literal "--name" of the code, and whether the table names it.
  for (size_t at = code.find("\"--"); at != std::string::npos; at = code.find("\"--", at + 1)) {
    size_t end = at + 3;
    while (end < code.size() && (std::islower(static_cast<unsigned char>(code[end])) ||
                                 std::isdigit(static_cast<unsigned char>(code[end])) ||
                                 code[end] == '-')) {
      ++end;
    }
    if (end == at + 3 || end >= code.size() || code[end] != '"') continue;
    const std::string name = code.substr(at + 1, end - at - 1);
    bool in_table = false;
    for (size_t p = table_names.find(name); p != std::string::npos && !in_table;
         p = table_names.find(name, p + 1)) {
      const char before = p == 0 ? ' ' : table_names[p - 1];
      const char after = table_names[p + name.size()];
      in_table = (before == ' ' || before == ',') && after != '\0' &&
                 std::strchr("=[ ,", after) != nullptr;
    }
    EXPECT_TRUE(in_table) << name << " is not in the table";
    ++found;
  }
  EXPECT_GT(found, 20);
}

TEST(OptionTable, EveryNameItGivesParses) {
  for (const OptionDoc& option : OptionDocs()) {
    std::string usage = option.usage;
    std::string name = usage.substr(usage.rfind("--"));
    name = name.substr(0, name.find_first_of("=["));
    const bool has_value = std::strchr(option.usage, '=') != nullptr &&
                           std::strstr(option.usage, "[=") == nullptr;
    const std::string arg = has_value ? name + "=1" : name;
    const Parsed p = Parse({arg.c_str()});
    EXPECT_EQ(p.error.find("unknown option"), std::string::npos) << arg << ": " << p.error;
    EXPECT_NE(std::string(UsageText()).find("  " + usage), std::string::npos) << usage;
  }
}

}  // namespace
}  // namespace fvscope
