#include "shogi/packed_position.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace fvscope {

namespace {

// The codes of the two formats, bits in the order they stand in the stream.
// Board codes by hand kind (pawn..rook): black, white, black promoted, white
// promoted (gold: none).
struct BoardCodes {
  const char* psv[4];
  const char* hcpe[4];
};
constexpr BoardCodes kBoardCodes[kHandKinds] = {
    {{"1000", "1001", "1010", "1011"}, {"1000", "1010", "1001", "1011"}},
    {{"110000", "110001", "110010", "110011"}, {"110000", "110010", "110001", "110011"}},
    {{"110100", "110101", "110110", "110111"}, {"111000", "111010", "111001", "111011"}},
    {{"111000", "111001", "111010", "111011"}, {"110100", "110110", "110101", "110111"}},
    {{"111100", "111101", nullptr, nullptr}, {"111100", "111101", nullptr, nullptr}},
    {{"11111000", "11111001", "11111010", "11111011"},
     {"11111000", "11111010", "11111001", "11111011"}},
    {{"11111100", "11111101", "11111110", "11111111"},
     {"11111100", "11111110", "11111101", "11111111"}},
};
constexpr const char* kEmptyCode = "0";

// Hand codes by hand kind: psv black, white; hcpe black, white, out of play.
// In psv a piece out of play is its code with the bit before the last set.
struct HandCodes {
  const char* psv[2];
  const char* hcpe[3];
};
constexpr HandCodes kHandCodes[kHandKinds] = {
    {{"000", "001"}, {"000", "001", "010"}},
    {{"10000", "10001"}, {"10000", "10001", "10010"}},
    {{"10100", "10101"}, {"11000", "11001", "11010"}},
    {{"11000", "11001"}, {"10100", "10101", "10110"}},
    {{"11100", "11101"}, {"11100", "11101", "10111"}},
    {{"1111000", "1111001"}, {"1111100", "1111101", "1111000"}},
    {{"1111100", "1111101"}, {"1111110", "1111111", "1111010"}},
};
constexpr int kGoldHandKind = 4;
constexpr int kSilverHandKind = 3;

constexpr int kBoardPeekBits = 8;
constexpr int kHandPeekBits = 7;
constexpr int kStreamBits = kPackedPositionBytes * 8;
constexpr int kNoKingSquare = 81;
constexpr int kOutOfPlay = 2;  // the side of a hand code for a piece out of play

// A code as a lookup finds it: its length (0: no code) and what it names.
struct BoardEntry {
  int8_t length;
  int8_t piece;  // PieceCode; 0 for an empty square
};
struct HandEntry {
  int8_t length;
  int8_t side;  // kBlack, kWhite or kOutOfPlay
  int8_t kind;  // hand kind
};

// A code held as its bits with the stream's first bit lowest.
struct Code {
  uint32_t bits;
  int length;
};

Code CodeOf(const char* text) {
  Code code{0, 0};
  for (; text[code.length] != '\0'; ++code.length) {
    if (text[code.length] == '1') code.bits |= 1u << code.length;
  }
  return code;
}

// Up to four board codes read at once from kMultiPeekBits bits: how many
// were whole in them, what each names and the bits up to the end of each.
constexpr int kMultiPeekBits = 10;
constexpr int kMultiCodes = 4;
struct alignas(16) MultiEntry {
  uint8_t codes;
  uint8_t bits;  // the end of the last
  int8_t piece[kMultiCodes];
  uint8_t end[kMultiCodes];
};

struct Lookups {
  BoardEntry board[2][1 << kBoardPeekBits];
  HandEntry hand[2][1 << kHandPeekBits];
  MultiEntry board_codes[2][1 << kMultiPeekBits];
};

template <typename Entry>
void Fill(Entry* table, int peek_bits, const Code& code, const Entry& entry) {
  for (uint32_t high = 0; high < (1u << (peek_bits - code.length)); ++high) {
    table[code.bits | high << code.length] = entry;
  }
}

// The psv code of a hand kind out of play: the bit before the last set;
// gold, which has no such bit, as a silver.
Code PsvOutOfPlay(int hand_kind, Side side) {
  const int kind = hand_kind == kGoldHandKind ? kSilverHandKind : hand_kind;
  Code code = CodeOf(kHandCodes[kind].psv[side]);
  code.bits |= 1u << (code.length - 2);
  return code;
}

Lookups BuildLookups() {
  Lookups l;
  std::memset(&l, 0, sizeof l);
  for (int f = 0; f < 2; ++f) {
    Fill(l.board[f], kBoardPeekBits, CodeOf(kEmptyCode), BoardEntry{1, 0});
    for (int h = 0; h < kHandKinds; ++h) {
      const int kind = h + 1;
      const char* const* board = f == 0 ? kBoardCodes[h].psv : kBoardCodes[h].hcpe;
      for (int v = 0; v < 4; ++v) {
        if (board[v] == nullptr) continue;
        const Code code = CodeOf(board[v]);
        const int piece = v >= 2 ? kPromotedKind[kind] : kind;
        Fill(l.board[f], kBoardPeekBits, code,
             BoardEntry{static_cast<int8_t>(code.length),
                        static_cast<int8_t>(v % 2 == 0 ? piece : -piece)});
      }
      for (Side side : kSides) {
        const Code code = CodeOf(f == 0 ? kHandCodes[h].psv[side] : kHandCodes[h].hcpe[side]);
        Fill(l.hand[f], kHandPeekBits, code,
             HandEntry{static_cast<int8_t>(code.length), static_cast<int8_t>(side),
                       static_cast<int8_t>(h)});
      }
    }
    // Several board codes at once: each whole within the bits (a code's
    // entry does not depend on the bits after it).
    for (uint32_t bits = 0; bits < (1u << kMultiPeekBits); ++bits) {
      MultiEntry& multi = l.board_codes[f][bits];
      int used = 0;
      while (multi.codes < kMultiCodes) {
        const BoardEntry entry = l.board[f][(bits >> used) & ((1u << kBoardPeekBits) - 1)];
        if (entry.length == 0 || used + entry.length > kMultiPeekBits) break;
        used += entry.length;
        multi.piece[multi.codes] = entry.piece;
        multi.end[multi.codes] = static_cast<uint8_t>(used);
        multi.bits = static_cast<uint8_t>(used);
        ++multi.codes;
      }
    }
    // Out of play last: in psv a gold's code is a silver's.
    for (int h = 0; h < kHandKinds; ++h) {
      for (Side side : kSides) {
        if (f == 1 && side == kWhite) continue;
        const Code code = f == 0 ? PsvOutOfPlay(h, side) : CodeOf(kHandCodes[h].hcpe[kOutOfPlay]);
        Fill(l.hand[f], kHandPeekBits, code,
             HandEntry{static_cast<int8_t>(code.length), kOutOfPlay, static_cast<int8_t>(h)});
      }
    }
  }
  return l;
}

const Lookups& TheLookups() {
  static const Lookups lookups = BuildLookups();
  return lookups;
}

// The square of the formats' numbering, file-major from 1a, as a board square.
constexpr int BoardSquare(int packed_square) {
  return SquareOf(packed_square / kRanks + 1, packed_square % kRanks + 1);
}

// BoardSquare of every square of the formats' numbering.
constexpr std::array<int8_t, kSquares> kBoardSquares = [] {
  std::array<int8_t, kSquares> squares{};
  for (int q = 0; q < kSquares; ++q) squares[q] = static_cast<int8_t>(BoardSquare(q));
  return squares;
}();

// The stream of a position block, read from its first bit through a window
// of at least 56 bits kept in a register; at counts the bits taken.
struct BitStream {
  uint8_t bytes[kPackedPositionBytes + 16];  // zeros after the block
  int at = 0;
  uint64_t window = 0;  // the stream from bit at on, lowest first
  int held = 0;         // bits of window read from the block (the rest are zeros)
  int next = 0;         // the byte the window reads next

