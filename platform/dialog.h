// Modal dialogs built from the program's templates (res/dialogs.cpp).
#pragma once

#include "platform/resource_types.h"
#include "platform/window.h"

namespace platform {

// Builds a dialog from `dialogTemplate`, covering the device screen over
// `owner` (or on its own), and runs it modally. `procedure` gets
// kInitDialog before the dialog shows, then its commands: 1 from the OK
// button of a template with kStyleOkInCaption, kCommandCancel for Esc; and
// kClose. Returns the result the dialog was ended with.
int RunModalDialog(const DialogTemplate& dialogTemplate, Window owner, WindowProcedure procedure);

// Ends the modal dialog: RunModalDialog returns `result`.
void EndModalDialog(Window dialog, int result);

}  // namespace platform
