#include "eval/corpus/corpus_partial.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

namespace fvscope {

namespace {

constexpr uint64_t kLaneMultiplier = 0x9e3779b97f4a7c15ULL;
constexpr uint64_t kLaneSeeds[4] = {0x243f6a8885a308d3ULL, 0x13198a2e03707344ULL,
                                    0xa4093822299f31d0ULL, 0x082efa98ec4e6c89ULL};

// The little-endian 64-bit word at p.
uint64_t LoadWord(const unsigned char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

uint64_t MixLane(uint64_t lane, uint64_t word) {
  return std::rotl((lane ^ word) * kLaneMultiplier, 31);
}

// Spreads every bit of h over the result (splitmix64's finaliser).
uint64_t Finalise(uint64_t h) {
  h ^= h >> 30;
  h *= 0xbf58476d1ce4e5b9ULL;
  h ^= h >> 27;
  h *= 0x94d049bb133111ebULL;
  return h ^ (h >> 31);
}

// Bytes of the fixed part: magic, version, shards, files, from_ply, scale, counts.
constexpr size_t kHeadBytes = 8 + 4 + 4 + 4 + 8 + 8 + 1 + 8 + 8 + 4 + 4 + 8 + 8 + 4 * 8;
constexpr size_t kChecksumBytes = 8;
// More bytes than any packed record takes.
constexpr int32_t kPackedRecordMaxBytes = 40;
// Fewest bytes one refused game and one histogram entry take.
constexpr size_t kRefusedMinBytes = 4 + 8 + 8 + 4;
constexpr size_t kEntryBytes = 4 + 4 * 8;

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%016" PRIx64, v);
  return text;
}

// Little-endian writer.
void PutU8(std::string* out, uint8_t v) { out->push_back(static_cast<char>(v)); }

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void PutU64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void PutString(std::string* out, const std::string& s) {
  PutU32(out, static_cast<uint32_t>(s.size()));
  out->append(s);
}

void PutCounts(std::string* out, const ResultCounts& c) {
  PutU64(out, c.black);
  PutU64(out, c.white);
  PutU64(out, c.draw);
  PutU64(out, c.unknown);
}

void PutHistogram(std::string* out, const ValueHistogram& histogram) {
  uint64_t entries = 0;
  for (const auto& [value, counts] : histogram) entries += TotalOf(counts) != 0;
  PutU64(out, entries);
  for (const auto& [value, counts] : histogram) {
    if (TotalOf(counts) == 0) continue;
    PutU32(out, static_cast<uint32_t>(value));
    PutCounts(out, counts);
  }
}

void PutI128(std::string* out, __int128 v) {
  PutU64(out, static_cast<uint64_t>(v));
  PutU64(out, static_cast<uint64_t>(static_cast<unsigned __int128>(v) >> 64));
}

void PutScore(std::string* out, const ScoreSums& s) {
  PutU64(out, static_cast<uint64_t>(s.records));
  for (__int128 v : {s.value, s.score, s.value_squares, s.score_squares, s.products,
                     s.cross_entropy}) {
    PutI128(out, v);
  }
  for (int b = 0; b < kScoreBins; ++b) {
    PutU64(out, static_cast<uint64_t>(s.bin_records[b]));
    PutU64(out, static_cast<uint64_t>(s.bin_scores[b]));
  }
}

void PutPacked(std::string* out, const PackedFileCounts& f) {
  PutString(out, f.path);
  PutU8(out, static_cast<uint8_t>(f.format));
  PutU64(out, f.file_records);
  PutU64(out, f.evaluated);
  PutU64(out, f.refused);
  PutU64(out, f.left_out);
  PutU32(out, static_cast<uint32_t>(f.tail_bytes));
  PutU32(out, static_cast<uint32_t>(f.named.size()));
  for (const RefusedRecord& r : f.named) {
    PutU64(out, r.record);
    PutString(out, r.why);
  }
}

// Bounded little-endian reader; every read names what it was reading when
// the bytes run out.
struct Reader {
  const unsigned char* at;
  size_t left;
  std::string* error;

