// One running instance per user.
//
// The device finds a running instance by its main window's class and title.
// Here the instances of one user meet in a private folder (see
// platform/instance_lock.h): the running instance holds a lock there for its
// whole life and listens on a local socket beside it; a later start that
// cannot take the lock connects to the socket, which brings the running
// window, with the dialogs it owns, to the front, and ends.
#pragma once

class QWidget;

namespace platform::qt {

// True when a window of this class and title runs for this user: it has
// been asked to come to the front, and this process is to end. False when
// this process is now the one that later starts find (or when there is no
// private place to meet, and the program runs without the check).
bool ForegroundExistingWindow(const char16_t* className, const char16_t* title);

// Makes `window` the one brought to the front when a later start asks
// (after ForegroundExistingWindow found none running). False if the socket
// cannot be set up: later starts then still give way, but cannot raise the
// window.
bool PublishWindow(QWidget* window);

}  // namespace platform::qt
