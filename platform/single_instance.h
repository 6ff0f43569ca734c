// One running instance of the program per user.
//
// The device finds a running instance by its main window's class and title
// and brings it to the front. Here the title names the file being worked
// on, so the window is found by its class alone. The Qt build has the
// instances of one user meet in a private folder (platform/instance_lock.h);
// a Windows build uses a named mutex in the user's session and FindWindowW.
#pragma once

#include "platform/window.h"

namespace platform {

// True when an instance with a main window of this class runs for this
// user: it has been asked to come to the front with the windows it owns and
// been handed `file` (a device path, empty for none), which its main window
// hears of as kCopyData, and this process is to end. *told says whether the
// running instance was reached in time (one still starting, before its
// window is up, is not). The class and `name`, the program's name, name
// where the instances meet. False when this process is now the one that
// later starts find (or when there is nowhere to meet, and the program runs
// without the check).
bool ForegroundExistingWindow(const char16_t* className, const char16_t* name,
                              const char16_t* file, bool* told);

// Makes `window` the one brought to the front when a later start asks,
// after ForegroundExistingWindow found none. False if later starts cannot
// reach it; they still give way.
bool PublishWindow(Window window);

}  // namespace platform