  bool Need(size_t bytes, const char* what) {
    if (bytes <= left) return true;
    *error = std::string("truncated in ") + what;
    return false;
  }
  bool U8(uint8_t* v, const char* what) {
    if (!Need(1, what)) return false;
    *v = *at;
    ++at;
    --left;
    return true;
  }
  bool U32(uint32_t* v, const char* what) {
    if (!Need(4, what)) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) *v |= uint32_t{at[i]} << (8 * i);
    at += 4;
    left -= 4;
    return true;
  }
  bool U64(uint64_t* v, const char* what) {
    if (!Need(8, what)) return false;
    *v = LoadWord(at);
    at += 8;
    left -= 8;
    return true;
  }
  // A count 0..kMaxCount.
  bool Count(int64_t* v, const char* what) {
    uint64_t raw;
    if (!U64(&raw, what)) return false;
    if (raw > static_cast<uint64_t>(kMaxCount)) {
      *error = std::string(what) + " " + std::to_string(raw) + " is out of range";
      return false;
    }
    *v = static_cast<int64_t>(raw);
    return true;
  }
  bool Counts(ResultCounts* c, const char* what) {
    return Count(&c->black, what) && Count(&c->white, what) && Count(&c->draw, what) &&
           Count(&c->unknown, what);
  }
  bool String(std::string* s, const char* what) {
    uint32_t size;
    if (!U32(&size, what) || !Need(size, what)) return false;
    s->assign(reinterpret_cast<const char*>(at), size);
    at += size;
    left -= size;
    return true;
  }
  bool I128(__int128* v, const char* what) {
    uint64_t low, high;
    if (!U64(&low, what) || !U64(&high, what)) return false;
    *v = static_cast<__int128>(static_cast<unsigned __int128>(high) << 64 | low);
    return true;
  }
  bool Score(ScoreSums* s, const char* what) {
    if (!Count(&s->records, what)) return false;
    for (__int128* v : {&s->value, &s->score, &s->value_squares, &s->score_squares,
                        &s->products, &s->cross_entropy}) {
      if (!I128(v, what)) return false;
    }
    int64_t binned = 0;
    for (int b = 0; b < kScoreBins; ++b) {
      uint64_t sum;
      if (!Count(&s->bin_records[b], what) || !U64(&sum, what)) return false;
      s->bin_scores[b] = static_cast<int64_t>(sum);
      binned += s->bin_records[b];
      if (binned > s->records) {
        *error = std::string(what) + ": its bins hold more records than it counts";
        return false;
      }
    }
    if (binned != s->records) {
      *error = std::string(what) + ": its bins hold fewer records than it counts";
      return false;
    }
    return true;
  }
  bool Packed(PackedFileCounts* f) {
    uint8_t format;
    uint32_t named, tail;
    if (!String(&f->path, "a packed file's path") || !U8(&format, "a packed file's format") ||
        !Count(&f->file_records, "a packed file's records") ||
        !Count(&f->evaluated, "a packed file's records") ||
        !Count(&f->refused, "a packed file's records") ||
        !Count(&f->left_out, "a packed file's records") ||
        !U32(&tail, "a packed file's tail") || !U32(&named, "a packed file's refusals")) {
      return false;
    }
    f->tail_bytes = static_cast<int32_t>(tail);
    if (format > 1 || named > static_cast<uint32_t>(kNamedRefusedRecords) ||
        tail >= static_cast<uint32_t>(kPackedRecordMaxBytes)) {
      // Not named by its path: the path is the partial's own bytes, which
      // an error line must not echo.
      *error = "a packed file's format or named refusals are out of range";
      return false;
    }
    f->format = static_cast<int8_t>(format);
    f->named.resize(named);
    for (RefusedRecord& r : f->named) {
      if (!Count(&r.record, "a refused record's number") ||
          !String(&r.why, "a refused record's reason")) {
        return false;
      }
    }
    return true;
  }
  bool Histogram(ValueHistogram* histogram, const char* what) {
    uint64_t entries;
    if (!U64(&entries, what)) return false;
    if (entries > left / kEntryBytes) {
      *error = std::string(what) + ": " + std::to_string(entries) +
               " entries do not fit in the bytes left";
      return false;
    }
    histogram->clear();
    for (uint64_t i = 0; i < entries; ++i) {
      uint32_t raw;
      ResultCounts counts;
      if (!U32(&raw, what) || !Counts(&counts, what)) return false;
      const int32_t value = static_cast<int32_t>(raw);
      if (!histogram->empty() && value <= histogram->rbegin()->first) {
        *error = std::string(what) + ": value " + std::to_string(value) + " follows " +
                 std::to_string(histogram->rbegin()->first) + " (keys not ascending)";
        return false;
      }
      if (TotalOf(counts) == 0) {
        *error = std::string(what) + ": value " + std::to_string(value) + " has no positions";
        return false;
      }
      histogram->emplace_hint(histogram->end(), value, counts);
    }
    return true;
  }
};

// Checks the counts of histogram and that they add up to positions.
bool CheckHistogram(const ValueHistogram& histogram, int64_t positions, const char* what,
                    std::string* error) {
  int64_t total = 0;
  for (const auto& [value, counts] : histogram) {
    const int64_t parts[4] = {counts.black, counts.white, counts.draw, counts.unknown};
    for (int64_t part : parts) {
      if (part < 0 || part > kMaxCount - total) {
        *error = std::string(what) + ": the count at value " + std::to_string(value) +
                 " is out of range";
        return false;
      }
      total += part;
    }
  }
  if (total != positions) {
    *error = std::string(what) + " holds " + std::to_string(total) + " positions, not " +
             std::to_string(positions);
    return false;
  }
  return true;
}

bool InCountRange(int64_t v) { return v >= 0 && v <= kMaxCount; }

}  // namespace

