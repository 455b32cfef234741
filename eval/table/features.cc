#include "eval/table/features.h"

namespace fvscope {

namespace {

// One block of the KPP feature space.
struct FeatureBlock {
  int start;  // first index of a legal placement
  int base;   // index = base + count, or base + viewed square
  int slot;   // HandSlot of a hand block, -1 for a board block
  int code;   // PieceCode of a board block
};

constexpr int kBlocks = 32;

// Kinds with a board block of their own (promoted minor pieces share gold's).
constexpr int kBlockKinds[] = {kPawn, kLance, kKnight, kSilver, kGold,
                               kBishop, kHorse, kRook, kDragon};

// First viewed square where an own piece of the kind may stand.
constexpr int FirstLegalSquare(int kind) {
  return kind == kPawn || kind == kLance ? 9 : kind == kKnight ? 18 : 0;
}

struct BlockTable {
  FeatureBlock blocks[kBlocks];
};

constexpr BlockTable MakeBlocks() {
  BlockTable table{};
  int n = 0;
  for (int h = 0; h < kHandKinds; ++h) {
    table.blocks[n++] = {kKppOwnHandBase[h], kKppOwnHandBase[h], kBlackHandBase + h, 0};
    table.blocks[n++] = {kKppOpponentHandBase[h], kKppOpponentHandBase[h], kWhiteHandBase + h, 0};
  }
  for (int kind : kBlockKinds) {
    table.blocks[n++] = {kKppOwnBase[kind] + FirstLegalSquare(kind), kKppOwnBase[kind], -1, kind};
    table.blocks[n++] = {kKppOpponentBase[kind], kKppOpponentBase[kind], -1, -kind};
  }
  return table;
}

constexpr BlockTable kBlockTable = MakeBlocks();

}  // namespace

bool DecodeFeature(int feature, DecodedFeature* decoded) {
  if (feature < 0 || feature >= kKppFeatures) return false;
  const FeatureBlock* best = nullptr;
  for (const FeatureBlock& block : kBlockTable.blocks) {
    if (block.start <= feature && (best == nullptr || block.start > best->start)) best = &block;
  }
  if (best->slot >= 0) {
    *decoded = {best->slot, feature - best->base};
  } else {
    *decoded = {feature - best->base, best->code};
  }
  return true;
}

}  // namespace fvscope
