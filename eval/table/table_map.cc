#include "eval/table/table_map.h"

namespace fvscope {

namespace {

// True for a piece that may stand where place puts it, not a king.
bool StandsAsFeature(const Place& place) {
  return IsSquare(place.square) && place.kind >= 1 && place.kind <= kPieceKinds &&
         place.kind != kKing && RanksAhead(place.side, place.square) >= RanksToMove(place.kind);
}

// True for a held kind and count that the tables have a feature for.
bool HeldAsFeature(const Place& place) {
  const int h = HandKindOf(place);
  return h >= 0 && h < kHandKinds && place.count >= 0 && place.count <= kMaxHandCount[h];
}

bool Build(const EvalFile& first, const EvalFile* second, const MapRequest& request,
           TableMap* map, std::string* error) {
  const Place& king = request.king;
  const Place& piece = request.piece;
  if (!CheckMapRequest(request, error)) return false;
  const Side side = king.side;
  const int k = ViewedSquare(side, king.square);
  const bool kkp = !IsHeld(piece) && piece.kind == kKing;
  int other_king = 0;
  int piece_feature = 0;
  if (kkp) {
    other_king = ViewedSquare(side, piece.square);
  } else {
    piece_feature = KppFeatureOf(side, piece);
    if (piece_feature < 0) {
      return FailMapRequest(request, IsHeld(piece) ? "the tables have no feature for that count"
                                                   : "the tables have no feature for that piece there",
                            error);
    }
  }
  const int sign = side == kBlack ? 1 : -1;
  auto read = [&](const EvalFile& file, int feature) -> int32_t {
    return sign * (kkp ? KkpValue(file, k, other_king, feature)
                       : KppValue(file, k, piece_feature, feature));
  };
  auto put = [&](int feature, int32_t* value, int32_t* before, int32_t* after) {
    *before = read(first, feature);
    *after = second != nullptr ? read(*second, feature) : *before;
    *value = second != nullptr ? *after - *before : *before;
  };

  map->request = request;
  map->kkp = kkp;
  map->compared = second != nullptr;
  map->grid_count = 0;
  map->hand_count = 0;
  for (Side t : kSides) {
    if (kkp && t != side) continue;
    for (int kind : kMapKindList.kinds) {
      MapGrid& grid = map->grids[map->grid_count++];
      grid.side = t;
      grid.kind = kind;
      for (int s = 0; s < kSquares; ++s) {
        const Place p = {t, kind, s, 0};
        const int feature = kkp ? KkpFeatureOf(side, p) : KppFeatureOf(side, p);
        const bool shares_piece_square =
            !IsHeld(piece) && s == piece.square &&
            (kkp || t != piece.side || kKppOwnBase[kind] != kKppOwnBase[piece.kind]);
        grid.present[s] = feature >= 0 && s != king.square && !shares_piece_square;
        grid.features[s] = static_cast<int16_t>(feature);
        grid.values[s] = grid.before[s] = grid.after[s] = 0;
        if (grid.present[s]) put(feature, &grid.values[s], &grid.before[s], &grid.after[s]);
      }
    }
    for (int h = 0; h < kHandKinds; ++h) {
      MapHand& hand = map->hands[map->hand_count++];
      hand.side = t;
      hand.hand_kind = h;
      hand.first_count = 0;
      hand.counts = kMaxHandCount[h] + 1;
      for (int c = 0; c < kMaxMapCounts; ++c) {
        hand.present[c] = c < hand.counts;
        hand.features[c] = 0;
        hand.values[c] = hand.before[c] = hand.after[c] = 0;
        if (c >= hand.counts) continue;
        const Place p = {t, h + 1, -1, c};
        const int feature = kkp ? KkpFeatureOf(side, p) : KppFeatureOf(side, p);
        hand.features[c] = static_cast<int16_t>(feature);
        put(feature, &hand.values[c], &hand.before[c], &hand.after[c]);
      }
    }
  }
  return true;
}

}  // namespace

int KppFeatureOf(Side viewer, const Place& place) {
  const bool own = place.side == viewer;
  if (IsHeld(place)) {
    if (!HeldAsFeature(place)) return -1;
    const int h = HandKindOf(place);
    return (own ? kKppOwnHandBase[h] : kKppOpponentHandBase[h]) + place.count;
  }
  if (!StandsAsFeature(place)) return -1;
  const int base = own ? kKppOwnBase[place.kind] : kKppOpponentBase[place.kind];
  return base + ViewedSquare(viewer, place.square);
}

int KkpFeatureOf(Side viewer, const Place& place) {
  if (place.side != viewer) return -1;
  if (IsHeld(place)) {
    return HeldAsFeature(place) ? kKkpHandBase[HandKindOf(place)] + place.count : -1;
  }
  if (!StandsAsFeature(place)) return -1;
  return kKkpBase[place.kind] + ViewedSquare(viewer, place.square);
}

bool CheckMapRequest(const MapRequest& request, std::string* error) {
  const Place& king = request.king;
  const Place& piece = request.piece;
  if (IsHeld(king) || king.kind != kKing || !IsSquare(king.square)) {
    return FailMapRequest(request, "KING is not a king on the board", error);
  }
  if (!IsHeld(piece) && piece.square == king.square) {
    return FailMapRequest(request, "PIECE stands on KING's square", error);
  }
  if (!IsHeld(piece) && piece.kind == kKing && (piece.side == king.side || !IsSquare(piece.square))) {
    return FailMapRequest(request, "the other king must be the other side's, on the board", error);
  }
  return true;
}

bool FailMapRequest(const MapRequest& request, const std::string& why, std::string* error) {
  *error = "map " + PlaceName(request.king) + ":" + PlaceName(request.piece) + ": " + why;
  return false;
}

bool BuildTableMap(const EvalFile& file, const MapRequest& request, TableMap* map,
                   std::string* error) {
  return Build(file, nullptr, request, map, error);
}

bool CompareTableMap(const EvalFile& before, const EvalFile& after, const MapRequest& request,
                     TableMap* map, std::string* error) {
  return Build(before, &after, request, map, error);
}

std::string MapGridName(const MapGrid& grid) {
  const int kind = grid.kind >= 1 && grid.kind <= kPieceKinds ? grid.kind : 0;
  return std::string(1, SideSign(grid.side)) + kPieceNames[kind];
}

std::string MapHandName(const MapHand& hand) {
  const int h = hand.hand_kind >= 0 && hand.hand_kind < kHandKinds ? hand.hand_kind : -1;
  return std::string(1, SideSign(hand.side)) + kPieceNames[h + 1] + "*";
}

int32_t MapLargestMagnitude(const TableMap& map) {
  int32_t largest = 0;
  auto see = [&](int32_t v) {
    if (v < 0) v = -v;
    if (v > largest) largest = v;
  };
  for (int g = 0; g < map.grid_count && g < 2 * kMapKinds; ++g) {
    for (int s = 0; s < kSquares; ++s) {
      if (map.grids[g].present[s]) see(map.grids[g].values[s]);
    }
  }
  for (int h = 0; h < map.hand_count && h < 2 * kHandKinds; ++h) {
    for (int c = 0; c < map.hands[h].counts && c < kMaxMapCounts; ++c) {
      if (map.hands[h].present[c]) see(map.hands[h].values[c]);
    }
  }
  return largest;
}

}  // namespace fvscope