uint64_t ContentChecksum(const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint64_t lanes[4] = {kLaneSeeds[0], kLaneSeeds[1], kLaneSeeds[2], kLaneSeeds[3]};
  size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    lanes[0] = MixLane(lanes[0], LoadWord(p + i));
    lanes[1] = MixLane(lanes[1], LoadWord(p + i + 8));
    lanes[2] = MixLane(lanes[2], LoadWord(p + i + 16));
    lanes[3] = MixLane(lanes[3], LoadWord(p + i + 24));
  }
  int lane = 0;
  for (; i + 8 <= size; i += 8, ++lane) lanes[lane] = MixLane(lanes[lane], LoadWord(p + i));
  if (i < size) {
    unsigned char tail[8] = {};
    std::memcpy(tail, p + i, size - i);
    lanes[lane] = MixLane(lanes[lane], LoadWord(tail));
  }
  uint64_t h = Finalise(static_cast<uint64_t>(size) ^ kLaneMultiplier);
  for (uint64_t v : lanes) h = MixLane(h, Finalise(v));
  return Finalise(h);
}

uint64_t EvalFileChecksum(const EvalFile& file) {
  if (file.mapping == nullptr) return ContentChecksum(nullptr, 0);
  // The mapping is advised for random reads, which reads a cold file a page
  // at a time: read ahead while hashing it whole, then advise as before.
  madvise(file.mapping, file.mapping_bytes, MADV_SEQUENTIAL);
  const uint64_t sum = ContentChecksum(file.mapping, file.mapping_bytes);
  madvise(file.mapping, file.mapping_bytes, MADV_RANDOM);
  return sum;
}

bool ShardTakes(int64_t game, int32_t index, int32_t count) {
  if (game < 1 || count < 1 || index < 1 || index > count) return false;
  return (game - 1) % count == index - 1;
}

