// Where the instances of the program of one user meet: a service of the
// Linux host (posix/), on which the Qt back end keeps one instance per user.
//
// The device tells a running instance by its main window. Here the
// instances meet in a folder that only this user can write, so that nobody
// else can stand in for a running instance: a lock file there is held for
// the whole life of the process that runs (the kernel drops the lock when
// the process ends, however it ends, so a leftover never blocks a later
// start), and the holder answers later starts on a local socket beside it.
#pragma once

#include <string>

namespace platform {

// The private folder: $XDG_RUNTIME_DIR when it names a real folder (not a
// link) of this user that neither group nor others may write; else
// "tessaron-<uid>" in the temporary folder ($TMPDIR, else /tmp), made with
// mode 0700 when missing and used only when it is a real folder of this
// user with mode 0700. False when neither is there to be had.
bool PrivateRuntimeFolder(std::string* folder);

enum class InstanceLock {
  kTaken,          // this process holds it until it ends
  kHeldByAnother,  // a running process holds it
  kUnavailable,    // the lock file cannot be opened or locked
};

// Tries, without waiting, to take the lock on the file `path` (created
// with mode 0600 when missing). Once taken, later calls answer kTaken.
InstanceLock TakeInstanceLock(const std::string& path);

}  // namespace platform
