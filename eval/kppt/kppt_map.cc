#include "eval/kppt/kppt_map.h"

namespace fvscope {

namespace {

// The feature of PIECE from view: a piece on the board, or the count-th held.
int RequestFeature(Side view, const Place& piece) {
  if (IsHeld(piece)) {
    const int h = HandKindOf(piece);
    if (h < 0 || h >= kHandKinds || piece.count < 1 || piece.count > kPiecesInSet[h]) return -1;
    return HandFeature(view, piece.side, h, piece.count);
  }
  if (!IsSquare(piece.square) || piece.kind < 1 || piece.kind > kPieceKinds || piece.kind == kKing ||
      RanksAhead(piece.side, piece.square) < RanksToMove(piece.kind)) {
    return -1;
  }
  return BoardFeature(view, piece.side == kBlack ? piece.kind : -piece.kind, piece.square);
}

}  // namespace

bool BuildKpptMap(const KpptSet& set, const KpptSet* second, const MapRequest& request,
                  KpptPart part, KpptMap* map, std::string* error) {
  const Place& king = request.king;
  const Place& piece = request.piece;
  if (!CheckMapRequest(request, error)) return false;
  const Side view = king.side;
  const bool kkp = !IsHeld(piece) && piece.kind == kKing;
  TableMap& table = map->table;
  table.request = request;
  table.kkp = kkp;
  table.compared = second != nullptr;
  map->part = part;
  map->kk = {};
  if (kkp) {
    const int black_king = view == kBlack ? king.square : piece.square;
    const int white_king = view == kBlack ? piece.square : king.square;
    map->slab = FeatureSquare(black_king);
    map->other_king = FeatureSquare(white_king);
    map->piece_feature = -1;
    const KpptPair kk = KkPair(set, map->slab, map->other_king);
    map->kk = kk;
    if (second != nullptr) {
      const KpptPair next = KkPair(*second, map->slab, map->other_king);
      map->kk = {next.board - kk.board, next.turn - kk.turn};
    }
  } else {
    map->slab = ViewedFeatureSquare(view, FeatureSquare(king.square));
    map->other_king = -1;
    map->piece_feature = RequestFeature(view, piece);
    if (map->piece_feature < 0) {
      return FailMapRequest(request,
                            IsHeld(piece) ? "a held piece is counted 1 to the set's number of that kind"
                                          : "the set has no feature for that piece there",
                            error);
    }
  }
  // A white king's board part is subtracted from the value: shown negated.
  const int sign = !kkp && part == KpptPart::kBoard && view == kWhite ? -1 : 1;
  // KKP's features are black's view whichever king is KING.
  const Side feature_view = kkp ? kBlack : view;
  auto read = [&](const KpptSet& s, int feature) -> int32_t {
    const KpptPair pair = kkp ? KkpPair(s, map->slab, map->other_king, feature)
                              : KppPair(s, map->slab, map->piece_feature, feature);
    return sign * PartOf(pair, part);
  };
  auto put = [&](int feature, int32_t* value, int32_t* before, int32_t* after) {
    *before = read(set, feature);
    *after = second != nullptr ? read(*second, feature) : *before;
    *value = second != nullptr ? *after - *before : *before;
  };
  const int other_square = kkp || IsHeld(piece) ? -1 : piece.square;
  table.grid_count = 0;
  for (Side side : kSides) {
    for (int kind : kMapKindList.kinds) {
      MapGrid& grid = table.grids[table.grid_count++];
      grid.side = side;
      grid.kind = kind;
      const int code = side == kBlack ? kind : -kind;
      for (int s = 0; s < kSquares; ++s) {
        grid.present[s] = s != king.square && s != other_square &&
                          !(kkp && s == piece.square) &&
                          RanksAhead(side, s) >= RanksToMove(kind);
        grid.features[s] = static_cast<int16_t>(BoardFeature(feature_view, code, s));
        grid.values[s] = grid.before[s] = grid.after[s] = 0;
        if (grid.present[s]) put(grid.features[s], &grid.values[s], &grid.before[s], &grid.after[s]);
      }
    }
  }
  table.hand_count = 0;
  for (Side side : kSides) {
    for (int h = 0; h < kHandKinds; ++h) {
      MapHand& hand = table.hands[table.hand_count++];
      hand.side = side;
      hand.hand_kind = h;
      hand.first_count = 1;
      hand.counts = kPiecesInSet[h];
      for (int c = 0; c < kMaxMapCounts; ++c) {
        hand.present[c] = false;
        hand.features[c] = 0;
        hand.values[c] = hand.before[c] = hand.after[c] = 0;
        if (c >= hand.counts) continue;
        hand.features[c] = static_cast<int16_t>(HandFeature(feature_view, side, h, c + 1));
        hand.present[c] = kkp || hand.features[c] != map->piece_feature;
        if (hand.present[c]) put(hand.features[c], &hand.values[c], &hand.before[c], &hand.after[c]);
      }
    }
  }
  return true;
}

}  // namespace fvscope
