#include "cli/progress.h"

#include <cstdio>
#include <unistd.h>

namespace cli {
namespace {

const char* currentLabel = "";
int shownPercent = -1;
bool lineShowing = false;

void Show(int percent) {
  if (percent == shownPercent) return;
  shownPercent = percent;
  lineShowing = true;
  std::fprintf(stderr, "\r%s %3d%%", currentLabel, percent);
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
  if (::isatty(STDERR_FILENO) == 0) return nullptr;
  currentLabel = label;
  shownPercent = -1;
  return OnProgress;
}

void ClearProgressLine() {
  if (!lineShowing) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  lineShowing = false;
  shownPercent = -1;
}

}  // namespace cli
