// One running instance of the program per user.
//
// The device finds a running instance by its main window's class and title
// and brings it to the front. The Qt build has the instances of one user
// meet in a private folder (platform/instance_lock.h); a Windows build uses
// a named mutex in the user's session and FindWindowW.
#pragma once

#include "platform/window.h"

namespace platform {

// True when an instance with a main window of this class and title runs
// for this user: it has been asked to come to the front with the windows it
// owns, and this process is to end. False when this process is now the one
// that later starts find (or when there is nowhere to meet, and the program
// runs without the check).
bool ForegroundExistingWindow(const char16_t* className, const char16_t* title);

// Makes `window` the one brought to the front when a later start asks,
// after ForegroundExistingWindow found none. False if later starts cannot
// reach it; they still give way.
bool PublishWindow(Window window);

}  // namespace platform
