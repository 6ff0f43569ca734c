// The about box: the program's icon, name and version, and the rights
// notice, full screen; the OK button in its title bar closes it.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace app {

// The dialog procedure of dialog 105. Esc and every other command leave
// the box open.
bool AboutDialogProcedure(platform::Window dialog, platform::Message message,
                          std::intptr_t parameter);

// Runs the about box modally; returns 1 for OK, 16 (the close message's
// number) when it was closed.
int OpenAboutDialog(platform::Window owner);

}  // namespace app
