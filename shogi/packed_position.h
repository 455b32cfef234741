// Training positions in the two packed record formats: a 32-byte position
// block, then the search's score, the move, the game's result and (psv only)
// the ply. Decoding checks every record; encoding writes what a decoder reads
// back as the same position.
#ifndef FVSCOPE_SHOGI_PACKED_POSITION_H_
#define FVSCOPE_SHOGI_PACKED_POSITION_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shogi/move.h"
#include "shogi/types.h"

namespace fvscope {

// The two formats: PackedSfenValue (.psv) and HuffmanCodedPosAndEval (.hcpe).
enum class PackedFormat : int8_t {
  kPsv = 0,
  kHcpe = 1,
};

// Bytes of the position block, and of a whole record of each format.
constexpr int kPackedPositionBytes = 32;
constexpr int kPsvRecordBytes = 40;
constexpr int kHcpeRecordBytes = 38;

// Bytes of one record of format.
constexpr int PackedRecordBytes(PackedFormat format) {
  return format == PackedFormat::kPsv ? kPsvRecordBytes : kHcpeRecordBytes;
}

// The format's name as files and the command line give it: "psv" or "hcpe".
constexpr const char* PackedFormatName(PackedFormat format) {
  return format == PackedFormat::kPsv ? "psv" : "hcpe";
}

// The format named "psv" or "hcpe" (a file's extension without its dot, any
// case). Returns false for another name.
bool PackedFormatOfName(std::string_view name, PackedFormat* format);

// One record, decoded.
struct PackedRecord {
  Position position;  // both kings set, every piece where it can move, within the set
  Side to_move;
  int32_t score;      // the search's score in points, from black's view
  GameResult result;  // kBlackWins, kWhiteWins or kDraw
  int32_t ply;        // the game's ply (psv); -1 in hcpe, which holds none
};

// Decodes the position block at bytes[0..31] under format's codes into
// *position and *to_move. Returns false with *why (a fixed text) when the
// codes run past bit 256 or name no piece, a king square is above 81 or a
// king is missing, the kings share a square, a kind has more pieces than
// the set, or a pawn, lance or knight stands where it can never move.
bool DecodePackedPosition(const uint8_t* bytes, PackedFormat format, Position* position,
                          Side* to_move, const char** why);

// Decodes as DecodePackedPosition does, every code checked as it is read:
// slower, the reference the quick reading is held to.
bool DecodeCheckingEachCode(const uint8_t* bytes, PackedFormat format, Position* position,
                            Side* to_move, const char** why);

// Decodes one whole record (PackedRecordBytes(format) bytes) into *record.
// Returns false with *why as DecodePackedPosition does, or for a result byte
// outside its values.
bool DecodePackedRecord(const uint8_t* bytes, PackedFormat format, PackedRecord* record,
                        const char** why);

// Writes position (both kings on the board, every hand count 0..the set,
// no more pieces than the set) with to_move into out[0..31]: the board, then
// each side's hand from pawn to rook, black first, then every piece the
// set lacks as out of play. Returns false, writing nothing, for a position
// it cannot hold.
bool EncodePackedPosition(const Position& position, Side to_move, PackedFormat format,
                          uint8_t* out);

// Writes a whole record: the position, score (in points, from the view of
// to_move, clamped to int16), a zero move, result (kBlackWins, kWhiteWins or
// kDraw; anything else is written as a draw) and, in psv, ply (clamped to
// uint16). Returns false as EncodePackedPosition does.
bool EncodePackedRecord(const Position& position, Side to_move, int32_t score, GameResult result,
                        int32_t ply, PackedFormat format, uint8_t* out);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_PACKED_POSITION_H_
