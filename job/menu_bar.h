// The menu-bar helper that the main window and the progress dialog share.
#pragma once

class QWidget;

namespace job {

// Creates the soft-key bar of menu `menuId` along the bottom of `parent`.
// On failure tells the user, in a box owned by `parent`, and returns null;
// the window then goes on without soft keys.
QWidget* CreateMenuBar(QWidget* parent, int menuId);

}  // namespace job
