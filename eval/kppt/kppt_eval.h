// A position evaluated by a KPPT set and taken apart: KK, KKP, each side's
// KPP and the material, each a board part and a turn part, and every KPP
// pair's contribution tallied and ranked.
#ifndef FVSCOPE_EVAL_KPPT_KPPT_EVAL_H_
#define FVSCOPE_EVAL_KPPT_KPPT_EVAL_H_

#include <cstdint>
#include <string>

#include "eval/kppt/kppt_file.h"
#include "eval/piece_features.h"
#include "eval/ranking.h"
#include "eval/table/breakdown.h"
#include "eval/table/piece_shares.h"
#include "eval/table/term_tally.h"
#include "shogi/types.h"

namespace fvscope {

// Material in table units per point, and each kind's material in points
// (held pieces at their unpromoted kind's).
constexpr int32_t kKpptScale = 32;
inline constexpr int kKpptMaterialValue[kPieceKinds + 1] = {
    0, 90, 315, 405, 495, 540, 855, 990, 0, 540, 540, 540, 540, 945, 1395};

// Pairs of one view's list: 38 x 37 / 2.
constexpr int kKpptViewPairs = kSetPieces * (kSetPieces - 1) / 2;

// A term's two parts as read from the tables, summed part by part.
struct KpptSum {
  int64_t board = 0;
  int64_t turn = 0;
};

// A term from black's view: its board part, its turn part signed by the
// side to move, and their sum (table units).
struct KpptShown {
  int64_t board = 0;
  int64_t turn = 0;
  int64_t sum = 0;
};

// One KPP pair of a view's list: entries i > j, its parts as read, and its
// contribution from black's view.
struct KpptTerm {
  int32_t contribution;
  int16_t board;
  int16_t turn;
  int8_t view;  // Side of the list
  int8_t i;
  int8_t j;
};

// What the breakdown of a position under a KPPT set finds.
struct KpptBreakdown {
  KpptLayout layout = KpptLayout::kKppt32;
  uint64_t identity = 0;     // the set's
  PieceFeatureList features;
  int32_t to_move = kBlack;  // Side
  int32_t kk_king[2] = {};   // black's and white's king in the features' numbering (KK, KKP)
  KpptSum kk, kkp, kpp[2];   // as read; kpp[kWhite] is white's side, still to be subtracted
  int32_t material = 0;      // points, black's view
  int32_t value = 0;         // points, black's view
  TermTally tally;           // the pairs' contributions, black's view
  int32_t term_count = 0;
  KpptTerm terms[2 * kKpptViewPairs];
};

// A view's feature numbers in the order its pairs are read: ascending. A
// pair of entries is read as KPP[k][later][earlier] in this order, so an
// asymmetric table is read in its lower triangle (the larger number first).
void SortedNumbers(const PieceFeatureList& list, Side view, uint16_t* numbers);

// The sum over i > j of KPP[k][numbers[i]][numbers[j]] of a view's
// kSetPieces sorted numbers, part by part.
KpptSum SortedViewKpp(const KpptSet& set, int k, const uint16_t* numbers);

// The same sum read one entry at a time, on any processor.
KpptSum SortedViewKppPlain(const KpptSet& set, int k, const uint16_t* numbers);

// KK + the KKP terms of black's view's entries, part by part.
KpptSum KkxSum(const KpptSet& set, const PieceFeatureList& list);

// Material from black's view by the KPPT values.
int32_t KpptMaterial(const Position& position);

// The same from the position's feature lists: each of black's view's
// numbers stands for one piece.
int32_t KpptListMaterial(const PieceFeatureList& list);

// The board and turn sums of position with to_move to move (its features
// built into *list): board = BKPP - WKPP + KKx + 32 x material, turn =
// BKPP + WKPP + KKx (turn parts); the value in points from black's view.
// Returns false with *error when the position does not fit the features.
bool EvaluateKppt(const KpptSet& set, const Position& position, Side to_move, int32_t* value,
                  std::string* error);

// The value from a list already built.
int32_t KpptValueOf(const KpptSet& set, const PieceFeatureList& list, const Position& position,
                    Side to_move);

// Points from black's view of the board and turn totals with to_move to move.
int32_t KpptPoints(int64_t board, int64_t turn, Side to_move);

// Takes position apart under set. Returns false with *error when it does
// not fit the features.
bool BreakDownKppt(const KpptSet& set, const Position& position, Side to_move,
                   KpptBreakdown* out, std::string* error);

// The figures of a breakdown: KK + KKP and both sides' KPP as sums from
// black's view (table units, held to 32 bits), material and value.
PositionFigures KpptFigures(const KpptBreakdown& b);

// A term of the breakdown from black's view; material's turn part is 0.
KpptShown ShownKk(const KpptBreakdown& b);
KpptShown ShownKkp(const KpptBreakdown& b);
KpptShown ShownKpp(const KpptBreakdown& b, Side side);
KpptShown ShownMaterial(const KpptBreakdown& b);
KpptShown ShownTotal(const KpptBreakdown& b);

// Ranks the breakdown's KPP pairs by contribution under mode into *ranking,
// each term's board and turn parts kept.
void RankKpptTerms(const KpptBreakdown& b, const Position& position, SortMode mode,
                   Ranking* ranking);

// The pairs of two breakdowns of one position (under two sets) whose
// contribution changed, ranked by change (after - before) under mode into
// *ranking, each term's before and after kept; returns how many changed.
int32_t RankKpptChanges(const KpptBreakdown& before, const KpptBreakdown& after,
                        const Position& position, SortMode mode, Ranking* ranking);

// Shares KKP + KPP of a breakdown among the pieces and hand kinds, from
// black's view: each its KKP term and half of every KPP pair it is in (a
// held piece's counted with its kind's). The shares add up to KKP + KPP
// but for the terms of missing pieces (0 in a set whose feature 0 is 0).
void KpptPieceShares(const KpptBreakdown& b, const KpptSet& set, const Position& position,
                     PieceShares* out);

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_KPPT_EVAL_H_
