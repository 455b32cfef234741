#include "eval/evaluator.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>

#include "eval/corpus/corpus_partial.h"
#include "eval/kppt/kppt_batch.h"
#include "eval/network/network_batch.h"

namespace fvscope {

const char* EvalKindName(EvalKind kind) {
  return kind == EvalKind::kNetwork ? "network" : kind == EvalKind::kKppt ? "kppt" : "table";
}

bool LoadEvaluator(const std::string& path, const EvalLoadOptions& options, Evaluator* file,
                   std::string* error, std::string* warning) {
  file->path = path;
  if (IsKpptFolder(path)) {
    file->kind = EvalKind::kKppt;
    return LoadKpptSet(path, options.identity_memo, &file->kppt, error);
  }
  if (IsNetworkFile(path.c_str())) {
    file->kind = EvalKind::kNetwork;
    if (!LoadNetwork(path.c_str(), &file->network, error, options.many_positions)) return false;
    file->network.scale = options.network_scale;
    return true;
  }
  file->kind = EvalKind::kTable;
  return LoadEvalFile(path.c_str(), &file->table, error, warning);
}

void CloseEvaluator(Evaluator* file) {
  if (file->kind == EvalKind::kNetwork) {
    CloseNetwork(&file->network);
  } else if (file->kind == EvalKind::kKppt) {
    CloseKpptSet(&file->kppt);
  } else {
    CloseEvalFile(&file->table);
  }
}

int64_t EvaluatorBytes(const Evaluator& file) {
  if (file.kind == EvalKind::kKppt) return file.kppt.total_bytes;
  return file.kind == EvalKind::kNetwork ? file.network.file_bytes
                                         : static_cast<int64_t>(file.table.mapping_bytes);
}

uint64_t EvaluatorChecksum(const Evaluator& file) {
  if (file.kind == EvalKind::kTable) return EvalFileChecksum(file.table);
  // The same words in another layout are another set.
  if (file.kind == EvalKind::kKppt) {
    return file.kppt.identity ^ (static_cast<uint64_t>(file.kppt.layout) + 1) * 0xC2B2AE3D27D4EB4Full;
  }
  const uint64_t sum = ContentChecksum(file.network.mapping, file.network.mapping_bytes);
  // The same network at another scale gives other values.
  return sum ^ (static_cast<uint64_t>(file.network.scale) * 0x9E3779B97F4A7C15ull);
}

std::string EvaluatorSummary(const Evaluator& file) {
  if (file.kind == EvalKind::kTable) return "table";
  if (file.kind == EvalKind::kKppt) {
    char identity[24];
    std::snprintf(identity, sizeof identity, "0x%016llx",
                  static_cast<unsigned long long>(file.kppt.identity));
    return std::string("KPPT set (") + KpptLayoutName(file.kppt.layout) + "), identity " + identity;
  }
  const NetworkShape& s = file.network.shape;
  return "network " + std::to_string(s.w) + "/" + std::to_string(s.h1) + "/" +
         std::to_string(s.h2) + ", scale " + std::to_string(file.network.scale);
}

bool EvaluatePosition(const Evaluator& file, const Position& position, Side to_move,
                      PositionFigures* out, std::string* error) {
  if (file.kind == EvalKind::kTable) {
    // The breakdown's sums, the one definition of a table's value.
    auto breakdown = std::make_unique<LeafBreakdown>();
    if (!BreakDownLeaf(position, file.table, breakdown.get(), error)) return false;
    *out = FiguresOf(*breakdown);
    return true;
  }
  out->kkp_sum = out->kpp_sum = 0;
  if (file.kind == EvalKind::kKppt) {
    auto breakdown = std::make_unique<KpptBreakdown>();
    if (!BreakDownKppt(file.kppt, position, to_move, breakdown.get(), error)) return false;
    *out = KpptFigures(*breakdown);
    return true;
  }
  int32_t z = 0;
  out->material = MaterialSum(position);
  return EvaluateNetwork(file.network, FastestNetworkPath(), position, to_move, &z, &out->value,
                         error);
}

bool EvaluatePlies(const std::vector<RecordPly>& plies, int from_ply, const Evaluator& file,
                   const Evaluator* second, std::vector<PositionFigures>* figures,
                   std::vector<PositionFigures>* second_figures, const GameUse* use,
                   std::string* error, Activations* activations) {
  const bool tables = CountsEntryUse(file) && (second == nullptr || CountsEntryUse(*second));
  if (tables) {
    return EvaluateGame(plies, from_ply, file.table, second != nullptr ? &second->table : nullptr,
                        figures, second_figures, use, error);
  }
  if (use != nullptr) {
    *error = "the use of entries needs tables";
    return false;
  }
  const auto one = [&](const Evaluator& f, std::vector<PositionFigures>* out,
                       Activations* counted) {
    if (f.kind == EvalKind::kTable) {
      return EvaluateGame(plies, from_ply, f.table, nullptr, out, nullptr, nullptr, error);
    }
    out->clear();
    for (size_t q = from_ply; q < plies.size(); ++q) {
      PositionFigures figures_of_ply;
      std::string why;
      int32_t z = 0;
      const bool evaluated =
          counted != nullptr
              ? EvaluateNetworkCounting(f.network, FastestNetworkPath(), plies[q].position,
                                        plies[q].to_move, &z, &figures_of_ply.value, counted, &why)
              : EvaluatePosition(f, plies[q].position, plies[q].to_move, &figures_of_ply, &why);
      if (counted != nullptr) {
        figures_of_ply.kkp_sum = figures_of_ply.kpp_sum = 0;
        figures_of_ply.material = MaterialSum(plies[q].position);
      }
      if (!evaluated) {
        *error = "ply " + std::to_string(plies[q].ply) + ": " + why;
        out->clear();
        return false;
      }
      out->push_back(figures_of_ply);
    }
    return true;
  };
  return one(file, figures, activations) &&
         (second == nullptr || one(*second, second_figures, nullptr));
}

const EvalFile* TableOf(const Evaluator* file) {
  return file != nullptr && file->kind == EvalKind::kTable ? &file->table : nullptr;
}

void PrepareBatchSums(PositionBatch* batch, int begin, int end, const Evaluator& file,
                      const Evaluator* second) {
  if (TableOf(&file) != nullptr || TableOf(second) != nullptr) {
    PrepareBatch(batch, begin, end);
    return;
  }
  for (int i = begin; i < end; ++i) batch->sides[2 * i].count = batch->sides[2 * i + 1].count = 0;
}

namespace {

// The values of a block's taken positions under a KPPT set, the KPP sums
// grouped by king square.
void ValueKpptBatch(PositionBatch* batch, int count, const KpptSet& set, int f,
                    const ParallelFor& parallel) {
  constexpr int kChunk = 512;
  batch->values_apart[f].resize(count);
  if (batch->kppt_views == nullptr) batch->kppt_views = std::make_shared<KpptBatch>();
  KpptBatch* views = batch->kppt_views.get();
  ResizeKpptBatch(views, count);
  const int chunks = (count + kChunk - 1) / kChunk;
  const auto chunk_end = [&](int c) { return std::min(count, (c + 1) * kChunk); };
  parallel(chunks, [&](int c) {
    PrepareKpptBatch(views, set, batch->positions.data(), batch->taken.data(), c * kChunk,
                     chunk_end(c));
  });
  GroupKpptBatch(views);
  int order[kSquares];
  std::iota(order, order + kSquares, 0);
  const auto views_of = [&](int k) { return views->king_begin[k + 1] - views->king_begin[k]; };
  std::stable_sort(order, order + kSquares, [&](int a, int b) { return views_of(a) > views_of(b); });
  parallel(kSquares, [&](int k) { SumKpptKing(views, set, order[k]); });
  parallel(chunks, [&](int c) {
    for (int i = c * kChunk; i < chunk_end(c); ++i) {
      batch->values_apart[f][i] = KpptBatchValue(*views, i, Side(batch->to_move[i]));
    }
  });
}

}  // namespace

void ValueBatchApart(PositionBatch* batch, int count, const Evaluator& file, int f,
                     const ParallelFor& parallel, Activations* activations, FeatureUse* inputs) {
  if (file.kind == EvalKind::kTable) return;
  if (file.kind == EvalKind::kKppt) {
    ValueKpptBatch(batch, count, file.kppt, f, parallel);
    return;
  }
  const Network& network = file.network;
  const NetworkPath path = FastestNetworkPath();
  constexpr int kChunk = 512;
  batch->values_apart[f].resize(count);
  const int32_t part = std::min<int32_t>(count, NetworkBatchPositions(network.shape.w));
  // Kept from block to block: fresh pages for each would be cleared again.
  if (batch->views == nullptr) batch->views = std::make_shared<NetworkBatch>();
  NetworkBatch* views = batch->views.get();
  ResizeNetworkBatch(views, part, network.shape.w);
  views->whole = part == count;
  // The inputs of a block grouped in one part are counted as they are summed.
  FeatureUse* use = views->whole ? inputs : nullptr;
  if (inputs != nullptr) views->counted_views = -1;
  for (int32_t at = 0; at < count; at += part) {
    const int32_t n = std::min(part, count - at);
    views->count = n;
    const int chunks = (n + kChunk - 1) / kChunk;
    const auto chunk_end = [&](int c) { return std::min(n, (c + 1) * kChunk); };
    parallel(chunks, [&](int c) {
      PrepareNetworkBatch(views, batch->positions.data() + at, batch->taken.data() + at,
                          batch->to_move.data() + at, c * kChunk, chunk_end(c));
    });
    GroupNetworkBatch(views);
    if (use != nullptr) views->counted_views = views->king_begin[kSquares];
    // The crowded king squares first, so that no thread is left alone with one.
    int order[kSquares];
    std::iota(order, order + kSquares, 0);
    const auto views_of = [&](int k) { return views->king_begin[k + 1] - views->king_begin[k]; };
    std::stable_sort(order, order + kSquares, [&](int a, int b) { return views_of(a) > views_of(b); });
    if (activations == nullptr) {
      parallel(kSquares, [&](int k) { AccumulateNetworkKing(views, network, path, order[k], nullptr, use); });
      parallel(chunks, [&](int c) {
        PropagateNetworkBatch(*views, network, path, c * kChunk, chunk_end(c),
                              batch->values_apart[f].data() + at);
      });
      continue;
    }
    // Each king square and chunk counts on its own, then adds under the lock:
    // the counts are exact, so the order of adding does not matter.
    std::mutex lock;
    parallel(kSquares, [&](int k) {
      if (views_of(order[k]) == 0) return;
      auto tally = std::make_unique<TransformerTally>();
      ClearTransformerTally(tally.get());
      AccumulateNetworkKing(views, network, path, order[k], tally.get(), use);
      std::lock_guard<std::mutex> hold(lock);
      AddTransformerTally(activations, tally.get());
    });
    parallel(chunks, [&](int c) {
      auto tally = std::make_unique<LayerTally>();
      PropagateNetworkBatch(*views, network, path, c * kChunk, chunk_end(c),
                            batch->values_apart[f].data() + at, tally.get());
      std::lock_guard<std::mutex> hold(lock);
      AddLayerTally(activations, *tally);
    });
  }
}

void CountBatchInputs(PositionBatch* batch, int count, FeatureUse* use,
                      const ParallelFor& parallel) {
  constexpr int kChunk = 512;
  if (batch->views == nullptr) batch->views = std::make_shared<NetworkBatch>();
  NetworkBatch* views = batch->views.get();
  // A network's values of this block just grouped every position: taken as
  // they are, and counted already when they were summed.
  if (views->counted_views >= 0) {
    use->views += views->counted_views;
    views->counted_views = -1;
    views->whole = false;
    return;
  }
  if (!views->whole) {
    ResizeNetworkBatch(views, count, 0);
    const int chunks = (count + kChunk - 1) / kChunk;
    parallel(chunks, [&](int c) {
      PrepareNetworkBatch(views, batch->positions.data(), batch->taken.data(),
                          batch->to_move.data(), c * kChunk, std::min(count, (c + 1) * kChunk));
    });
    GroupNetworkBatch(views);
  }
  views->whole = false;
  // Each king square's counts are its own: the squares add on every thread.
  parallel(kSquares, [&](int k) { AddBatchKingInputs(use, *views, k); });
  use->views += views->king_begin[kSquares];
}

int32_t BatchValue(const PositionBatch& batch, int i, const Evaluator& file, int f) {
  if (file.kind == EvalKind::kTable) return BatchFigures(batch, i, f).value;
  return batch.values_apart[f][i];
}

bool CountsEntryUse(const Evaluator& file) { return file.kind == EvalKind::kTable; }

const UseGeometry* EntryUseGeometry(const Evaluator& file) {
  if (file.kind == EvalKind::kTable) return &kTableUse;
  if (file.kind == EvalKind::kKppt) return &kKpptUse;
  return nullptr;
}

bool AddKpptBatchUse(const PositionBatch& batch, int count, EntryUse* use,
                     const ParallelFor& parallel, std::string* error) {
  if (batch.kppt_views == nullptr || batch.kppt_views->count != count) {
    *error = "the block's views were not grouped";
    return false;
  }
  const KpptBatch& views = *batch.kppt_views;
  // The crowded king squares first, so that no thread is left alone with one.
  int order[kSquares];
  std::iota(order, order + kSquares, 0);
  const auto views_of = [&](int k) { return views.king_begin[k + 1] - views.king_begin[k]; };
  std::stable_sort(order, order + kSquares, [&](int a, int b) { return views_of(a) > views_of(b); });
  std::mutex lock;
  bool failed = false;
  parallel(kSquares, [&](int n) {
    const int k = order[n];
    if (views_of(k) == 0) return;
    std::vector<FeatureListReads> lists(views_of(k));
    for (int32_t at = views.king_begin[k]; at < views.king_begin[k + 1]; ++at) {
      const int32_t v = views.by_king[at];
      const int i = v / 2;
      FeatureListReads& list = lists[at - views.king_begin[k]];
      // The numbers lie below 1548: read as int16 they are the same.
      list = {reinterpret_cast<const int16_t*>(&views.numbers[static_cast<size_t>(v) * kSetPieces]),
              kSetPieces, static_cast<Side>(v % 2), {0, 0}};
      for (int f = 0; batch.pulled[i] && f < use->pulls; ++f) {
        const int64_t* prefix = batch.prefix[f].data() + 2 * static_cast<size_t>(i);
        list.residual[f] = prefix[1] - prefix[0];
      }
    }
    std::string why;
    if (!AddFeaturePairReads(use, k, lists.data(), static_cast<int>(lists.size()), &why)) {
      std::lock_guard<std::mutex> hold(lock);
      if (!failed) *error = why;
      failed = true;
    }
  });
  if (failed) return false;
  constexpr int kChunk = 512;
  const int chunks = (count + kChunk - 1) / kChunk;
  parallel(chunks, [&](int c) {
    std::string unused;  // the indices lie within the KKP table
    for (int i = c * kChunk; i < std::min(count, (c + 1) * kChunk); ++i) {
      if (!views.taken[i]) continue;
      const int bk = views.king[2 * i];
      const int wk = kSquares - 1 - views.king[2 * i + 1];
      const int64_t row = (int64_t{bk} * kSquares + wk) * kPieceFeatures;
      const uint16_t* numbers = &views.numbers[2 * static_cast<size_t>(i) * kSetPieces];
      for (int j = 0; j < kSetPieces; ++j) MarkKkpRead(use, row + numbers[j], &unused);
    }
  });
  return true;
}

void SummarizeFileUse(const EntryUse& use, const Evaluator& file, const Evaluator* after,
                      SortMode mode, UseSummary* summary) {
  if (file.kind == EvalKind::kKppt) {
    SummarizeKpptEntryUse(use, file.kppt, after != nullptr ? &after->kppt : nullptr, mode,
                          summary);
    return;
  }
  SummarizeEntryUse(use, file.table, TableOf(after), mode, summary);
}

bool CountsInputUse(const Evaluator& file) { return file.kind == EvalKind::kNetwork; }

std::vector<int> SlabsOf(const Position& position) {
  std::vector<int> kings;
  for (Side side : kSides) {
    const int king = position.cells[KingCell(side)];
    if (IsSquare(king)) kings.push_back(ViewedFeatureSquare(side, FeatureSquare(king)));
  }
  return kings;
}

std::string KppAsymmetryWarning(const Evaluator& file, const std::vector<int>& kings,
                                const ParallelFor& parallel) {
  if (file.kind != EvalKind::kKppt) return "";
  bool seen[kSquares] = {};
  std::vector<int> slabs;
  for (int k : kings) {
    if (k < 0 || k >= kSquares || seen[k]) continue;
    seen[k] = true;
    slabs.push_back(k);
  }
  std::vector<KppAsymmetry> found(slabs.size());
  std::vector<uint8_t> symmetric(slabs.size());
  parallel(static_cast<int>(slabs.size()), [&](int n) {
    symmetric[n] = CheckKppSymmetry(file.kppt, slabs[n], &found[n]);
  });
  for (size_t n = 0; n < slabs.size(); ++n) {
    if (!symmetric[n]) return AsymmetryWarning(file.path, found[n]);
  }
  return "";
}

bool BreakDownPosition(const Evaluator& file, const Position& position, Side to_move,
                       Breakdown* out, std::string* error) {
  out->kind = file.kind;
  if (file.kind == EvalKind::kKppt) return BreakDownKppt(file.kppt, position, to_move, &out->kppt, error);
  if (file.kind == EvalKind::kNetwork) {
    return BreakDownNetwork(file.network, position, to_move, &out->network, error);
  }
  return BreakDownLeaf(position, file.table, &out->table, error);
}

PositionFigures FiguresOf(const Breakdown& breakdown) {
  if (breakdown.kind == EvalKind::kTable) return FiguresOf(breakdown.table);
  if (breakdown.kind == EvalKind::kKppt) return KpptFigures(breakdown.kppt);
  return {0, 0, breakdown.network.material, breakdown.network.value};
}

void RankBreakdown(const Breakdown& breakdown, const Position& position, SortMode mode,
                   Ranking* ranking) {
  if (breakdown.kind == EvalKind::kKppt) {
    RankKpptTerms(breakdown.kppt, position, mode, ranking);
  } else if (breakdown.kind == EvalKind::kNetwork) {
    RankNetworkInputs(breakdown.network, mode, ranking);
  } else {
    RankLeafTerms(breakdown.table.tally, position, mode, ranking);
  }
}

bool CompareFiles(const Evaluator& before, const Evaluator& after, const Position& position,
                  Side to_move, SortMode mode, LeafComparison* out, std::string* error) {
  if (before.kind == EvalKind::kTable && after.kind == EvalKind::kTable) {
    out->terms = true;
    return CompareLeaf(position, before.table, after.table, mode, out, error);
  }
  if (before.kind == EvalKind::kKppt && after.kind == EvalKind::kKppt &&
      before.kppt.layout == after.kppt.layout) {
    // The same layout: the same pairs, ranked by their change.
    auto b = std::make_unique<KpptBreakdown>();
    auto a = std::make_unique<KpptBreakdown>();
    if (!BreakDownKppt(before.kppt, position, to_move, b.get(), error) ||
        !BreakDownKppt(after.kppt, position, to_move, a.get(), error)) {
      return false;
    }
    out->terms = true;
    out->before = KpptFigures(*b);
    out->after = KpptFigures(*a);
    out->changed = RankKpptChanges(*b, *a, position, mode, &out->ranking);
    return true;
  }
  out->terms = false;
  out->changed = 0;
  out->ranking.count = 0;
  return EvaluatePosition(before, position, to_move, &out->before, error) &&
         EvaluatePosition(after, position, to_move, &out->after, error);
}

bool ComputeShares(const Evaluator& file, const Position& position, Side to_move,
                   PieceShares* out, std::string* error) {
  if (file.kind == EvalKind::kNetwork) {
    return NetworkPieceShares(file.network, position, to_move, out, error);
  }
  if (file.kind == EvalKind::kKppt) {
    auto breakdown = std::make_unique<KpptBreakdown>();
    if (!BreakDownKppt(file.kppt, position, to_move, breakdown.get(), error)) return false;
    KpptPieceShares(*breakdown, file.kppt, position, out);
    return true;
  }
  return ComputePieceShares(position, file.table, out, error);
}

bool TakeFileCensus(const Evaluator& file, const std::string& path, const Evaluator* second,
                    const std::string& second_path, int threads, EvalKind* kind,
                    TableCensus* table, NetworkCensus* network, KpptCensus* kppt,
                    std::string* error) {
  *kind = file.kind;
  if (second != nullptr && (second->kind != file.kind ||
                            (file.kind == EvalKind::kNetwork &&
                             !SameNetworkShape(file.network, second->network)) ||
                            (file.kind == EvalKind::kKppt &&
                             file.kppt.layout != second->kppt.layout))) {
    *error = "--census --compare takes two files of one family and shape; " + path + " is " +
             EvaluatorSummary(file) + ", " + second_path + " " + EvaluatorSummary(*second);
    return false;
  }
  if (file.kind == EvalKind::kTable) {
    return TakeCensus(path.c_str(), second != nullptr ? second_path.c_str() : nullptr, threads,
                      table, error);
  }
  if (file.kind == EvalKind::kKppt) {
    TakeKpptCensus(file.kppt, second != nullptr ? &second->kppt : nullptr, threads, kppt);
    return true;
  }
  TakeNetworkCensus(file.network, second != nullptr ? &second->network : nullptr, threads, network);
  return true;
}

bool BuildFileMap(const Evaluator& file, const Evaluator* second, const std::string& text,
                  int neuron, KpptPart part, EvalKind* kind, TableMap* table,
                  NetworkMap* network, KpptMap* kppt, std::string* error) {
  *kind = file.kind;
  if (second != nullptr && file.kind == EvalKind::kKppt &&
      (second->kind != EvalKind::kKppt || second->kppt.layout != file.kppt.layout)) {
    *error = "--map with --compare takes two KPPT sets of one layout";
    return false;
  }
  if (second != nullptr && file.kind != EvalKind::kKppt &&
      (second->kind != EvalKind::kTable || file.kind != EvalKind::kTable)) {
    *error = "--map with --compare takes two tables";
    return false;
  }
  if (file.kind == EvalKind::kNetwork) {
    Place king;
    if (!ParseMapKing(text, &king, error)) {
      *error = "--map " + *error;
      return false;
    }
    return BuildNetworkMap(file.network, king, neuron, network, error);
  }
  MapRequest request;
  if (!ParseMapRequest(text, &request, error)) {
    *error = "--map " + *error;
    return false;
  }
  if (file.kind == EvalKind::kKppt) {
    return BuildKpptMap(file.kppt, second != nullptr ? &second->kppt : nullptr, request, part, kppt,
                        error);
  }
  return second != nullptr ? CompareTableMap(file.table, second->table, request, table, error)
                           : BuildTableMap(file.table, request, table, error);
}

bool EvaluatesGamesInBlocks(const Evaluator& file) { return file.kind == EvalKind::kKppt; }

bool AddsUseBySlabs(const Evaluator& file) { return file.kind == EvalKind::kTable; }

bool ScanFileSlab(const Evaluator& file, const Evaluator* second, int k, int part, SortMode mode,
                  bool* is_kppt, TableScan* table, ScanComparison* comparison, KpptScan* kppt,
                  std::string* error) {
  *is_kppt = file.kind == EvalKind::kKppt;
  if (*is_kppt) {
    return ScanKpptSlab(file.kppt, second != nullptr ? &second->kppt : nullptr, k,
                        KpptPart(std::max(part, 0)), mode, kppt, error);
  }
  return second != nullptr ? CompareKppSquare(file.table, second->table, k, mode, comparison, error)
                           : ScanKppTable(file.table, k, mode, table, error);
}

}  // namespace fvscope