bool CheckCorpusPartial(const CorpusPartial& p, std::string* error) {
  if (p.shard_count < 1 || p.shard_count > kMaxShards || p.shard_index < 1 ||
      p.shard_index > p.shard_count) {
    *error = "shard " + std::to_string(p.shard_index) + "/" + std::to_string(p.shard_count) +
             " is out of range (1 <= I <= N <= " + std::to_string(kMaxShards) + ")";
    return false;
  }
  if (p.fv_size < 0 || p.compare_size < 0) {
    *error = "a file size is negative";
    return false;
  }
  if (!p.has_compare && (p.compare_size != 0 || p.compare_checksum != 0 ||
                         !p.compare_values.empty())) {
    *error = "figures of a compared file in a partial made without one";
    return false;
  }
  if (p.from_ply < 0) {
    *error = "from ply " + std::to_string(p.from_ply) + " is negative";
    return false;
  }
  if (p.scale < 1) {
    *error = "scale " + std::to_string(p.scale) + " is not positive";
    return false;
  }
  if (!InCountRange(p.games) || !InCountRange(p.positions)) {
    *error = "the games or positions are out of range";
    return false;
  }
  const int64_t results[4] = {p.results.black, p.results.white, p.results.draw,
                              p.results.unknown};
  for (int64_t r : results) {
    if (!InCountRange(r)) {
      *error = "a count of game results is out of range";
      return false;
    }
  }
  if (TotalOf(p.results) != p.games) {
    *error = "the game results add up to " + std::to_string(TotalOf(p.results)) + ", not " +
             std::to_string(p.games) + " games";
    return false;
  }
  if (p.refused.size() > std::numeric_limits<uint32_t>::max()) {
    *error = "too many refused games";
    return false;
  }
  int64_t last_game = 0;
  for (const RefusedGame& r : p.refused) {
    if (r.file_game < 1 || r.file_game > kMaxCount || r.global_game <= last_game ||
        r.global_game > kMaxCount) {
      *error = "refused game " + std::to_string(r.global_game) +
               " is out of range or out of order";
      return false;
    }
    if (!ShardTakes(r.global_game, p.shard_index, p.shard_count)) {
      *error = "refused game " + std::to_string(r.global_game) + " is not one of shard " +
               std::to_string(p.shard_index) + "/" + std::to_string(p.shard_count);
      return false;
    }
    if (r.path.size() > std::numeric_limits<uint32_t>::max() ||
        r.why.size() > std::numeric_limits<uint32_t>::max()) {
      *error = "a text of refused game " + std::to_string(r.global_game) + " is too long";
      return false;
    }
    last_game = r.global_game;
  }
  if (!(p.lambda >= 0 && p.lambda <= 1)) {
    *error = "lambda is outside 0..1";
    return false;
  }
  int64_t evaluated = 0;
  for (size_t n = 0; n < p.packed.size(); ++n) {
    const PackedFileCounts& f = p.packed[n];
    // Named by its place, not its path: the bytes of a damaged partial may
    // hold anything there.
    const std::string which = "packed file " + std::to_string(n + 1);
    if (f.format < 0 || f.format > 1 || f.tail_bytes < 0 ||
        f.tail_bytes >= kPackedRecordMaxBytes || !InCountRange(f.file_records) ||
        !InCountRange(f.evaluated) || !InCountRange(f.refused) || !InCountRange(f.left_out) ||
        f.evaluated > f.file_records - f.refused - f.left_out ||
        f.named.size() > static_cast<size_t>(std::min<int64_t>(kNamedRefusedRecords, f.refused))) {
      *error = which + ": the counts of its records do not add up";
      return false;
    }
    for (size_t i = 0; i < f.named.size(); ++i) {
      if (f.named[i].record < 1 || f.named[i].record > f.file_records ||
          (i > 0 && f.named[i].record <= f.named[i - 1].record)) {
        *error = which + ": a refused record's number is out of range or out of order";
        return false;
      }
    }
    evaluated += f.evaluated;
  }
  if (evaluated > p.positions || p.score.records > evaluated ||
      p.compare_score.records > (p.has_compare ? evaluated : 0)) {
    *error = "the records evaluated or scored pass the positions";
    return false;
  }
  if (!CheckHistogram(p.values, p.positions, "the value histogram", error)) return false;
  if (p.has_compare &&
      !CheckHistogram(p.compare_values, p.positions, "the compared value histogram", error)) {
    return false;
  }
  return true;
}

