// Random KPPT sets for the tests and the bench: KK and KKP random, KPP
// random and symmetric with a zero diagonal and zeros at feature 0.
#ifndef FVSCOPE_TOOLS_SAMPLE_KPPT_H_
#define FVSCOPE_TOOLS_SAMPLE_KPPT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "eval/kppt/kppt_file.h"

namespace fvscope {

// The three tables' bytes of a set (kk empty for a layout without KK).
struct SampleKppt {
  KpptLayout layout = KpptLayout::kKppt32;
  std::vector<uint8_t> kk, kkp, kpp;
};

// A random set of layout from seed.
void MakeSampleKppt(KpptLayout layout, uint64_t seed, SampleKppt* out);

// A KpptSet reading sample's bytes in place (identity summed); sample must outlive it.
KpptSet SampleKpptSet(const SampleKppt& sample);

// Writes sample's files into the folder dir (made when missing), each file
// whole or absent. Returns false when one cannot be written.
bool WriteSampleKppt(const std::string& dir, const SampleKppt& sample);

// The layout named kppt32, kppt16, nokk or kpp_kkpt. Returns false for another name.
bool ParseSampleLayout(const std::string& name, KpptLayout* layout);

}  // namespace fvscope

#endif  // FVSCOPE_TOOLS_SAMPLE_KPPT_H_
