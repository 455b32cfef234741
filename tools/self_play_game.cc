#include "tools/self_play_game.h"

#include <map>
#include <random>
#include <vector>

#include "shogi/move_check.h"
#include "shogi/notation.h"
#include "shogi/sfen.h"

namespace fvscope {

namespace {

constexpr int kRepetitionEnds = 4;
constexpr int kStopMs = 2000;

// A random move of side on position that leaves side's king unattacked;
// false when there is none.
bool RandomMove(const Position& position, Side side, std::mt19937* random, Move* move) {
  std::vector<Move> moves, safe;
  PlayableMoves(position, side, &moves);
  for (Move m : moves) {
    Position after = position;
    PlayMove(&after, &m);
    if (!KingAttacked(after, side)) safe.push_back(m);
  }
  if (safe.empty()) return false;
  *move = safe[(*random)() % safe.size()];
  return true;
}

}  // namespace

bool PlaySelfGame(UsiSession* session, const SelfPlayOptions& options, uint32_t seed,
                  std::string* csa, std::string* error, std::vector<ScoredPosition>* scored) {
  GameRecord record;
  if (!ParseSfen(kStartSfen, &record, error)) return false;
  Position position = record.start;
  Side side = record.side_to_move;
  std::mt19937 random(seed);
  std::map<std::string, int> seen;
  ++seen[PositionSfen(position, side)];
  std::string usi = "startpos";
  const std::string& name = session->engine_name;
  *csa = "V2.2\nN+" + name + "\nN-" + name + "\nPI\n+\n";
  std::string end;
  for (int ply = 0; end.empty(); ++ply) {
    if (ply >= options.max_plies) {
      end = "%HIKIWAKE";
      break;
    }
    Move move;
    if (ply < options.random_plies) {
      if (!RandomMove(position, side, &random, &move)) {
        end = "%TORYO";
        break;
      }
    } else {
      UsiResult result;
      if (!SearchUsiSession(session, ply == options.random_plies, usi, options.go,
                            options.search_ms, kStopMs, &result, error)) {
        return false;
      }
      const bool lost = result.has_score &&
                        (result.mate ? result.score < 0 : result.score <= -options.resign_cp);
      if (scored != nullptr && result.has_score) {
        const int32_t score = !result.mate ? result.score
                              : result.score < 0 ? -kMateScore
                                                 : kMateScore;
        scored->push_back({position, side, ply, score});
      }
      if (result.bestmove == "resign" || lost) {
        end = "%TORYO";
        break;
      }
      if (result.bestmove == "win") {
        end = "%KACHI";
        break;
      }
      std::string why;
      if (!ParseUsiMove(result.bestmove, side, &move) ||
          !CheckMove(position, side, Notation::kUsi, &move, &why)) {
        *error = session->who + "move " + std::to_string(ply + 1) + " " +
                 QuotedInput(result.bestmove) + ": " + (why.empty() ? "no USI move" : why);
        return false;
      }
    }
    PlayMove(&position, &move);
    *csa += CsaMoveText(move) + "\n";
    usi += (ply == 0 ? " moves " : " ") + UsiMoveText(move);
    side = Opponent(side);
    if (++seen[PositionSfen(position, side)] >= kRepetitionEnds) end = "%SENNICHITE";
  }
  *csa += end + "\n";
  return true;
}

}  // namespace fvscope
