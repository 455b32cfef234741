// The run's process-wide settings, set once by the driver before any work.
#ifndef FVSCOPE_SHOGI_SETTINGS_H_
#define FVSCOPE_SHOGI_SETTINGS_H_

#include <cstdint>
#include <cstdio>

namespace fvscope {

// Ranking order: 0 by magnitude, 1 most positive first, others most negative first.
extern int32_t SortMode;

// King square of a table scan; -1 selects game analysis.
extern int32_t ScanKingSquare;

// Number of ranked terms printed and drawn.
constexpr int32_t kRankingLength = 150;

// The open report; nullptr before the driver opens it.
extern FILE* ReportFile;

// True to write Japanese texts in UTF-8 instead of code page 932.
extern bool OutputUtf8;

}  // namespace fvscope

#endif  // FVSCOPE_SHOGI_SETTINGS_H_
