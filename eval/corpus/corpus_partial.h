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
//   (from version 3)
//   f64         lambda of the pull's target
//   u32         packed files, then each: u32 length + path bytes, u8 format
//               (0 psv, 1 hcpe), u64 whole records in the file, u64 records
//               evaluated, refused, left out by from_ply, u32 bytes after
//               the last whole record, u32 refusals named,
//               each: u64 record number from 1, u32 length + why bytes
//   score       twice (the evaluation file, the compared file): u64 records,
//               i128 x 6 as (low u64, high u64) sums of v, s, v*v, s*s, v*s
//               and cross-entropy, then per bin u64 records and i64 sum of s
//   u64         length of the usage section, then its bytes
//   (version 4, written only by a run that counted activations; without
//   them the file is version 3)
//   u64         length of the activations section, then its bytes
//   u64         checksum of every byte before it
#ifndef FVSCOPE_EVAL_CORPUS_CORPUS_PARTIAL_H_
#define FVSCOPE_EVAL_CORPUS_CORPUS_PARTIAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eval/table/eval_file.h"
#include "eval/corpus/score_fit.h"
#include "eval/corpus/win_fit.h"

namespace fvscope {

constexpr char kCorpusPartialMagic[] = "FVSCPART";
constexpr int kCorpusPartialMagicBytes = 8;
constexpr uint32_t kCorpusPartialVersion = 4;
// The version a partial without activations is written as.
constexpr uint32_t kPlainCorpusPartialVersion = 3;
// The oldest version this build still reads: one without packed files.
constexpr uint32_t kOldestCorpusPartialVersion = 2;
// Refused records named per packed file.
constexpr int kNamedRefusedRecords = 5;
// Most shards a corpus may be split into.
constexpr int32_t kMaxShards = 1000000;

// A game that was taken by the shard but could not be evaluated.
struct RefusedGame {
  std::string path;     // the record file that holds it
  int64_t file_game;    // its number in that file, from 1
  int64_t global_game;  // its number in the whole corpus, from 1
  std::string why;      // one line
};

// A record of a packed file that does not decode.
struct RefusedRecord {
  int64_t record;   // its number in the file, from 1
  std::string why;  // one line
};

// A packed file of the corpus as a shard read it: only its slice.
struct PackedFileCounts {
  std::string path;
  int8_t format = 0;       // PackedFormat: 0 psv, 1 hcpe
  int64_t file_records = 0;  // whole records the file holds
  int64_t evaluated = 0;   // records of the slice evaluated
  int64_t refused = 0;     // records of the slice that do not decode
  int64_t left_out = 0;    // records of the slice under from_ply
  int32_t tail_bytes = 0;  // bytes after the last whole record
  std::vector<RefusedRecord> named;  // the first refused, ascending, at most kNamedRefusedRecords
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
  std::string activations;           // opaque bytes of a network's activations, maybe empty
  double lambda = 0;                 // share of the score in the pull's target, 0..1
  std::vector<PackedFileCounts> packed;  // the packed files, in the corpus's order
  ScoreSums score;                   // records' values against their scores
  ScoreSums compare_score;           // under the compared file
};

// Refused records over every packed file of partial.
int64_t RefusedRecords(const CorpusPartial& partial);

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
// ascending global number. The usage and activations sections are not
// merged: *merged's are empty and the caller merges each partial's.
// Returns false with *error naming the file and what does not match when
// the partials disagree on N, the evaluation file, the compared file,
// from_ply or the scale, when a shard is given twice or missing, or when a total would
// pass kMaxCount.
bool MergeCorpusPartials(const std::vector<CorpusPartial>& partials,
                         const std::vector<std::string>& names, CorpusPartial* merged,
                         std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_CORPUS_CORPUS_PARTIAL_H_
