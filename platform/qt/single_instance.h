// One running instance per user.
//
// The device finds a running instance by its main window's class and title.
// Here the window publishes itself on a local socket whose name is made of
// the class, the title and the user's id; a later start connects to it, and
// the first instance brings its window, with the dialogs it owns, to the
// front.
#pragma once

class QWidget;

namespace platform::qt {

// True when a window of this class and title runs for this user; it has
// been asked to come to the front.
bool ForegroundExistingWindow(const char16_t* className, const char16_t* title);

// Makes `window` the one that later starts find. False if the socket cannot
// be set up; the program then runs without the check.
bool PublishWindow(QWidget* window, const char16_t* className, const char16_t* title);

}  // namespace platform::qt