std::string EncodeCorpusPartial(const CorpusPartial& p) {
  std::string out;
  out.append(kCorpusPartialMagic, kCorpusPartialMagicBytes);
  PutU32(&out, p.activations.empty() ? kPlainCorpusPartialVersion : kCorpusPartialVersion);
  PutU32(&out, static_cast<uint32_t>(p.shard_index));
  PutU32(&out, static_cast<uint32_t>(p.shard_count));
  PutU64(&out, static_cast<uint64_t>(p.fv_size));
  PutU64(&out, p.fv_checksum);
  PutU8(&out, p.has_compare ? 1 : 0);
  PutU64(&out, static_cast<uint64_t>(p.compare_size));
  PutU64(&out, p.compare_checksum);
  PutU32(&out, static_cast<uint32_t>(p.from_ply));
  PutU32(&out, static_cast<uint32_t>(p.scale));
  PutU64(&out, p.games);
  PutU64(&out, p.positions);
  PutCounts(&out, p.results);
  PutU32(&out, static_cast<uint32_t>(p.refused.size()));
  for (const RefusedGame& r : p.refused) {
    PutString(&out, r.path);
    PutU64(&out, r.file_game);
    PutU64(&out, r.global_game);
    PutString(&out, r.why);
  }
  PutHistogram(&out, p.values);
  PutHistogram(&out, p.compare_values);
  uint64_t lambda_bits;
  std::memcpy(&lambda_bits, &p.lambda, 8);
  PutU64(&out, lambda_bits);
  PutU32(&out, static_cast<uint32_t>(p.packed.size()));
  for (const PackedFileCounts& f : p.packed) PutPacked(&out, f);
  PutScore(&out, p.score);
  PutScore(&out, p.compare_score);
  PutU64(&out, p.usage.size());
  out.append(p.usage);
  if (!p.activations.empty()) {
    PutU64(&out, p.activations.size());
    out.append(p.activations);
  }
  PutU64(&out, ContentChecksum(out.data(), out.size()));
  return out;
}

