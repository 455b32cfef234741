#include "shogi/settings.h"

namespace fvscope {

int32_t SortMode = 0;
int32_t ScanKingSquare = -1;
FILE* ReportFile = nullptr;
bool OutputUtf8 = false;

}  // namespace fvscope
