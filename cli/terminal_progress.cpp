#include "cli/terminal_progress.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/console.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRedrawSeconds = 0.2;  // five times a second at most
constexpr double kFirstRateSeconds = 0.5;
constexpr int kMinimumBar = 10;  // narrower than this, the bar is left out

struct Line {
  const char* label = "";
  std::uint64_t totalBytes = 0;  // for operations that report chunks
  Clock::time_point start;
  Clock::time_point lastDrawn;
  std::size_t width = 0;  // characters of the line last drawn
  bool showing = false;
};
Line line;

// "512 B", "9.8 KiB", "12.3 MiB", "205 GiB": three figures at most.
std::string Size(double bytes) {
  static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  if (unit == 0) {
    std::snprintf(text, sizeof text, "%.0f B", bytes);
  } else {
    std::snprintf(text, sizeof text, bytes < 99.95 ? "%.1f %s" : "%.0f %s", bytes, kUnits[unit]);
  }
  return text;
}

// "0:07", "12:34", "1:02:03".
std::string Duration(double seconds) {
  auto whole = static_cast<std::uint64_t>(seconds + 0.999);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(whole / 3600),
                  static_cast<unsigned long long>(whole / 60 % 60),
                  static_cast<unsigned long long>(whole % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                  static_cast<unsigned long long>(whole % 60));
  }
  return text;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The last column is left free: some terminals wrap when it is written.
int TerminalWidth() { return platform::TerminalColumns() - 1; }

void OnProgress(std::uint32_t done, std::uint32_t total, const char16_t*) {
  if (total == 0) return;
  Clock::time_point now = Clock::now();
  if (std::chrono::duration<double>(now - line.lastDrawn).count() < kRedrawSeconds) return;
  line.lastDrawn = now;

  std::uint64_t bytesDone = done;
  std::uint64_t bytesTotal = total;
  if (line.totalBytes > 0) {
    // Chunk i is reported once it is done; (1, 1) reports the end.
    std::uint64_t chunks = std::min<std::uint64_t>(std::uint64_t{done} + 1, total);
    bytesTotal = line.totalBytes;
    bytesDone = bytesTotal * chunks / total;
  }
  double seconds = std::chrono::duration<double>(now - line.start).count();
  std::string text =
      FormatProgressLine(line.label, bytesDone, bytesTotal, seconds, TerminalWidth());
  // Blanks over what a longer line before left, rather than a terminal
  // control sequence, so that a plain console shows the same.
  std::size_t shown = text.size();
  if (shown < line.width) text.append(line.width - shown, ' ');
  std::fprintf(stderr, "\r%s", text.c_str());
  std::fflush(stderr);
  line.width = shown;
  line.showing = true;
}

}  // namespace

std::string FormatProgressLine(const char* label, std::uint64_t done, std::uint64_t total,
                               double seconds, int width) {
  done = std::min(done, total);
  double fraction = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));

  std::string rate = "--- B/s";
  std::string left = "-:--";
  if (seconds >= kFirstRateSeconds && done > 0) {
    double perSecond = static_cast<double>(done) / seconds;
    rate = Size(perSecond) + "/s";
    left = Duration(static_cast<double>(total - done) / perSecond);
  }
  std::string head = std::string(label) + " " + percent + " ";
  std::string tail(1, ' ');
  tail += Padded(Size(static_cast<double>(done)), 8) + " / " + Size(static_cast<double>(total)) +
          "  " + Padded(rate, 10) + "  " + Padded(left, 5) + " left";

  int barWidth = width - static_cast<int>(head.size() + tail.size()) - 2;
  if (barWidth < kMinimumBar) {
    std::string shortLine = head.substr(0, head.size() - 1) + tail;
    if (width < 0) width = 0;
    return shortLine.substr(0, static_cast<std::size_t>(width));
  }
  auto filled = static_cast<int>(fraction * barWidth);
  std::string bar(static_cast<std::size_t>(barWidth), ' ');
  std::fill(bar.begin(), bar.begin() + filled, '=');
  if (filled < barWidth) bar[static_cast<std::size_t>(filled)] = '>';
  return head + "[" + bar + "]" + tail;
}

ProgressCallback StartProgress(const char* label, std::uint64_t totalBytes) {
  if (!platform::ErrorIsTerminal()) return nullptr;
  line = Line{};
  line.label = label;
  line.totalBytes = totalBytes;
  line.start = line.lastDrawn = Clock::now();
  return OnProgress;
}

void ClearProgressLine() {
  if (!line.showing) return;
  platform::EraseLine(line.width);
  std::fflush(stderr);
  line.showing = false;
}

}  // namespace cli