bool DecodeCorpusPartial(std::string_view bytes, CorpusPartial* partial, std::string* error) {
  if (bytes.size() < kCorpusPartialMagicBytes ||
      std::memcmp(bytes.data(), kCorpusPartialMagic, kCorpusPartialMagicBytes) != 0) {
    *error = "not a corpus partial (it does not start with " + std::string(kCorpusPartialMagic) +
             ")";
    return false;
  }
  std::string ignored;
  Reader head{reinterpret_cast<const unsigned char*>(bytes.data()) + kCorpusPartialMagicBytes,
              bytes.size() - kCorpusPartialMagicBytes, &ignored};
  uint32_t version;
  if (!head.U32(&version, "the version")) {
    *error = "truncated in the version";
    return false;
  }
  if (version < kOldestCorpusPartialVersion || version > kCorpusPartialVersion) {
    *error = "corpus partial of format version " + std::to_string(version) +
             "; this build reads versions " + std::to_string(kOldestCorpusPartialVersion) +
             " to " + std::to_string(kCorpusPartialVersion);
    return false;
  }
  if (bytes.size() < kHeadBytes + 4 + 2 * 8 + 8 + kChecksumBytes) {
    *error = "truncated: " + std::to_string(bytes.size()) + " bytes";
    return false;
  }
  const size_t body = bytes.size() - kChecksumBytes;
  const uint64_t stored = LoadWord(reinterpret_cast<const unsigned char*>(bytes.data()) + body);
  const uint64_t computed = ContentChecksum(bytes.data(), body);
  if (stored != computed) {
    *error = "damaged: checksum " + Hex(computed) + " where " + Hex(stored) + " was stored";
    return false;
  }

  CorpusPartial p;
  Reader in{reinterpret_cast<const unsigned char*>(bytes.data()) + kCorpusPartialMagicBytes + 4,
            body - kCorpusPartialMagicBytes - 4, error};
  uint32_t index, count, from_ply, scale;
  uint64_t fv_size, compare_size;
  uint8_t has_compare;
  if (!in.U32(&index, "the shard") || !in.U32(&count, "the shard") ||
      !in.U64(&fv_size, "the evaluation file") || !in.U64(&p.fv_checksum, "the evaluation file") ||
      !in.U8(&has_compare, "the compared file") || !in.U64(&compare_size, "the compared file") ||
      !in.U64(&p.compare_checksum, "the compared file") || !in.U32(&from_ply, "from ply") ||
      !in.U32(&scale, "the scale") || !in.Count(&p.games, "the games") || !in.Count(&p.positions, "the positions") ||
      !in.Counts(&p.results, "the game results")) {
    return false;
  }
  if (index > static_cast<uint32_t>(kMaxShards) || count > static_cast<uint32_t>(kMaxShards)) {
    *error = "shard " + std::to_string(index) + "/" + std::to_string(count) + " is out of range";
    return false;
  }
  if (fv_size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
      compare_size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    *error = "a file size is out of range";
    return false;
  }
  if (has_compare > 1) {
    *error = "the compared file's flag is " + std::to_string(has_compare) + ", not 0 or 1";
    return false;
  }
  if (from_ply > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    *error = "from ply " + std::to_string(from_ply) + " is out of range";
    return false;
  }
  p.shard_index = static_cast<int32_t>(index);
  p.shard_count = static_cast<int32_t>(count);
  p.fv_size = static_cast<int64_t>(fv_size);
  p.has_compare = has_compare == 1;
  p.compare_size = static_cast<int64_t>(compare_size);
  p.from_ply = static_cast<int32_t>(from_ply);
  if (scale < 1 || scale > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    *error = "scale " + std::to_string(scale) + " is out of range";
    return false;
  }
  p.scale = static_cast<int32_t>(scale);

  uint32_t refused;
  if (!in.U32(&refused, "the refused games")) return false;
  if (refused > in.left / kRefusedMinBytes) {
    *error = std::to_string(refused) + " refused games do not fit in the bytes left";
    return false;
  }
  p.refused.resize(refused);
  for (RefusedGame& r : p.refused) {
    if (!in.String(&r.path, "a refused game's path") ||
        !in.Count(&r.file_game, "a refused game's number") ||
        !in.Count(&r.global_game, "a refused game's number") ||
        !in.String(&r.why, "a refused game's reason")) {
      return false;
    }
  }
  uint64_t usage;
  if (!in.Histogram(&p.values, "the value histogram") ||
      !in.Histogram(&p.compare_values, "the compared value histogram")) {
    return false;
  }
  if (version >= 3) {
    uint64_t lambda_bits;
    uint32_t packed;
    if (!in.U64(&lambda_bits, "lambda") || !in.U32(&packed, "the packed files")) return false;
    std::memcpy(&p.lambda, &lambda_bits, 8);
    if (packed > in.left / (4 + 1 + 8 * 4 + 4)) {
      *error = std::to_string(packed) + " packed files do not fit in the bytes left";
      return false;
    }
    p.packed.resize(packed);
    for (PackedFileCounts& f : p.packed) {
      if (!in.Packed(&f)) return false;
    }
    if (!in.Score(&p.score, "the scores") || !in.Score(&p.compare_score, "the compared scores")) {
      return false;
    }
  }
  if (!in.U64(&usage, "the usage section") || !in.Need(usage, "the usage section")) {
    return false;
  }
  p.usage.assign(reinterpret_cast<const char*>(in.at), usage);
  in.at += usage;
  in.left -= usage;
  if (version >= 4) {
    uint64_t activations;
    if (!in.U64(&activations, "the activations section") ||
        !in.Need(activations, "the activations section")) {
      return false;
    }
    if (activations == 0) {
      *error = "an empty activations section (a partial without them is of version 3)";
      return false;
    }
    p.activations.assign(reinterpret_cast<const char*>(in.at), activations);
    in.at += activations;
    in.left -= activations;
  }
  if (in.left != 0) {
    *error = std::to_string(in.left) + " bytes after the " +
             (version >= 4 ? "activations" : "usage") + " section";
    return false;
  }
  if (!CheckCorpusPartial(p, error)) return false;
  *partial = std::move(p);
  return true;
}

