#include "eval/evaluator.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <numeric>

#include "eval/corpus/corpus_partial.h"
#include "eval/network/network_batch.h"

namespace fvscope {

const char* EvalKindName(EvalKind kind) { return kind == EvalKind::kNetwork ? "network" : "table"; }

bool LoadEvaluator(const std::string& path, const EvalLoadOptions& options, Evaluator* file,
                   std::string* error, std::string* warning) {
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
  } else {
    CloseEvalFile(&file->table);
  }
}

int64_t EvaluatorBytes(const Evaluator& file) {
  return file.kind == EvalKind::kNetwork ? file.network.file_bytes
                                         : static_cast<int64_t>(file.table.mapping_bytes);
}

uint64_t EvaluatorChecksum(const Evaluator& file) {
  if (file.kind == EvalKind::kTable) return EvalFileChecksum(file.table);
  const uint64_t sum = ContentChecksum(file.network.mapping, file.network.mapping_bytes);
  // The same network at another scale gives other values.
  return sum ^ (static_cast<uint64_t>(file.network.scale) * 0x9E3779B97F4A7C15ull);
}

std::string EvaluatorSummary(const Evaluator& file) {
  if (file.kind == EvalKind::kTable) return "table";
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
  int32_t z = 0;
  out->kkp_sum = out->kpp_sum = 0;
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

void ValueBatchApart(PositionBatch* batch, int count, const Evaluator& file, int f,
                     const ParallelFor& parallel, Activations* activations) {
  if (file.kind == EvalKind::kTable) return;
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
    // The crowded king squares first, so that no thread is left alone with one.
    int order[kSquares];
    std::iota(order, order + kSquares, 0);
    const auto views_of = [&](int k) { return views->king_begin[k + 1] - views->king_begin[k]; };
    std::stable_sort(order, order + kSquares, [&](int a, int b) { return views_of(a) > views_of(b); });
    if (activations == nullptr) {
      parallel(kSquares, [&](int k) { AccumulateNetworkKing(views, network, path, order[k]); });
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
      AccumulateNetworkKing(views, network, path, order[k], tally.get());
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
  // A network's values of this block just grouped every position: taken as they are.
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

bool BreakDownPosition(const Evaluator& file, const Position& position, Side to_move,
                       Breakdown* out, std::string* error) {
  out->kind = file.kind;
  if (file.kind == EvalKind::kNetwork) {
    return BreakDownNetwork(file.network, position, to_move, &out->network, error);
  }
  return BreakDownLeaf(position, file.table, &out->table, error);
}

PositionFigures FiguresOf(const Breakdown& breakdown) {
  if (breakdown.kind == EvalKind::kTable) return FiguresOf(breakdown.table);
  return {0, 0, breakdown.network.material, breakdown.network.value};
}

void RankBreakdown(const Breakdown& breakdown, const Position& position, SortMode mode,
                   Ranking* ranking) {
  if (breakdown.kind == EvalKind::kNetwork) {
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
  return ComputePieceShares(position, file.table, out, error);
}

bool TakeFileCensus(const Evaluator& file, const std::string& path, const Evaluator* second,
                    const std::string& second_path, int threads, EvalKind* kind,
                    TableCensus* table, NetworkCensus* network, std::string* error) {
  *kind = file.kind;
  if (second != nullptr && (second->kind != file.kind ||
                            (file.kind == EvalKind::kNetwork &&
                             !SameNetworkShape(file.network, second->network)))) {
    *error = "--census --compare takes two files of one family and shape; " + path + " is " +
             EvaluatorSummary(file) + ", " + second_path + " " + EvaluatorSummary(*second);
    return false;
  }
  if (file.kind == EvalKind::kTable) {
    return TakeCensus(path.c_str(), second != nullptr ? second_path.c_str() : nullptr, threads,
                      table, error);
  }
  TakeNetworkCensus(file.network, second != nullptr ? &second->network : nullptr, threads, network);
  return true;
}

bool BuildFileMap(const Evaluator& file, const Evaluator* second, const std::string& text,
                  int neuron, EvalKind* kind, TableMap* table, NetworkMap* network,
                  std::string* error) {
  *kind = file.kind;
  if (second != nullptr && (second->kind != EvalKind::kTable || file.kind != EvalKind::kTable)) {
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
  return second != nullptr ? CompareTableMap(file.table, second->table, request, table, error)
                           : BuildTableMap(file.table, request, table, error);
}

}  // namespace fvscope
