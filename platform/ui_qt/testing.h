// The Qt back end as the widget tests reach it, and the only header of this
// folder that anything outside platform/ includes: window handles as the
// widgets they are, calls on the user-interface thread, and the real
// message boxes. The program itself uses the back end through the
// interface headers of platform/ alone.
#pragma once

#include "platform/ui_qt/back_end.h"
#include "platform/ui_qt/ui_thread.h"