bool MergeCorpusPartials(const std::vector<CorpusPartial>& partials,
                         const std::vector<std::string>& names, CorpusPartial* merged,
                         std::string* error) {
  const auto name = [&names](size_t i) {
    return i < names.size() ? names[i] : "partial " + std::to_string(i + 1);
  };
  if (partials.empty()) {
    *error = "no partial to merge";
    return false;
  }
  for (size_t i = 0; i < partials.size(); ++i) {
    if (!CheckCorpusPartial(partials[i], error)) {
      *error = name(i) + ": " + *error;
      return false;
    }
  }
  const CorpusPartial& first = partials[0];
  const auto file_text = [](int64_t size, uint64_t checksum) {
    return std::to_string(size) + " bytes, checksum " + Hex(checksum);
  };
  for (size_t i = 1; i < partials.size(); ++i) {
    const CorpusPartial& p = partials[i];
    const std::string who = name(i) + ": ";
    if (p.shard_count != first.shard_count) {
      *error = who + "shard " + std::to_string(p.shard_index) + "/" +
               std::to_string(p.shard_count) + " of a split into " +
               std::to_string(p.shard_count) + " shards, " + name(0) + " of a split into " +
               std::to_string(first.shard_count);
      return false;
    }
    if (p.fv_size != first.fv_size || p.fv_checksum != first.fv_checksum) {
      *error = who + "made with another evaluation file (" + file_text(p.fv_size, p.fv_checksum) +
               ") than " + name(0) + " (" + file_text(first.fv_size, first.fv_checksum) + ")";
      return false;
    }
    if (p.has_compare != first.has_compare) {
      *error = who + "made " + (p.has_compare ? "with" : "without") + " a compared file, " +
               name(0) + " " + (first.has_compare ? "with" : "without") + " one";
      return false;
    }
    if (p.compare_size != first.compare_size || p.compare_checksum != first.compare_checksum) {
      *error = who + "made with another compared file (" +
               file_text(p.compare_size, p.compare_checksum) + ") than " + name(0) + " (" +
               file_text(first.compare_size, first.compare_checksum) + ")";
      return false;
    }
    if (p.from_ply != first.from_ply) {
      *error = who + "made from ply " + std::to_string(p.from_ply) + ", " + name(0) +
               " from ply " + std::to_string(first.from_ply);
      return false;
    }
    if (p.lambda != first.lambda) {
      *error = who + "made with another --lambda than " + name(0);
      return false;
    }
    bool same_files = p.packed.size() == first.packed.size();
    for (size_t f = 0; same_files && f < p.packed.size(); ++f) {
      same_files = p.packed[f].path == first.packed[f].path &&
                   p.packed[f].format == first.packed[f].format &&
                   p.packed[f].file_records == first.packed[f].file_records &&
                   p.packed[f].tail_bytes == first.packed[f].tail_bytes;
    }
    if (!same_files) {
      *error = who + "names other packed files (or files of another size) than " + name(0);
      return false;
    }
    if (p.scale != first.scale) {
      *error = who + "made with scale " + std::to_string(p.scale) + ", " + name(0) +
               " with scale " + std::to_string(first.scale);
      return false;
    }
  }
  const int32_t n = first.shard_count;
  std::vector<int64_t> owner(n, -1);
  for (size_t i = 0; i < partials.size(); ++i) {
    int64_t& slot = owner[partials[i].shard_index - 1];
    if (slot >= 0) {
      *error = name(i) + ": shard " + std::to_string(partials[i].shard_index) + "/" +
               std::to_string(n) + " is also in " + name(slot);
      return false;
    }
    slot = static_cast<int64_t>(i);
  }
  for (int32_t s = 0; s < n; ++s) {
    if (owner[s] < 0) {
      *error = "shard " + std::to_string(s + 1) + "/" + std::to_string(n) +
               " is missing: no partial given holds it (" + std::to_string(partials.size()) +
               " of " + std::to_string(n) + " given)";
      return false;
    }
  }

  CorpusPartial whole;
  whole.fv_size = first.fv_size;
  whole.fv_checksum = first.fv_checksum;
  whole.has_compare = first.has_compare;
  whole.compare_size = first.compare_size;
  whole.compare_checksum = first.compare_checksum;
  whole.from_ply = first.from_ply;
  whole.scale = first.scale;
  whole.lambda = first.lambda;
  whole.packed = first.packed;
  for (PackedFileCounts& f : whole.packed) {
    f.evaluated = f.refused = f.left_out = 0;
    f.named.clear();
  }
  for (int32_t s = 0; s < n; ++s) {
    const CorpusPartial& p = partials[owner[s]];
    std::string why;
    if (whole.games > kMaxCount - p.games || whole.positions > kMaxCount - p.positions ||
        !AddCounts(&whole.results, p.results, &why) ||
        !MergeHistogram(&whole.values, p.values, &why) ||
        !MergeHistogram(&whole.compare_values, p.compare_values, &why)) {
      *error = name(owner[s]) + ": the merged counts pass 2^53";
      return false;
    }
    if (!MergeScoreSums(&whole.score, p.score, &why) ||
        !MergeScoreSums(&whole.compare_score, p.compare_score, &why)) {
      *error = name(owner[s]) + ": " + why;
      return false;
    }
    for (size_t f = 0; f < p.packed.size(); ++f) {
      PackedFileCounts& into = whole.packed[f];
      into.evaluated += p.packed[f].evaluated;
      into.refused += p.packed[f].refused;
      into.left_out += p.packed[f].left_out;
      into.named.insert(into.named.end(), p.packed[f].named.begin(), p.packed[f].named.end());
    }
    whole.games += p.games;
    whole.positions += p.positions;
    whole.refused.insert(whole.refused.end(), p.refused.begin(), p.refused.end());
  }
  std::sort(whole.refused.begin(), whole.refused.end(),
            [](const RefusedGame& a, const RefusedGame& b) {
              return a.global_game < b.global_game;
            });
  for (PackedFileCounts& f : whole.packed) {
    std::sort(f.named.begin(), f.named.end(),
              [](const RefusedRecord& a, const RefusedRecord& b) { return a.record < b.record; });
    if (f.named.size() > static_cast<size_t>(kNamedRefusedRecords)) {
      f.named.resize(kNamedRefusedRecords);
    }
  }
  *merged = std::move(whole);
  return true;
}

int64_t RefusedRecords(const CorpusPartial& partial) {
  int64_t refused = 0;
  for (const PackedFileCounts& f : partial.packed) refused += f.refused;
  return refused;
}

}  // namespace fvscope
