#include "job/progress_callback.h"

#include "job/globals.h"
#include "platform/device_path.h"
#include "platform/window.h"
#include "res/resource_ids.h"

namespace job {
namespace {

bool SameText(const char16_t* stored, const char16_t* text) {
  std::size_t i = 0;
  for (; i + 1 < platform::kMaxPath && text[i] != u'\0'; ++i) {
    if (stored[i] != text[i]) return false;
  }
  // A text longer than the buffer never equals its cut copy.
  return stored[i] == u'\0' && text[i] == u'\0';
}

// Copies as much of `text` as fits, terminated.
void StoreText(char16_t (&stored)[platform::kMaxPath], const char16_t* text) {
  std::size_t i = 0;
  for (; i + 1 < platform::kMaxPath && text[i] != u'\0'; ++i) stored[i] = text[i];
  stored[i] = u'\0';
}

std::uint32_t Percent(std::uint32_t done, std::uint32_t total) {
  float percent = static_cast<float>(done) / (static_cast<float>(total) * 0.01f);
  // A package whose header understates its total can report done far above
  // total; the conversion would then be undefined.
  if (percent >= 4294967296.0f) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(percent);
}

}  // namespace

ProgressState progressState;

ProgressStep AdvanceProgress(ProgressState* state, std::uint32_t done, std::uint32_t total,
                             const char16_t* text) {
  ProgressStep step;
  if (text != nullptr && !SameText(state->lastText, text)) {
    StoreText(state->lastText, text);
    step.setText = true;
  }
  if (total == 0) return step;
  std::uint32_t advance = (done - state->lastPosition) * 100u;
  if (advance > total) {
    state->lastPosition = done;
    step.movePosition = true;
    step.percent = Percent(done, total);
  }
  return step;
}

void ReportProgress(std::uint32_t done, std::uint32_t total, const char16_t* text) {
  ProgressStep step = AdvanceProgress(&progressState, done, total, text);
  platform::Window dialog = progressDialog;
  if (dialog == nullptr) return;
  if (step.setText) {
    // The state keeps the device text, which the next report is compared
    // with; the user sees the host spelling of a path.
    char16_t shown[platform::kMaxHostPath];
    platform::HostPathForDisplay(progressState.lastText, shown);
    platform::SetText(platform::GetControl(dialog, res::kControlCurrentItem), shown);
  }
  if (step.movePosition) platform::SetProgressPosition(progressBar, step.percent);
}

}  // namespace job