  explicit BitStream(const uint8_t* block) {
    std::memcpy(bytes, block, kPackedPositionBytes);
    std::memset(bytes + kPackedPositionBytes, 0, sizeof bytes - kPackedPositionBytes);
    Fill();
  }
  // Tops the window up to 56 bits or more: bytes already in it are read
  // again into the same places.
  void Fill() {
    uint64_t word;
    std::memcpy(&word, bytes + next, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    window |= word << held;
    next += (63 - held) >> 3;
    held |= 56;
  }
  // The next bits, at least 56 of them valid.
  uint64_t Peek() {
    if (held < 56) Fill();
    return window;
  }
  void Skip(int n) {
    window >>= n;
    held -= n;
    at += n;
  }
  uint32_t Take(int n) {
    const uint32_t bits = static_cast<uint32_t>(Peek()) & ((1u << n) - 1);
    Skip(n);
    return bits;
  }
};

}  // namespace

bool PackedFormatOfName(std::string_view name, PackedFormat* format) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "psv") {
    *format = PackedFormat::kPsv;
  } else if (lower == "hcpe") {
    *format = PackedFormat::kHcpe;
  } else {
    return false;
  }
  return true;
}

bool DecodeCheckingEachCode(const uint8_t* bytes, PackedFormat format, Position* position,
                            Side* to_move, const char** why) {
  const Lookups& lookups = TheLookups();
  const int f = static_cast<int>(format);
  BitStream stream(bytes);
  ClearPosition(position);
  *to_move = stream.Take(1) == 0 ? kBlack : kWhite;
  int kings[2];
  for (Side side : kSides) {
    const int square = static_cast<int>(stream.Take(7));
    if (square > kNoKingSquare) {
      *why = "a king square over 81";
      return false;
    }
    if (square == kNoKingSquare) {
      *why = side == kBlack ? "no black king" : "no white king";
      return false;
    }
    kings[side] = BoardSquare(square);
  }
  if (kings[kBlack] == kings[kWhite]) {
    *why = "both kings on one square";
    return false;
  }
  for (Side side : kSides) {
    position->cells[kings[side]] = static_cast<int8_t>(side == kBlack ? kKing : -kKing);
    position->cells[KingCell(side)] = static_cast<int8_t>(kings[side]);
  }
  int counts[kHandKinds] = {};
  for (int q = 0; q < kSquares; ++q) {
    const int square = kBoardSquares[q];
    if (square == kings[kBlack] || square == kings[kWhite]) continue;
    const BoardEntry entry = lookups.board[f][stream.Peek() & ((1u << kBoardPeekBits) - 1)];
    if (entry.length == 0 || stream.at + entry.length > kStreamBits) {
      *why = entry.length == 0 && stream.at + kBoardPeekBits <= kStreamBits
                 ? "a board code that names no piece"
                 : "the board's codes run past bit 256";
      return false;
    }
    stream.Skip(entry.length);
    if (entry.piece == 0) continue;
    const int kind = KindOf(entry.piece);
    const Side side = entry.piece > 0 ? kBlack : kWhite;
    if (RanksAhead(side, square) < RanksToMove(kind)) {
      *why = kind == kKnight ? "a knight on its last two ranks" : "a pawn or lance on its last rank";
      return false;
    }
    ++counts[kCaptureHandKind[kind]];
    position->cells[square] = entry.piece;
  }
  while (stream.at < kStreamBits) {
    const HandEntry entry = lookups.hand[f][stream.Peek() & ((1u << kHandPeekBits) - 1)];
    if (entry.length == 0 || stream.at + entry.length > kStreamBits) {
      *why = entry.length == 0 && stream.at + kHandPeekBits <= kStreamBits
                 ? "a hand code that names no piece"
                 : "the stream ends inside a hand code";
      return false;
    }
    stream.Skip(entry.length);
    if (entry.side == kOutOfPlay) continue;
    ++counts[entry.kind];
    AddToHand(position, HandSlot(static_cast<Side>(entry.side), entry.kind), 1);
  }
  for (int h = 0; h < kHandKinds; ++h) {
    if (counts[h] > kPiecesInSet[h]) {
      *why = "more pieces of a kind than the set holds";
      return false;
    }
  }
  return true;
}

