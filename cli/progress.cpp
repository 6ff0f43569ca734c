#include "cli/progress.h"

#include <cstdio>

#include "cli/system.h"

namespace cli {
namespace {

const char* currentLabel = "";
int shownPercent = -1;
bool lineShowing = false;
int lineWidth = 0;

void Show(int percent) {
  if (percent == shownPercent) return;
  shownPercent = percent;
  lineShowing = true;
  lineWidth = std::fprintf(stderr, "\r%s %3d%%", currentLabel, percent);
  std::fflush(stderr);
}

// Container operations report (chunk index, chunk count) per chunk and
// (1, 1) at the end; packages report (bytes done, total bytes).
void OnProgress(std::uint32_t done, std::uint32_t total, const char16_t*) {
  if (total == 0) return;
  std::uint64_t reached = done == 1 && total == 1 ? 1 : done;
  if (reached > total) reached = total;
  Show(static_cast<int>(reached * 100 / total));
}

}  // namespace

ProgressCallback StartProgress(const char* label) {
  if (!ErrorIsTerminal()) return nullptr;
  currentLabel = label;
  shownPercent = -1;
  return OnProgress;
}

void ClearProgressLine() {
  if (!lineShowing) return;
  EraseLine(lineWidth > 0 ? static_cast<std::size_t>(lineWidth) : 0);
  std::fflush(stderr);
  lineShowing = false;
  shownPercent = -1;
}

}  // namespace cli
