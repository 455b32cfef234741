// What the run needs of the operating system: the log folder and the engine.
#ifndef FVSCOPE_APP_PLATFORM_H_
#define FVSCOPE_APP_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace fvscope {

// Removes every entry of the folder dir that is not a folder (files and
// links; a link is removed, never followed) and creates dir when it is
// missing. Returns false with *error set when dir is not a folder (a file or
// a link) or an entry cannot be removed; an entry that is gone before it is
// removed (another run clearing the folder) is no failure.
bool ClearLogFolder(const std::string& dir, std::string* error);

// Reads the whole file at path into *text. Returns false with *error naming
// the file and the reason when it cannot be read or holds more than limit
// bytes.
bool ReadSmallFile(const std::string& path, size_t limit, std::string* text, std::string* error);

// Size in bytes of the file at path, 0 when it cannot be told.
int64_t FileSize(const std::string& path);

// Where a KPPT set's identity is remembered between runs:
// $XDG_CACHE_HOME/fvscope when that is an absolute path, else
// $HOME/.cache/fvscope; empty (nowhere) without either.
std::string IdentityMemoFolder();

// Runs command through /bin/sh -c and waits for it. Returns false with
// *error describing the status when it cannot be started or does not exit 0.
bool RunCommand(const std::string& command, std::string* error);

}  // namespace fvscope

#endif  // FVSCOPE_APP_PLATFORM_H_