bool DecodePackedPosition(const uint8_t* bytes, PackedFormat format, Position* position,
                          Side* to_move, const char** why) {
  // The board read without a branch per square; a block with any fault is
  // read again code by code, which names the first.
  const Lookups& lookups = TheLookups();
  const int f = static_cast<int>(format);
  BitStream stream(bytes);
  ClearPosition(position);
  *to_move = stream.Take(1) == 0 ? kBlack : kWhite;
  int kings[2];
  for (Side side : kSides) {
    const int square = static_cast<int>(stream.Take(7));
    if (square >= kNoKingSquare) return DecodeCheckingEachCode(bytes, format, position, to_move, why);
    kings[side] = BoardSquare(square);
  }
  if (kings[kBlack] == kings[kWhite]) return DecodeCheckingEachCode(bytes, format, position, to_move, why);
  // The board's codes in stream order, several at a time, then their
  // squares. The window is held in locals here: a chain of reads through
  // memory would stand between one lookup and the next.
  constexpr int kBoardCodes = kSquares - 2;
  int8_t pieces[kBoardCodes + kMultiCodes];
  uint32_t fault = 0;
  {
    uint64_t window = stream.window;
    int held = stream.held;
    int next = stream.next;
    int at = stream.at;
    const MultiEntry* table = lookups.board_codes[f];
    const auto fill = [&] {
      if (held >= 56) return;
      uint64_t word;
      std::memcpy(&word, stream.bytes + next, 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      window |= word << held;
      next += (63 - held) >> 3;
      held |= 56;
    };
    int n = 0;
    // Whole entries while they cannot run past the board, then the last codes one entry at a time.
    while (n <= kBoardCodes - kMultiCodes) {
      fill();
      const MultiEntry& multi = table[window & ((1u << kMultiPeekBits) - 1)];
      if (multi.codes == 0) return DecodeCheckingEachCode(bytes, format, position, to_move, why);
      window >>= multi.bits;
      held -= multi.bits;
      at += multi.bits;
      std::memcpy(pieces + n, multi.piece, kMultiCodes);
      n += multi.codes;
    }
    while (n < kBoardCodes) {
      fill();
      const MultiEntry& multi = table[window & ((1u << kMultiPeekBits) - 1)];
      if (multi.codes == 0) return DecodeCheckingEachCode(bytes, format, position, to_move, why);
      const int take = std::min<int>(multi.codes, kBoardCodes - n);
      const int bits = multi.end[take - 1];
      window >>= bits;
      held -= bits;
      at += bits;
      std::memcpy(pieces + n, multi.piece, kMultiCodes);
      n += take;
    }
    stream.window = window;
    stream.held = held;
    stream.next = next;
    stream.at = at;
  }
  // Four tallies taken in turn: runs of one code (the empty squares) would
  // wait on their own count otherwise.
  int by_code[4][2 * kMaxPieceCode + 1] = {};
  for (int q = 0, n = 0; q < kSquares; ++q) {
    const int square = kBoardSquares[q];
    if (square == kings[kBlack] || square == kings[kWhite]) continue;
    const int8_t piece = pieces[n];
    ++by_code[n & 3][piece + kMaxPieceCode];
    ++n;
    position->cells[square] = piece;
  }
  // A pawn, lance or knight that can never move stands on its side's last ranks.
  const int8_t* cells = position->cells;
  for (int file = 1; file <= kFiles; ++file) {
    const int b1 = cells[SquareOf(file, 1)], b2 = cells[SquareOf(file, 2)];
    const int w9 = cells[SquareOf(file, kRanks)], w8 = cells[SquareOf(file, kRanks - 1)];
    fault |= (b1 == kPawn) | (b1 == kLance) | (b1 == kKnight) | (b2 == kKnight);
    fault |= (w9 == -kPawn) | (w9 == -kLance) | (w9 == -kKnight) | (w8 == -kKnight);
  }
  if (fault != 0 || stream.at > kStreamBits) {
    return DecodeCheckingEachCode(bytes, format, position, to_move, why);
  }
  for (Side side : kSides) {
    position->cells[kings[side]] = static_cast<int8_t>(side == kBlack ? kKing : -kKing);
    position->cells[KingCell(side)] = static_cast<int8_t>(kings[side]);
  }
  int counts[kHandKinds] = {};
  for (int code = 1; code <= kMaxPieceCode; ++code) {
    if (code == kKing) continue;
    for (const auto& tally : by_code) {
      counts[kCaptureHandKind[code]] += tally[kMaxPieceCode + code] + tally[kMaxPieceCode - code];
    }
  }
  while (stream.at < kStreamBits) {
    const HandEntry entry = lookups.hand[f][stream.Peek() & ((1u << kHandPeekBits) - 1)];
    if (entry.length == 0 || stream.at + entry.length > kStreamBits) {
      return DecodeCheckingEachCode(bytes, format, position, to_move, why);
    }
    stream.Skip(entry.length);
    if (entry.side == kOutOfPlay) continue;
    ++counts[entry.kind];
    AddToHand(position, HandSlot(static_cast<Side>(entry.side), entry.kind), 1);
  }
  for (int h = 0; h < kHandKinds; ++h) {
    if (counts[h] > kPiecesInSet[h]) {
      *why = "more pieces of a kind than the set holds";
      return false;
    }
  }
  return true;
}

bool DecodePackedRecord(const uint8_t* bytes, PackedFormat format, PackedRecord* record,
                        const char** why) {
  if (!DecodePackedPosition(bytes, format, &record->position, &record->to_move, why)) {
    return false;
  }
  const int32_t score = static_cast<int16_t>(bytes[32] | bytes[33] << 8);
  record->score = record->to_move == kBlack ? score : -score;
  if (format == PackedFormat::kPsv) {
    record->ply = bytes[36] | bytes[37] << 8;
    const int8_t result = static_cast<int8_t>(bytes[38]);
    if (result < -1 || result > 1) {
      *why = "a result byte other than -1, 0 or 1";
      return false;
    }
    const bool black_won = (result == 1) == (record->to_move == kBlack);
    record->result = result == 0 ? GameResult::kDraw
                     : black_won ? GameResult::kBlackWins
                                 : GameResult::kWhiteWins;
  } else {
    record->ply = -1;
    const uint8_t result = bytes[36];
    if ((result & 0xe0) != 0 || (result & 3) == 3) {
      *why = "a result byte outside its values";
      return false;
    }
    record->result = (result & 3) == 0   ? GameResult::kDraw
                     : (result & 3) == 1 ? GameResult::kBlackWins
                                         : GameResult::kWhiteWins;
  }
  return true;
}

namespace {

// Writes codes into a block, its first bit first.
struct BitWriter {
  uint8_t* out;
  int at;
  bool Put(const Code& code) {
    if (at + code.length > kStreamBits) return false;
    for (int i = 0; i < code.length; ++i, ++at) {
      if (code.bits >> i & 1) out[at / 8] |= static_cast<uint8_t>(1u << (at % 8));
    }
    return true;
  }
};

// The board square of the formats' numbering that holds board square s.
constexpr int PackedSquare(int square) {
  return (FileOf(square) - 1) * kRanks + (RankOf(square) - 1);
}

}  // namespace

bool EncodePackedPosition(const Position& position, Side to_move, PackedFormat format,
                          uint8_t* out) {
  const int8_t* c = position.cells;
  for (Side side : kSides) {
    const int k = c[KingCell(side)];
    if (!IsSquare(k) || c[k] != (side == kBlack ? kKing : -kKing)) return false;
  }
  int counts[kHandKinds] = {};
  for (int s = 0; s < kSquares; ++s) {
    const int kind = KindOf(c[s]);
    if (!IsPieceCode(c[s]) || (kind == kKing && s != c[kBlackKingCell] && s != c[kWhiteKingCell])) {
      return false;
    }
    if (kind != 0 && kind != kKing) ++counts[kCaptureHandKind[kind]];
  }
  for (Side side : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      const int held = c[HandSlot(side, h)];
      if (held < 0) return false;
      counts[h] += held;
    }
  }
  for (int h = 0; h < kHandKinds; ++h) {
    if (counts[h] > kPiecesInSet[h]) return false;
  }
  uint8_t block[kPackedPositionBytes] = {};
  BitWriter writer{block, 0};
  writer.Put(Code{to_move == kBlack ? 0u : 1u, 1});
  for (Side side : kSides) {
    writer.Put(Code{static_cast<uint32_t>(PackedSquare(c[KingCell(side)])), 7});
  }
  const bool psv = format == PackedFormat::kPsv;
  for (int q = 0; q < kSquares; ++q) {
    const int code = c[BoardSquare(q)];
    const int kind = KindOf(code);
    if (kind == kKing) continue;
    if (kind == 0) {
      writer.Put(CodeOf(kEmptyCode));
      continue;
    }
    const int h = kCaptureHandKind[kind];
    const int variant = (IsPromotedKind(kind) ? 2 : 0) + (code < 0 ? 1 : 0);
    writer.Put(CodeOf(psv ? kBoardCodes[h].psv[variant] : kBoardCodes[h].hcpe[variant]));
  }
  bool fits = true;
  for (Side side : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      const Code code = CodeOf(psv ? kHandCodes[h].psv[side] : kHandCodes[h].hcpe[side]);
      for (int n = 0; n < c[HandSlot(side, h)]; ++n) fits = fits && writer.Put(code);
    }
  }
  for (int h = 0; h < kHandKinds; ++h) {
    const Code code = psv ? PsvOutOfPlay(h, kBlack) : CodeOf(kHandCodes[h].hcpe[kOutOfPlay]);
    for (int n = counts[h]; n < kPiecesInSet[h]; ++n) fits = fits && writer.Put(code);
  }
  if (!fits || writer.at != kStreamBits) return false;
  std::memcpy(out, block, kPackedPositionBytes);
  return true;
}

