#include "eval/corpus/corpus_partial.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test/eval_files.h"
#include "test/scratch_dir.h"

namespace fvscope {
namespace {

void ExpectSameHistogram(const ValueHistogram& a, const ValueHistogram& b) {
  ASSERT_EQ(a.size(), b.size());
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    EXPECT_EQ(i->first, j->first);
    EXPECT_EQ(i->second.black, j->second.black) << i->first;
    EXPECT_EQ(i->second.white, j->second.white) << i->first;
    EXPECT_EQ(i->second.draw, j->second.draw) << i->first;
    EXPECT_EQ(i->second.unknown, j->second.unknown) << i->first;
  }
}

// Shard index of count of a corpus of games games, each game's positions
// counted under both files; games whose number is a multiple of 7 refused.
CorpusPartial ShardOf(int64_t games, int32_t index, int32_t count) {
  CorpusPartial p;
  p.shard_index = index;
  p.shard_count = count;
  p.fv_size = kEvalFileBytes;
  p.fv_checksum = 0x0123456789abcdefULL;
  p.has_compare = true;
  p.compare_size = 1000;
  p.compare_checksum = 42;
  p.from_ply = 4;
  p.scale = 450;
  for (int64_t g = 1; g <= games; ++g) {
    if (!ShardTakes(g, index, count)) continue;
    if (g % 7 == 0) {
      p.refused.push_back({"records/" + std::to_string(g / 10) + ".csa", g % 10 + 1, g,
                           "move 3 \"7776FU\": no black piece on 77"});
      continue;
    }
    std::mt19937 random(static_cast<uint32_t>(g));
    const GameResult result = static_cast<GameResult>(random() % 4);
    CountResult(&p.results, result);
    ++p.games;
    for (int ply = 0; ply < 30; ++ply) {
      const int32_t value = static_cast<int32_t>(random() % 801) - 400;
      CountPosition(&p.values, value, result);
      CountPosition(&p.compare_values, value / 3, result);
      ++p.positions;
    }
  }
  return p;
}

std::string Reseal(std::string bytes) {
  const uint64_t sum = ContentChecksum(bytes.data(), bytes.size() - 8);
  for (int i = 0; i < 8; ++i) bytes[bytes.size() - 8 + i] = static_cast<char>(sum >> (8 * i));
  return bytes;
}

void PutAt(std::string* bytes, size_t at, uint64_t v, int width) {
  for (int i = 0; i < width; ++i) (*bytes)[at + i] = static_cast<char>(v >> (8 * i));
}

// Offsets in the encoding of a partial without refused games.
constexpr size_t kShardIndexAt = 12, kComparedFlagAt = 36, kScaleAt = 57, kGamesAt = 61;
constexpr size_t kRefusedAt = 109, kValuesAt = 113, kFirstEntryAt = 121, kEntryBytes = 36;

TEST(CorpusPartial, RoundTripsEveryField) {
  CorpusPartial p = ShardOf(60, 2, 3);
  p.values[std::numeric_limits<int32_t>::min()].black += 1;
  p.compare_values[std::numeric_limits<int32_t>::max()].unknown += 1;
  ++p.positions;
  p.usage = std::string("\0\xff usage", 8);
  p.refused[0].why = std::string("bad\nbytes\0", 10);
  std::string error;
  ASSERT_TRUE(CheckCorpusPartial(p, &error)) << error;
  const std::string bytes = EncodeCorpusPartial(p);

  CorpusPartial q;
  ASSERT_TRUE(DecodeCorpusPartial(bytes, &q, &error)) << error;
  EXPECT_EQ(q.shard_index, 2);
  EXPECT_EQ(q.shard_count, 3);
  EXPECT_EQ(q.fv_size, p.fv_size);
  EXPECT_EQ(q.fv_checksum, p.fv_checksum);
  EXPECT_TRUE(q.has_compare);
  EXPECT_EQ(q.compare_size, 1000);
  EXPECT_EQ(q.compare_checksum, 42u);
  EXPECT_EQ(q.from_ply, 4);
  EXPECT_EQ(q.scale, 450);
  EXPECT_EQ(q.games, p.games);
  EXPECT_EQ(q.positions, p.positions);
  EXPECT_EQ(q.results.black + q.results.draw, p.results.black + p.results.draw);
  ASSERT_EQ(q.refused.size(), p.refused.size());
  EXPECT_EQ(q.refused[0].path, p.refused[0].path);
  EXPECT_EQ(q.refused[0].why, p.refused[0].why);
  EXPECT_EQ(q.refused[0].file_game, p.refused[0].file_game);
  EXPECT_EQ(q.refused[0].global_game, p.refused[0].global_game);
  EXPECT_EQ(q.usage, p.usage);
  ExpectSameHistogram(q.values, p.values);
  ExpectSameHistogram(q.compare_values, p.compare_values);
  EXPECT_EQ(EncodeCorpusPartial(q), bytes);

  // Stored partials rely on the checksum staying what it is.
  EXPECT_EQ(ContentChecksum("fvscope", 7), ContentChecksum(std::string("fvscope").data(), 7));
  EXPECT_NE(ContentChecksum("fvscope", 7), ContentChecksum("fvscopf", 7));
  EXPECT_NE(ContentChecksum("\0", 1), ContentChecksum("\0\0", 2));
  EXPECT_EQ(ContentChecksum("0123456789abcdefghijklmnopqrstuvwxyz", 36), 0x3a48f08f1bf5857cULL);
}

TEST(CorpusPartial, EveryPrefixAndEveryFlippedByteIsRefused) {
  const std::string bytes = EncodeCorpusPartial(ShardOf(20, 1, 2));
  CorpusPartial q;
  std::string error;
  for (size_t size = 0; size < bytes.size(); ++size) {
    const std::string prefix = bytes.substr(0, size);
    EXPECT_FALSE(DecodeCorpusPartial(prefix, &q, &error)) << size;
    if (size >= 8) {
      EXPECT_FALSE(DecodeCorpusPartial(Reseal(prefix), &q, &error)) << size;
    }
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::string damaged = bytes;
    damaged[at] ^= 0x20;
    EXPECT_FALSE(DecodeCorpusPartial(damaged, &q, &error)) << at;
  }
}

TEST(CorpusPartial, BadInputsAreRefusedWithTheirReason) {
  CorpusPartial base;
  base.shard_index = 1;
  base.shard_count = 1;
  base.games = 1;
  base.results.black = 1;
  base.positions = 3;
  CountPosition(&base.values, -5, GameResult::kBlackWins);
  CountPosition(&base.values, 7, GameResult::kBlackWins);
  CountPosition(&base.values, 7, GameResult::kBlackWins);
  const std::string good = EncodeCorpusPartial(base);
  const auto edited = [&](const std::function<void(CorpusPartial*)>& edit) {
    CorpusPartial p = base;
    edit(&p);
    return EncodeCorpusPartial(p);
  };
  const auto patched = [&](size_t at, uint64_t v, int width = 8) {
    std::string b = good;
    PutAt(&b, at, v, width);
    return Reseal(b);
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* error;
  } rows[] = {
      {"empty", "", "not a corpus partial"},
      {"other magic", "FVSCPARX" + good.substr(8), "not a corpus partial"},
      {"other version", Reseal(good.substr(0, 8) + '\1' + good.substr(9)), "version 1"},
      {"scale 0", patched(kScaleAt, 0, 4), "scale 0 is out of range"},
      {"damaged", good.substr(0, 40) + '\x55' + good.substr(41), "damaged"},
      {"cut short", good.substr(0, good.size() - 1), "damaged"},
      {"trailing bytes", Reseal(good.substr(0, good.size() - 8) + "x" + good.substr(good.size() - 8)),
       "1 bytes after the usage section"},
      {"shard 0", edited([](CorpusPartial* p) { p->shard_index = 0; }), "shard 0/1"},
      {"shard past N", edited([](CorpusPartial* p) { p->shard_index = 2; }), "shard 2/1"},
      {"N too large", edited([](CorpusPartial* p) { p->shard_count = kMaxShards + 1; }),
       "out of range"},
      {"compared flag 2", Reseal(good.substr(0, kComparedFlagAt) + '\2' +
                                 good.substr(kComparedFlagAt + 1)),
       "not 0 or 1"},
      {"compared figures without a file", edited([](CorpusPartial* p) { p->compare_size = 9; }),
       "without one"},
      {"from ply past 2^31", edited([](CorpusPartial* p) { p->from_ply = -1; }), "from ply"},
      {"games past 2^53", patched(kGamesAt, (uint64_t{1} << 53) + 1), "out of range"},
      {"results not adding up", edited([](CorpusPartial* p) { p->results.draw = 1; }),
       "add up to 2"},
      {"positions not adding up", edited([](CorpusPartial* p) { p->positions = 4; }),
       "holds 3 positions, not 4"},
      {"compared histogram not adding up", edited([](CorpusPartial* p) { p->has_compare = true; }),
       "compared value histogram holds 0"},
      {"refused game of another shard", edited([](CorpusPartial* p) {
         p->shard_count = 2;
         p->refused = {{"a.csa", 1, 2, "why"}};
       }),
       "not one of shard 1/2"},
      {"refused games out of order", edited([](CorpusPartial* p) {
         p->refused = {{"a.csa", 1, 5, "why"}, {"a.csa", 2, 3, "why"}};
       }),
       "out of order"},
      {"refused count past the bytes", patched(kRefusedAt, 0xffffffff, 4), "do not fit"},
      {"path length past the bytes", Reseal(edited([](CorpusPartial* p) {
         p->refused = {{std::string(200, 'p'), 1, 1, "why"}};
       }).replace(kRefusedAt + 4, 4, "\xff\xff\xff\x00", 4)),
       "truncated in a refused game's path"},
      {"entries past the bytes", patched(kValuesAt, uint64_t{1} << 60), "do not fit"},
      {"keys not ascending", Reseal(good.substr(0, kFirstEntryAt) +
                                    good.substr(kFirstEntryAt + kEntryBytes, kEntryBytes) +
                                    good.substr(kFirstEntryAt, kEntryBytes) +
                                    good.substr(kFirstEntryAt + 2 * kEntryBytes)),
       "not ascending"},
      {"repeated key", Reseal(good.substr(0, kFirstEntryAt) +
                              good.substr(kFirstEntryAt, kEntryBytes) +
                              good.substr(kFirstEntryAt, kEntryBytes) +
                              good.substr(kFirstEntryAt + 2 * kEntryBytes)),
       "not ascending"},
      {"entry without positions", patched(kFirstEntryAt + 4, 0), "has no positions"},
      {"usage past the bytes", patched(good.size() - 16, 9), "truncated in the usage section"},
  };
  for (const auto& row : rows) {
    CorpusPartial q;
    std::string error;
    EXPECT_FALSE(DecodeCorpusPartial(row.bytes, &q, &error)) << row.name;
    EXPECT_NE(error.find(row.error), std::string::npos) << row.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << row.name;
  }
  // The shard field really is where the rows above assume.
  EXPECT_EQ(good[kShardIndexAt], '\1');
}

TEST(CorpusPartial, MergedShardsAreTheWholeRunWhateverTheSplit) {
  const CorpusPartial whole = ShardOf(200, 1, 1);
  const WinFit whole_fit = FitWinRate(whole.values);
  ASSERT_TRUE(whole_fit.converged) << whole_fit.why;
  for (const int32_t n : {2, 3, 7}) {
    std::vector<CorpusPartial> partials;
    std::vector<std::string> names;
    for (int32_t i = n; i >= 1; --i) {  // given in any order
      CorpusPartial decoded;
      std::string error;
      ASSERT_TRUE(DecodeCorpusPartial(EncodeCorpusPartial(ShardOf(200, i, n)), &decoded, &error));
      partials.push_back(decoded);
      names.push_back("part" + std::to_string(i));
    }
    CorpusPartial merged;
    std::string error;
    ASSERT_TRUE(MergeCorpusPartials(partials, names, &merged, &error)) << error;
    EXPECT_EQ(EncodeCorpusPartial(merged), EncodeCorpusPartial(whole)) << n;
    const WinFit fit = FitWinRate(merged.values);
    EXPECT_EQ(fit.a, whole_fit.a);
    EXPECT_EQ(fit.b, whole_fit.b);
    EXPECT_EQ(fit.cross_entropy, whole_fit.cross_entropy);
  }
}

TEST(CorpusPartial, MergeRefusesPartialsThatDoNotMakeOneRun) {
  const auto three = [] {
    return std::vector<CorpusPartial>{ShardOf(30, 1, 3), ShardOf(30, 2, 3), ShardOf(30, 3, 3)};
  };
  const std::vector<std::string> names = {"a.part", "b.part", "c.part"};
  const struct {
    const char* name;
    std::function<void(std::vector<CorpusPartial>*)> edit;
    const char* error;
  } rows[] = {
      {"another N", [](auto* p) { (*p)[1] = ShardOf(30, 2, 4); }, "b.part: shard 2/4"},
      {"another fv", [](auto* p) { (*p)[2].fv_checksum ^= 1; }, "c.part: made with another evaluation"},
      {"another fv size", [](auto* p) { (*p)[1].fv_size -= 2; }, "b.part: made with another evaluation"},
      {"no compare", [](auto* p) {
         (*p)[1].has_compare = false;
         (*p)[1].compare_size = 0;
         (*p)[1].compare_checksum = 0;
         (*p)[1].compare_values.clear();
       }, "b.part: made without a compared file"},
      {"another compare", [](auto* p) { (*p)[2].compare_checksum = 7; }, "c.part: made with another compared"},
      {"another from ply", [](auto* p) { (*p)[1].from_ply = 0; }, "b.part: made from ply 0"},
      {"another scale", [](auto* p) { (*p)[2].scale = 600; }, "c.part: made with scale 600"},
      {"shard twice", [](auto* p) { (*p)[2] = (*p)[0]; }, "c.part: shard 1/3 is also in a.part"},
      {"shard missing", [](auto* p) { p->pop_back(); }, "shard 3/3 is missing"},
      {"none", [](auto* p) { p->clear(); }, "no partial"},
      {"inconsistent", [](auto* p) { (*p)[0].games += 1; }, "a.part: the game results"},
      {"counts past 2^53", [](auto* p) {
         for (auto& part : *p) {
           part.values[0].unknown += kMaxCount / 2;
           part.compare_values[0].unknown += kMaxCount / 2;
           part.positions += kMaxCount / 2;
         }
       }, "the merged counts pass 2^53"},
  };
  for (const auto& row : rows) {
    std::vector<CorpusPartial> partials = three();
    row.edit(&partials);
    CorpusPartial merged;
    std::string error;
    EXPECT_FALSE(MergeCorpusPartials(partials, names, &merged, &error)) << row.name;
    EXPECT_NE(error.find(row.error), std::string::npos) << row.name << ": " << error;
  }
}

TEST(CorpusPartial, ShardsTakeEveryGameOnce) {
  for (int64_t g = 1; g <= 50; ++g) {
    int taken = 0;
    for (int32_t i = 1; i <= 4; ++i) taken += ShardTakes(g, i, 4);
    EXPECT_EQ(taken, 1) << g;
  }
  EXPECT_TRUE(ShardTakes(5, 1, 4));
  EXPECT_TRUE(ShardTakes(8, 4, 4));
  EXPECT_FALSE(ShardTakes(0, 1, 1));
  EXPECT_FALSE(ShardTakes(1, 0, 1));
  EXPECT_FALSE(ShardTakes(1, 2, 1));
}

TEST(CorpusPartial, EvalFileChecksumCoversTheFileBytes) {
  ScratchDir dir;
  const std::string path = dir.File("fv.bin");
  WriteEvalFile(path, {{10, 300}, {4001, -7}}, 4099);
  EvalFile file;
  std::string error, warning;
  ASSERT_TRUE(LoadEvalFile(path.c_str(), &file, &error, &warning)) << error;
  std::string bytes(4099, '\0');
  bytes[10] = 0x2c;
  bytes[11] = 0x01;
  bytes[4001] = static_cast<char>(0xf9);
  bytes[4002] = static_cast<char>(0xff);
  EXPECT_EQ(EvalFileChecksum(file), ContentChecksum(bytes.data(), bytes.size()));
  CloseEvalFile(&file);
  WriteEvalFile(path, {{10, 300}, {4001, -6}}, 4099);
  ASSERT_TRUE(LoadEvalFile(path.c_str(), &file, &error, &warning)) << error;
  EXPECT_NE(EvalFileChecksum(file), ContentChecksum(bytes.data(), bytes.size()));
  CloseEvalFile(&file);
}

}  // namespace
}  // namespace fvscope
