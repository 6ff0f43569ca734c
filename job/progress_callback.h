// The progress callback of a run: the current item and the progress bar of
// the progress dialog, fed by decryption and unpacking on the worker thread.
#pragma once

#include <cstdint>

#include "platform/wide_string.h"

namespace job {

struct ProgressState {
  std::uint32_t lastPosition = 0;
  char16_t lastText[platform::kMaxPath] = {};
};

// What one report changes in the dialog.
struct ProgressStep {
  bool setText = false;  // state->lastText is the new item line
  bool movePosition = false;
  std::uint32_t percent = 0;  // the bar's new position when movePosition
};

// The report's arithmetic. The item line changes only when the text
// differs from the last one; the bar moves only when (done - last position)
// x 100, wrapping in 32 bits, exceeds total, to done / (total x 0.01) in
// single precision. The wrap-around is what sends the bar back to 0 when
// unpacking starts after decryption.
ProgressStep AdvanceProgress(ProgressState* state, std::uint32_t done, std::uint32_t total,
                             const char16_t* text);

// The progress dialog's state, reset when the dialog starts a run.
extern ProgressState progressState;

// The callback handed to DecryptContainer and UnpackPackage. Changes reach
// the dialog through calls that wait for the user-interface thread, and only
// when something changed, so that the window does not slow the work down.
void ReportProgress(std::uint32_t done, std::uint32_t total, const char16_t* text);

}  // namespace job