bool EncodePackedRecord(const Position& position, Side to_move, int32_t score, GameResult result,
                        int32_t ply, PackedFormat format, uint8_t* out) {
  uint8_t record[kPsvRecordBytes] = {};
  if (!EncodePackedPosition(position, to_move, format, record)) return false;
  const int16_t clamped = static_cast<int16_t>(std::clamp(score, -32768, 32767));
  const uint16_t bits = static_cast<uint16_t>(clamped);
  record[32] = static_cast<uint8_t>(bits & 0xff);
  record[33] = static_cast<uint8_t>(bits >> 8);
  const bool decided = result == GameResult::kBlackWins || result == GameResult::kWhiteWins;
  if (format == PackedFormat::kPsv) {
    const uint16_t p = static_cast<uint16_t>(std::clamp(ply, 0, 65535));
    record[36] = static_cast<uint8_t>(p & 0xff);
    record[37] = static_cast<uint8_t>(p >> 8);
    const bool mover_won = (result == GameResult::kBlackWins) == (to_move == kBlack);
    record[38] = static_cast<uint8_t>(!decided ? 0 : mover_won ? 1 : -1);
  } else {
    record[36] = static_cast<uint8_t>(result == GameResult::kBlackWins   ? 1
                                      : result == GameResult::kWhiteWins ? 2
                                                                         : 0);
  }
  std::memcpy(out, record, PackedRecordBytes(format));
  return true;
}

}  // namespace fvscope
