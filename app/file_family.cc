#include "app/file_family.h"

#include "eval/network/network_census.h"

namespace fvscope {

namespace {

// "256/32/32".
std::string ShapeText(const NetworkShape& s) {
  return std::to_string(s.w) + "/" + std::to_string(s.h1) + "/" + std::to_string(s.h2);
}

}  // namespace

bool CheckFileFamilies(const CommandLine& options, const Evaluator& fv, const Evaluator* compare,
                       std::string* error) {
  const CommandLine& o = options;
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
    *error = "--activations counts a network's neurons; " + o.fv + " is a table";
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

}  // namespace fvscope
