// The desktop's trash, where a file the program removes for the user goes,
// so that it can be had back.
#pragma once

namespace platform {

// Moves the file `path` (a device path) to the trash: on Linux the
// freedesktop.org Trash that desktops and file managers share (the home
// trash for a file on the file system of the user's data folder, else the
// trash folder at the top of the file's own file system, .Trash/UID or
// .Trash-UID); on Windows the Recycle Bin, where the shell itself deletes a
// file that the bin cannot take. False, with the file where it was, when no
// trash takes it (a file system without a trash folder, a network share).
bool MoveToTrash(const char16_t* path);

}  // namespace platform
