// The identity of a KPPT set remembered between runs. Summing every word of
// a set reads all of its 858 MB; a run that finds the sum of the same files
// (the same device, inode, size and times) in the memo folder prints that.
//
// A memo is one small text file per set, named after the set's real path,
// written whole (a temporary file renamed) or not at all. Anything in it
// that does not match the files as they stand now is ignored.
#ifndef FVSCOPE_EVAL_KPPT_IDENTITY_MEMO_H_
#define FVSCOPE_EVAL_KPPT_IDENTITY_MEMO_H_

#include <cstdint>
#include <string>

namespace fvscope {

// What tells a file's bytes apart without reading them.
struct FileStamp {
  std::string name;  // the file's name within the set
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t bytes = 0;
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
};

// Stamps the open file fd as name. Returns false when it cannot be stat'ed.
bool StampOf(int fd, const char* name, FileStamp* stamp);

// True when no stamp changed within the second before now_ns: a later
// change within the same clock tick could leave every stamp as it is, so a
// sum taken of files changed so lately is not remembered.
bool StampsSettled(const FileStamp* stamps, int count, int64_t now_ns);

// The identity remembered in memo_dir for the set at dir whose files have
// stamps. Returns false when memo_dir is empty or holds none that matches.
bool RecallIdentity(const std::string& memo_dir, const std::string& dir, const FileStamp* stamps,
                    int count, uint64_t* identity);

// Remembers identity for the set at dir whose files have stamps, taken
// before summing at summed_ns, when they had settled by then. Failures are
// silent: the memo only saves time.
void RememberIdentity(const std::string& memo_dir, const std::string& dir, const FileStamp* stamps,
                      int count, int64_t summed_ns, uint64_t identity);

// The wall clock in nanoseconds.
int64_t WallClockNs();

}  // namespace fvscope

#endif  // FVSCOPE_EVAL_KPPT_IDENTITY_MEMO_H_
