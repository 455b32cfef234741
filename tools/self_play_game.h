// Games a USI engine plays against itself, as CSA records with their real
// ends: a few random legal moves to open, so that games differ, then the
// engine's moves until it resigns, the same position comes a fourth time,
// or a ply limit.
#ifndef FVSCOPE_TOOLS_SELF_PLAY_GAME_H_
#define FVSCOPE_TOOLS_SELF_PLAY_GAME_H_

#include <cstdint>
#include <string>
#include <vector>

#include "app/usi_engine.h"
#include "shogi/types.h"

namespace fvscope {

// How the games are played.
struct SelfPlayOptions {
  std::string go = "nodes 3000";  // what every search is told after "go"
  int random_plies = 6;           // random legal moves (the mover not left in check) to open
  int max_plies = 256;            // a game still going here ends drawn
  int resign_cp = 3000;           // the side to move resigns at this deficit or a mate against it
  int search_ms = 60000;          // for each bestmove
};

// A position of a game that the engine searched, and the score it gave.
struct ScoredPosition {
  Position position;
  Side to_move;
  int32_t ply;    // moves played before it
  int32_t score;  // centipawns from to_move's view; a mate as +-kMateScore
};

// The score a mate is given among scored positions.
constexpr int32_t kMateScore = 32000;

// Plays one game on session from the starting position, the opening drawn
// from seed, and writes it to *csa as a CSA V2.2 record: both names, PI,
// "+", one move a line, then %TORYO (the side to move resigns, is mated or
// the engine says resign), %KACHI (the engine declares a win), %SENNICHITE
// (the position and side to move came a fourth time) or %HIKIWAKE (the ply
// limit). Every move goes through the move check. Returns false with *error
// when the engine fails or plays a move the check refuses.
// With scored not null, every position the engine searched and scored is
// appended to it.
bool PlaySelfGame(UsiSession* session, const SelfPlayOptions& options, uint32_t seed,
                  std::string* csa, std::string* error,
                  std::vector<ScoredPosition>* scored = nullptr);

}  // namespace fvscope

#endif  // FVSCOPE_TOOLS_SELF_PLAY_GAME_H_
