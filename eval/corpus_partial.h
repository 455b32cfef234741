// What one shard of a corpus run found, as bytes for a partial file and back,
// and the merge of the partials of every shard into the record of one run
// over the whole corpus. Also the checksum that ties a partial to the
// evaluation files it was made with.
//
// A partial file, every number little-endian:
//   "FVSCPART"  magic, 8 bytes
//   u32         format version (kCorpusPartialVersion)
//   u32 u32     shard index I (1..N) and shard count N
//   u64 u64     evaluation file size and checksum
//   u8 u64 u64  compared file present (0 or 1), its size and checksum (0 0 when absent)
//   u32         from_ply
//   u32         scale of the curve the pulls were made under
//   u64 u64     games evaluated, positions evaluated
//   u64 x 4     games won by black, by white, drawn, of unknown result
//   u32         refused games, then each: u32 length + path bytes, u64 game
//               number in its file, u64 global game number, u32 length + why bytes
//   histogram   under the evaluation file: u64 entries, then each: i32 value,
//               u64 x 4 positions won by black, white, drawn, unknown
//   histogram   under the compared file (0 entries when there is none)
//   u64         length of the usage section, then its bytes
//   u64         checksum of every byte before it
#ifndef FVSCOPE_EVAL_CORPUS_PARTIAL_H_
#define FVSCOPE_EVAL_CORPUS_PARTIAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/eval_file.h"
#include "eval/win_fit.h"

namespace fvscope {

constexpr char kCorpusPartialMagic[] = "FVSCPART";
constexpr int kCorpusPartialMagicBytes = 8;
constexpr uint32_t kCorpusPartialVersion = 2;
// Most shards a corpus may be split into.
constexpr int32_t kMaxShards = 1000000;

// A game that was taken by the shard but could not be evaluated.
struct RefusedGame {
  std::string path;     // the record file that holds it
  int64_t file_game;    // its number in that file, from 1
  int64_t global_game;  // its number in the whole corpus, from 1
  std::string why;      // one line
};

// What a shard (or, merged, the whole corpus) found.
struct CorpusPartial {
  int32_t shard_index = 1;  // I of --shard=I/N; 1/1 for a whole run
  int32_t shard_count = 1;  // N
  int64_t fv_size = 0;      // the evaluation file's size in bytes
  uint64_t fv_checksum = 0;  // EvalFileChecksum of it
  bool has_compare = false;  // made with a compared file
  int64_t compare_size = 0;  // 0 without one
  uint64_t compare_checksum = 0;
  int32_t from_ply = 0;      // plies before it were left out, >= 0
  int32_t scale = 600;       // of the curve the usage's pulls were made under, >= 1
  int64_t games = 0;         // games evaluated; the refused ones are not counted
  int64_t positions = 0;     // positions evaluated: the total of each histogram
  ResultCounts results;      // the evaluated games by result; their total is games
  std::vector<RefusedGame> refused;  // ascending global game number
  ValueHistogram values;             // positions by value under the evaluation file
  ValueHistogram compare_values;     // under the compared file; empty without one
  std::string usage;                 // opaque bytes of the entry-use unit, maybe empty
};

// A 64-bit checksum of size bytes at data: word-wise multiply-xor in four
// lanes, the length mixed in; the same on every machine.
uint64_t ContentChecksum(const void* data, size_t size);

// ContentChecksum of the bytes file maps: the whole evaluation file, or its
// first kEvalFileBytes bytes when it is longer (its size tells the rest).
uint64_t EvalFileChecksum(const EvalFile& file);

// True when shard index of count takes global game number game (from 1):
// (game - 1) mod count == index - 1.
bool ShardTakes(int64_t game, int32_t index, int32_t count);

// Checks that partial holds what a partial file may: shard and counts in
// range, totals that agree, refused games of the shard in ascending order. Returns false with *error naming the
// first fault in one line.
bool CheckCorpusPartial(const CorpusPartial& partial, std::string* error);

// The bytes of a partial file for partial, which must pass
// CheckCorpusPartial (histogram entries with no positions are left out).
std::string EncodeCorpusPartial(const CorpusPartial& partial);

// Reads the bytes of a partial file into *partial. Returns false with
// *error naming the fault in one line when they are not one whole, intact
// partial of this version that passes CheckCorpusPartial (histogram keys
// strictly ascending, no entry without positions). Never reads past
// bytes; allocates no more than bytes can fill.
bool DecodeCorpusPartial(std::string_view bytes, CorpusPartial* partial, std::string* error);

// Merges the partials of shards 1..N of one run (names[i] is the file of
// partials[i], for messages) into *merged, the record of a run over the
// whole corpus (shard 1/1): counts and histograms added, refused games in
// ascending global number. The usage sections are not merged: *merged's is
// empty and the caller merges each partial's with the entry-use unit.
// Returns false with *error naming the file and what does not match when
// the partials disagree on N, the evaluation file, the compared file,
// from_ply or the scale, when a shard is given twice or missing, or when a total would
// pass kMaxCount.
bool MergeCorpusPartials(const std::vector<CorpusPartial>& partials,
                         const std::vector<std::string>& names, CorpusPartial* merged,
                         std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_CORPUS_PARTIAL_H_
