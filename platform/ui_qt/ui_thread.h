// Calls into the user-interface thread.
//
// Widgets may only be touched on the thread that owns them. The worker
// reaches the progress dialog and the message boxes through these calls,
// which wait until the user-interface thread has run them, as a window
// message sent to another thread does on the device.
#pragma once

#include <functional>

class QObject;

namespace platform::qt {

// Runs `call` on the thread that owns `context` and returns when it is done.
// On that thread itself the call is made directly.
void RunOnOwnerThread(QObject* context, const std::function<void()>& call);

}  // namespace platform::qt
