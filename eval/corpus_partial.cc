#include "eval/corpus_partial.h"

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
  PutU32(&out, kCorpusPartialVersion);
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
  PutU64(&out, p.usage.size());
  out.append(p.usage);
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
  if (version != kCorpusPartialVersion) {
    *error = "corpus partial of format version " + std::to_string(version) +
             "; this build reads version " + std::to_string(kCorpusPartialVersion);
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
      !in.Histogram(&p.compare_values, "the compared value histogram") ||
      !in.U64(&usage, "the usage section") || !in.Need(usage, "the usage section")) {
    return false;
  }
  p.usage.assign(reinterpret_cast<const char*>(in.at), usage);
  in.at += usage;
  in.left -= usage;
  if (in.left != 0) {
    *error = std::to_string(in.left) + " bytes after the usage section";
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
    whole.games += p.games;
    whole.positions += p.positions;
    whole.refused.insert(whole.refused.end(), p.refused.begin(), p.refused.end());
  }
  std::sort(whole.refused.begin(), whole.refused.end(),
            [](const RefusedGame& a, const RefusedGame& b) {
              return a.global_game < b.global_game;
            });
  *merged = std::move(whole);
  return true;
}

}  // namespace fvscope
