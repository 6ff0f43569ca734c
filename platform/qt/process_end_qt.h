// Ending the process of the Qt application.
#pragma once

#include "platform/process_end.h"

namespace platform::qt {

// End hands the ending to the user-interface thread: every running event
// loop, modal ones included, is left and the application's main function
// returns the code, so the process ends on that thread with its objects
// destroyed in order rather than under a running event loop. EndAtOnce ends
// the process on the spot.
class QtProcessEnding : public ProcessEnding {
 public:
  void End(int exitCode) override;
  void EndAtOnce(int exitCode) override;
};

}  // namespace platform::qt
