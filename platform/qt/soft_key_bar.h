// The menu bar of a window: a strip of soft keys along its bottom edge.
//
// On the device the menu bar is a separate window below the form and the
// soft keys are hardware buttons under the screen. Here the bar is a strip
// inside the window's bottom edge; clicking a key, or pressing F1 (left key)
// or F2 (right key) as the device emulators do, sends the key's command to
// the window.
#pragma once

#include <QWidget>

#include "platform/resource_types.h"
#include "platform/window_layout.h"

class QPushButton;

namespace platform::qt {

class SoftKeyBar : public QWidget {
 public:
  SoftKeyBar(QWidget* window, const MenuResource& menu, int scale);

  static int HeightAt(int scale) { return kBarHeight * scale; }
  // The key of menu item `index`, or null.
  QPushButton* Key(int index) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void DockAtBottom();

  QWidget* window_;
  QPushButton* keys_[2] = {nullptr, nullptr};
  int height_;
};

}  // namespace platform::qt
