// Progress of a long run on stderr: on a terminal one line rewritten in
// place a few times a second, in a log a full line every few seconds.
// Nothing of it reaches standard output or any document.
#ifndef FVSCOPE_APP_PROGRESS_H_
#define FVSCOPE_APP_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fvscope {

// How progress is shown.
enum class ProgressStyle { kNone, kTerminal, kLog };

// What --progress (1), --no-progress (0) or neither (-1) give for a stream
// that is a terminal or not.
ProgressStyle ChooseProgressStyle(int option, bool terminal);

// Where a run stands.
struct ProgressCounts {
  int64_t files = 0;         // files read
  int64_t files_total = 0;
  int64_t games = 0;         // games done (evaluated or refused)
  int64_t games_total = -1;  // -1 until known
  int64_t positions = 0;
  double done = 0;           // share of the work done, 0..1, for the time left
};

// The progress of one run: where it stands, and when that was last shown.
struct ProgressMeter {
  ProgressCounts counts;
  ProgressStyle style = ProgressStyle::kNone;
  std::FILE* out = nullptr;
  std::chrono::steady_clock::time_point start;
  std::chrono::steady_clock::time_point shown;
  bool ever_shown = false;
  size_t line_width = 0;  // characters standing on the terminal's line; 0: none
};

// Starts *meter's clock; it prints to out in style.
void StartProgress(ProgressStyle style, std::FILE* out, ProgressMeter* meter);

// Shows meter->counts unless the last showing is recent: a quarter of a
// second on a terminal, five seconds in a log.
void ShowProgress(ProgressMeter* meter);

// Clears the terminal's line, so that a message or the next output starts on
// a clean one; the next ShowProgress draws it again.
void ClearProgressLine(ProgressMeter* meter);

// Ends the progress: the terminal's line is cleared, a log gets the last
// counts; nothing is shown afterwards.
void EndProgress(ProgressMeter* meter);

// One line of progress after seconds: "files 3/10  games 1200/5000
// positions 240000  80000 positions/s  left 0:12".
std::string ProgressText(const ProgressCounts& counts, double seconds);

}  // namespace fvscope

#endif  // FVSCOPE_APP_PROGRESS_H_
