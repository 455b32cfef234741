// Writes a fixed random game of legal moves (as the move check judges them)
// as a USI position text, for benchmarks: the kings make most moves, to
// squares they have not stood on when they can, so that they wander over
// the board and a run visits many king squares.
//
// With "csa" after the seed, writes a CSA record instead, ended by a result
// line the seed picks (a resignation most often), for corpora.
//
// usage: random_game PLIES [SEED [csa]]
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {
namespace {

// Every move side can play on position, kings' moves in *king_moves too.
void LegalMoves(const Position& position, Side side, std::vector<Move>* moves,
                std::vector<Move>* king_moves) {
  moves->clear();
  king_moves->clear();
  PlayableMoves(position, side, moves);
  for (const Move& move : *moves) {
    if (move.kind == kKing) king_moves->push_back(move);
  }
}

int Main(int argc, char** argv) {
  const bool csa = argc == 4 && std::string(argv[3]) == "csa";
  if (argc < 2 || argc > 4 || (argc == 4 && !csa)) {
    std::fprintf(stderr, "usage: random_game PLIES [SEED [csa]]\n");
    return 2;
  }
  const int plies = std::atoi(argv[1]);
  std::mt19937 random(argc >= 3 ? std::strtoul(argv[2], nullptr, 10) : 20261208u);
  GameRecord record;
  std::string error;
  ParseSfen(kStartSfen, &record, &error);
  Position position = record.start;
  Side side = record.side_to_move;
  std::string text = csa ? "V2.2\nPI\n+\n" : "startpos moves";
  std::vector<Move> moves, king_moves, new_squares;
  bool visited[2][kSquares] = {};
  for (int n = 0; n < plies; ++n) {
    LegalMoves(position, side, &moves, &king_moves);
    if (moves.empty()) break;
    new_squares.clear();
    for (const Move& m : king_moves) {
      if (!visited[side][MoveTo(m.code)]) new_squares.push_back(m);
    }
    const bool king_step = !king_moves.empty() && random() % 4 != 0;
    const std::vector<Move>& pool = !king_step             ? moves
                                    : new_squares.empty() ? king_moves
                                                          : new_squares;
    Move move = pool[random() % pool.size()];
    if (move.kind == kKing) visited[side][MoveTo(move.code)] = true;
    text += csa ? CsaMoveText(move) + "\n" : " " + UsiMoveText(move);
    PlayMove(&position, &move);
    side = Opponent(side);
  }
  if (csa) {
    constexpr const char* kEnds[] = {"%TORYO", "%TORYO", "%TORYO", "%SENNICHITE", "%CHUDAN"};
    text += kEnds[random() % 5];
  }
  std::printf("%s\n", text.c_str());
  return 0;
}

}  // namespace
}  // namespace fvscope

int main(int argc, char** argv) { return fvscope::Main(argc, argv); }
