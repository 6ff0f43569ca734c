// The desktop's file and folder choosers, which the device did not have.
// Each windowing back end takes them from its desktop: ui_qt/ Qt's file
// dialogs (the desktop's own where its platform theme has them), ui_win32/
// the common item dialogs.
#pragma once

#include <cstddef>

#include "platform/window.h"

namespace platform {

struct FileFilter {
  const char16_t* name;     // what the user reads: "KVA containers"
  const char16_t* pattern;  // "*.kva"; "*" for every file
};

// The desktop's dialog for opening a file, titled `caption`, over `owner`
// (may be null), offering `filters`, the first one chosen. On OK the chosen
// file's path, as the host spells it, goes to `path` (`capacity` units with
// the terminator). False when cancelled, or when the path does not fit.
bool ChooseFileToOpen(Window owner, const char16_t* caption, const FileFilter* filters,
                      std::size_t filterCount, char16_t* path, std::size_t capacity);

// The desktop's folder chooser over `owner`, starting at `folder` (a host
// path as a folder box shows it; it may be empty or name nothing). On OK
// the chosen folder replaces it (`capacity` units with the terminator).
// False when cancelled, or when the path does not fit.
bool ChooseFolder(Window owner, const char16_t* caption, char16_t* folder, std::size_t capacity);

}  // namespace platform
