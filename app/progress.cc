#include "app/progress.h"

#include <cmath>

namespace fvscope {

namespace {

constexpr double kTerminalInterval = 0.25;
constexpr double kLogInterval = 5.0;

double SecondsSince(std::chrono::steady_clock::time_point then) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - then).count();
}

// h:mm:ss, or m:ss under an hour.
std::string Duration(double seconds) {
  const int64_t total = static_cast<int64_t>(std::llround(seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                  static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(total / 60),
                  static_cast<long long>(total % 60));
  }
  return text;
}

void Print(ProgressMeter* meter) {
  const std::string text = ProgressText(meter->counts, SecondsSince(meter->start));
  if (meter->style == ProgressStyle::kLog) {
    std::fprintf(meter->out, "fvscope: progress: %s\n", text.c_str());
  } else {
    const std::string line = "fvscope: " + text;
    // Blanks over what a longer line before left standing.
    const size_t pad = meter->line_width > line.size() ? meter->line_width - line.size() : 0;
    std::fprintf(meter->out, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
    meter->line_width = line.size();
  }
  std::fflush(meter->out);
  meter->shown = std::chrono::steady_clock::now();
  meter->ever_shown = true;
}

}  // namespace

ProgressStyle ChooseProgressStyle(int option, bool terminal) {
  if (option == 0) return ProgressStyle::kNone;
  if (terminal) return ProgressStyle::kTerminal;
  return option > 0 ? ProgressStyle::kLog : ProgressStyle::kNone;
}

void StartProgress(ProgressStyle style, std::FILE* out, ProgressMeter* meter) {
  *meter = ProgressMeter();
  meter->style = out != nullptr ? style : ProgressStyle::kNone;
  meter->out = out;
  meter->start = meter->shown = std::chrono::steady_clock::now();
}

void ShowProgress(ProgressMeter* meter) {
  if (meter->style == ProgressStyle::kNone) return;
  const double interval =
      meter->style == ProgressStyle::kTerminal ? kTerminalInterval : kLogInterval;
  if (meter->ever_shown && SecondsSince(meter->shown) < interval) return;
  Print(meter);
}

void ClearProgressLine(ProgressMeter* meter) {
  if (meter->style != ProgressStyle::kTerminal || meter->line_width == 0) return;
  std::fprintf(meter->out, "\r%*s\r", static_cast<int>(meter->line_width), "");
  std::fflush(meter->out);
  meter->line_width = 0;
}

void EndProgress(ProgressMeter* meter) {
  if (meter->style == ProgressStyle::kLog) Print(meter);
  ClearProgressLine(meter);
  meter->style = ProgressStyle::kNone;
}

std::string ProgressText(const ProgressCounts& counts, double seconds) {
  std::string text = "files " + std::to_string(counts.files) + "/" +
                     std::to_string(counts.files_total) + "  games " +
                     std::to_string(counts.games);
  if (counts.games_total >= 0) text += "/" + std::to_string(counts.games_total);
  text += "  positions " + std::to_string(counts.positions);
  if (seconds > 0) {
    text += "  " + std::to_string(std::llround(counts.positions / seconds)) + " positions/s";
  }
  // An estimate needs a second of work behind it.
  if (counts.done > 0 && counts.done < 1 && seconds >= 1) {
    text += "  left " + Duration(seconds * (1 - counts.done) / counts.done);
  }
  return text;
}

}  // namespace fvscope
