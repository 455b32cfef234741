// Whether a move can be played on a position: the rules of how pieces move,
// drop and promote. Check and mate are not judged.
#ifndef FVSCOPE_SHOGI_MOVE_CHECK_H_
#define FVSCOPE_SHOGI_MOVE_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "shogi/move.h"
#include "shogi/types.h"

namespace fvscope {

// The notation a move was given in; messages name its squares in it.
enum class Notation { kCsa, kUsi };

// Completes *move from the board (the kind after a USI move and its word's
// promote bit; whether a move promotes) and checks that the side to_move
// can play it on position: the mover's sign, a piece of the mover on the
// from-square that can make the move by its way of moving with nothing
// between for a sliding piece, a held piece for a drop onto an empty
// square, a destination with no piece of the mover and no king, promotion
// only of a kind that promotes in or out of the mover's promotion zone, no
// pawn, lance or knight left where it cannot move again, no second
// unpromoted pawn on a file. Returns false with *why saying what is wrong,
// the squares named in names.
bool CheckMove(const Position& position, Side to_move, Notation names, Move* move,
               std::string* why);

// Every move side can play on position as CheckMove judges them, appended
// to *moves in order of from-square (hand kinds after the board), then
// to-square, a move without promotion before the same with it.
void PlayableMoves(const Position& position, Side side, std::vector<Move>* moves);

// True when a piece of side's opponent could move onto the square of side's
// king by its way of moving (side is in check); false without that king.
bool KingAttacked(const Position& position, Side side);

// Plays a checked move for its side, recording its capture in its word.
void PlayMove(Position* position, Move* move);

// The move's text in names: USI, or CSA with its sign.
std::string MoveText(const Move& move, Notation names);

// Plays the first plies moves of record (all when plies is negative) from
// its start, each checked. *position and *to_move get where they lead.
// Returns false with *error "move N \"text\": why" at the first move that
// cannot be played, or when plies exceeds the moves there are.
bool PlayRecord(const GameRecord& record, int plies, Notation names, Position* position,
                Side* to_move, std::string* error);

// One position of a record as it is played: the start (ply 0, no move) or
// the position after a move.
struct RecordPly {
  int32_t ply;
  int32_t move_number;  // in SFEN: the record's start's, plus ply
  bool has_move;
  Move move;  // the move that led here, checked and played
  Position position;
  Side to_move;
};

// Plays every move of record from its start, each checked, and appends the
// start and every position reached to *plies. Returns false with *error as
// PlayRecord gives it at the first move that cannot be played.
bool PlayRecordPlies(const GameRecord& record, Notation names, std::vector<RecordPly>* plies,
                     std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_MOVE_CHECK_H_
