// The explorer page's files (explorer/), built into the executable.
#ifndef FVSCOPE_APP_EXPLORER_FILES_H_
#define FVSCOPE_APP_EXPLORER_FILES_H_

#include "http/static_files.h"

namespace fvscope {

// Every file of the page, sorted by name.
extern const StaticFile kExplorerFiles[];
extern const int kExplorerFileCount;

}  // namespace fvscope

#endif  // FVSCOPE_APP_EXPLORER_FILES_H_
