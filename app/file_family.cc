#include "app/file_family.h"

#include "eval/network/network_census.h"
#include "render/thread_pool.h"

namespace fvscope {

namespace {

// "256/32/32".
std::string ShapeText(const NetworkShape& s) {
  return std::to_string(s.w) + "/" + std::to_string(s.h1) + "/" + std::to_string(s.h2);
}

// What a file is, as a refusal names it.
const char* FamilyText(const Evaluator& file) {
  return file.kind == EvalKind::kKppt      ? "a KPPT set"
         : file.kind == EvalKind::kNetwork ? "a network"
                                           : "a table (fv.bin)";
}

// The checks of a run with a KPPT set: --part needs KPPT sets, and a map, a
// census or a scan compares a set only with a set of its layout.
bool CheckKpptFamilies(const CommandLine& o, const Evaluator& fv, const Evaluator* compare,
                       std::string* error) {
  const bool first_kppt = fv.kind == EvalKind::kKppt;
  const bool second_kppt = compare != nullptr && compare->kind == EvalKind::kKppt;
  if (o.part >= 0 && (!first_kppt || (compare != nullptr && !second_kppt))) {
    const bool first = !first_kppt;
    *error = (first ? o.fv : o.compare) + ": " + FamilyText(first ? fv : *compare) +
             "; --part chooses a part of a KPPT set's entries";
    return false;
  }
  if (!first_kppt && !second_kppt) return true;
  // The store counts the entries of two files of one kind only.
  if (o.lambda > 0 && compare != nullptr && first_kppt != second_kppt &&
      compare->kind != EvalKind::kNetwork && fv.kind != EvalKind::kNetwork) {
    *error = (first_kppt ? o.fv : o.compare) + ": a KPPT set with " +
             FamilyText(first_kppt ? *compare : fv) +
             "; --lambda pulls the entries a corpus uses, counted when both files are tables or both KPPT sets";
    return false;
  }
  if (o.neuron >= 0) {
    *error = "--neuron picks a neuron of a network's map; " + o.fv + " is " + FamilyText(fv);
    return false;
  }
  const char* view = o.census                    ? "--census --compare"
                     : !o.map.empty()            ? "--map with --compare"
                     : o.scan_king_square != -1 ? "a table scan with --compare"
                                                 : nullptr;
  if (compare == nullptr || view == nullptr) return true;
  if (first_kppt != second_kppt) {
    *error = std::string(view) + " takes two files of one family; " + o.fv + " is " +
             FamilyText(fv) + ", " + o.compare + " " + FamilyText(*compare);
    return false;
  }
  if (fv.kppt.layout != compare->kppt.layout) {
    *error = std::string(view) + " takes two KPPT sets of one layout; " + o.fv + " is " +
             KpptLayoutName(fv.kppt.layout) + ", " + o.compare + " " +
             KpptLayoutName(compare->kppt.layout);
    return false;
  }
  return true;
}

}  // namespace

bool CheckFileFamilies(const CommandLine& options, const Evaluator& fv, const Evaluator* compare,
                       std::string* error) {
  const CommandLine& o = options;
  if (!CheckKpptFamilies(o, fv, compare, error)) return false;
  const bool first_network = fv.kind == EvalKind::kNetwork;
  const bool second_network = compare != nullptr && compare->kind == EvalKind::kNetwork;
  if (o.fv_scale > 0 && !first_network && !second_network) {
    *error = "--fv-scale sets a network's scale; neither evaluation file is a network";
    return false;
  }
  if (o.census && compare != nullptr && first_network != second_network) {
    *error = "--census --compare takes two files of one family; " +
             (first_network ? o.fv : o.compare) + " is a network, " +
             (first_network ? o.compare : o.fv) + " a table";
    return false;
  }
  if (o.census && first_network && second_network &&
      !SameNetworkShape(fv.network, compare->network)) {
    *error = "--census --compare takes two networks of one shape; " + o.fv + " is " +
             ShapeText(fv.network.shape) + ", " + o.compare + " " +
             ShapeText(compare->network.shape);
    return false;
  }
  if (o.activations && !first_network) {
    *error = "--activations counts a network's neurons; " + o.fv + " is " + FamilyText(fv);
    return false;
  }
  if (o.neuron >= 0 && !first_network) {
    *error = "--neuron picks a neuron of a network's map; " + o.fv + " is a table";
    return false;
  }
  if (!first_network && !second_network) return true;
  const std::string& network = first_network ? o.fv : o.compare;
  // A network's own map names only a king.
  const bool network_map =
      first_network && compare == nullptr && o.map.find(':') == std::string::npos;
  const char* view = o.scan_king_square != -1       ? "a table scan"
                     : !o.map.empty() && !network_map ? "--map=KING:PIECE (or --map with --compare)"
                     : o.lambda > 0                   ? "--lambda"
                                                      : nullptr;
  if (view != nullptr) {
    *error = network + ": a network; " + view + " needs a table (fv.bin)";
    return false;
  }
  return true;
}

void WarnKppAsymmetry(const ModeInputs& inputs, const std::vector<int>& kings, RunLog* log) {
  const int threads = inputs.options->jobs > 0 ? inputs.options->jobs : MachineThreads();
  const ParallelFor parallel = [&](int n, const std::function<void(int)>& work) {
    RunParallel(n, threads, work);
  };
  for (const Evaluator* file : {inputs.fv, inputs.compare}) {
    if (file == nullptr) continue;
    const std::string warning = KppAsymmetryWarning(*file, kings, parallel);
    if (!warning.empty()) Warn(log, warning);
  }
}

std::vector<int> SlabsOfPlies(const std::vector<RecordPly>& plies) {
  std::vector<int> kings;
  for (const RecordPly& ply : plies) {
    for (int k : SlabsOf(ply.position)) kings.push_back(k);
  }
  return kings;
}

}  // namespace fvscope
