// The shogi domain in one place: squares, piece codes, the position record,
// and the constant tables keyed by piece kind that every unit shares.
#ifndef FVSCOPE_SHOGI_TYPES_H_
#define FVSCOPE_SHOGI_TYPES_H_

#include <cstdint>

namespace fvscope {

// Board geometry: square = row * 9 + column, row = CSA rank - 1,
// column = 9 - CSA file.
constexpr int kFiles = 9;
constexpr int kRanks = 9;
constexpr int kSquares = 81;

// The two sides, numbered as the tables and records number them.
enum Side : int {
  kBlack = 0,  // the first player, "+"
  kWhite = 1,  // the second player, "-"
};

// Both sides, black first.
inline constexpr Side kSides[] = {kBlack, kWhite};

// The side that moves after side.
constexpr Side Opponent(Side side) { return side == kBlack ? kWhite : kBlack; }

// A side's name in messages and documents: "black" or "white".
constexpr const char* SideName(Side side) { return side == kBlack ? "black" : "white"; }

// The CSA sign of a side: '+' for black, '-' for white.
constexpr char SideSign(Side side) { return side == kBlack ? '+' : '-'; }

// Piece kinds in CSA order; a PieceCode is +kind for black, -kind for white.
enum PieceKind : int {
  kEmpty = 0,
  kPawn = 1,
  kLance = 2,
  kKnight = 3,
  kSilver = 4,
  kGold = 5,
  kBishop = 6,
  kRook = 7,
  kKing = 8,
  kProPawn = 9,
  kProLance = 10,
  kProKnight = 11,
  kProSilver = 12,
  kHorse = 13,
  kDragon = 14,
};
constexpr int kPieceKinds = 14;
constexpr int kMaxPieceCode = 14;

// Hand kinds 0..6 (pawn..rook); hand kind k is piece kind k + 1.
constexpr int kHandKinds = 7;

// Pieces of each hand kind in a full set, promoted ones counted with their
// kind: 18 pawns, 4 lances, knights, silvers and golds, 2 bishops and rooks.
inline constexpr int kPiecesInSet[kHandKinds] = {18, 4, 4, 4, 4, 2, 2};

// Cell layout of a Position.
constexpr int kBlackHandBase = 81;    // cells 81..87
constexpr int kWhiteHandBase = 88;    // cells 88..94
constexpr int kFilledCells = 95;      // squares and both hands
constexpr int kBlackKingCell = 96;
constexpr int kWhiteKingCell = 97;
constexpr int kPositionCells = 100;

// A position: 81 squares of PieceCodes, 14 hand counts, a spare cell, and
// the two king squares (no king: -1).
struct Position {
  int8_t cells[kPositionCells];
};

// The two-letter CSA names, indexed by piece kind; entry 0 is empty.
inline constexpr const char* kPieceNames[kPieceKinds + 1] = {
    "",   "FU", "KY", "KE", "GI", "KI", "KA", "HI",
    "OU", "TO", "NY", "NK", "NG", "UM", "RY"};

// English names of the piece kinds, for messages; entry 0 is "piece".
inline constexpr const char* kPieceWords[kPieceKinds + 1] = {
    "piece", "pawn", "lance", "knight", "silver", "gold", "bishop", "rook",
    "king", "promoted pawn", "promoted lance", "promoted knight", "promoted silver",
    "horse", "dragon"};

// Piece kind 1..14 whose CSA name is the two letters at name[0] and name[1];
// 0 when they name no kind.
constexpr int KindOfCsaName(const char* name) {
  for (int kind = 1; kind <= kPieceKinds; ++kind) {
    if (name[0] == kPieceNames[kind][0] && name[1] == kPieceNames[kind][1]) return kind;
  }
  return 0;
}

// True for the kinds that have been promoted (9..14).
constexpr bool IsPromotedKind(int kind) { return kind >= kProPawn && kind <= kDragon; }

// 32 units of the evaluation tables make one evaluation point; divisions
// truncate toward zero.
constexpr int kFvScale = 32;

// Promoted kind of each kind (gold, king and promoted kinds map to themselves).
inline constexpr int kPromotedKind[kPieceKinds + 1] = {
    0, 9, 10, 11, 12, 5, 13, 14, 8, 9, 10, 11, 12, 13, 14};

// Hand kind a captured piece of each kind becomes; -1 for none (empty, king).
inline constexpr int kCaptureHandKind[kPieceKinds + 1] = {
    -1, 0, 1, 2, 3, 4, 5, 6, -1, 0, 1, 2, 3, 5, 6};

// Material value in evaluation points of each black piece kind.
inline constexpr int kMaterialValue[kPieceKinds + 1] = {
    0, 87, 232, 257, 369, 444, 569, 642, 15000, 534, 488, 519, 485, 827, 945};

// True for a code that a square may hold (-14..14).
constexpr bool IsPieceCode(int code) {
  return code >= -kMaxPieceCode && code <= kMaxPieceCode;
}

// Magnitude of a PieceCode.
constexpr int KindOf(int code) { return code < 0 ? -code : code; }

// Code after promotion; the sign is kept. Only for IsPieceCode(code).
constexpr int PromoteCode(int code) {
  return code < 0 ? -kPromotedKind[-code] : kPromotedKind[code];
}

// True for a board square 0..80.
constexpr bool IsSquare(int square) { return square >= 0 && square < kSquares; }

// CSA file digit (1..9) of a square.
constexpr int FileOf(int square) { return kFiles - square % kFiles; }

// CSA rank digit (1..9) of a square.
constexpr int RankOf(int square) { return square / kFiles + 1; }

// Square of CSA file and rank digits, both 1..9.
constexpr int SquareOf(int file, int rank) {
  return (rank - 1) * kFiles + (kFiles - file);
}

// The square seen from the other side: the board turned half a turn.
constexpr int FlipSquare(int square) { return kSquares - 1 - square; }

// Ranks still ahead of a piece of side on square: 0 on its last rank.
constexpr int RanksAhead(Side side, int square) {
  return side == kBlack ? square / kFiles : kRanks - 1 - square / kFiles;
}

// Ranks a piece of kind needs ahead of it to move again: 1 for a pawn or a
// lance, 2 for a knight, 0 for the rest.
constexpr int RanksToMove(int kind) {
  return kind == kPawn || kind == kLance ? 1 : kind == kKnight ? 2 : 0;
}

// True for a CSA square digit, '1'..'9'.
constexpr bool IsSquareDigit(char c) { return c >= '1' && c <= '9'; }

// HandSlot of a side's hand kind.
constexpr int HandSlot(Side side, int hand_kind) {
  return (side == kBlack ? kBlackHandBase : kWhiteHandBase) + hand_kind;
}

// Cell that holds a side's king square.
constexpr int KingCell(Side side) {
  return side == kBlack ? kBlackKingCell : kWhiteKingCell;
}

// Empties position: no piece on any square or in any hand, no king.
inline void ClearPosition(Position* position) {
  for (int8_t& cell : position->cells) cell = 0;
  position->cells[kBlackKingCell] = -1;
  position->cells[kWhiteKingCell] = -1;
}

// Adds delta to a hand count, saturating at the limits of a cell.
inline void AddToHand(Position* position, int slot, int delta) {
  int count = position->cells[slot] + delta;
  if (count > INT8_MAX) count = INT8_MAX;
  if (count < INT8_MIN) count = INT8_MIN;
  position->cells[slot] = static_cast<int8_t>(count);
}

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_TYPES_H_
