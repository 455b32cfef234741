#include "app/file_family.h"

namespace fvscope {

bool CheckFileFamilies(const CommandLine& options, const Evaluator& fv, const Evaluator* compare,
                       std::string* error) {
  const bool first_network = fv.kind == EvalKind::kNetwork;
  const bool second_network = compare != nullptr && compare->kind == EvalKind::kNetwork;
  if (options.fv_scale > 0 && !first_network && !second_network) {
    *error = "--fv-scale sets a network's scale; neither evaluation file is a network";
    return false;
  }
  if (!first_network && !second_network) return true;
  const std::string& network = first_network ? options.fv : options.compare;
  const char* view = options.scan_king_square != -1 ? "a table scan"
                     : !options.map.empty()         ? "--map"
                     : options.census               ? "--census"
                     : options.lambda > 0           ? "--lambda"
                                                    : nullptr;
  if (view != nullptr) {
    *error = network + ": a network; " + view + " needs a table (fv.bin)";
    return false;
  }
  return true;
}

}  // namespace fvscope
