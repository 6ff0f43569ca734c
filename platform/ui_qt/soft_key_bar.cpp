// The menu bar of a window on Qt 6 Widgets: a strip of soft keys along its
// bottom edge.
//
// On the device the menu bar is a separate window below the form and the
// soft keys are hardware buttons under the screen. Here the bar is a strip
// inside the window's bottom edge; clicking a key, or pressing F1 (left key)
// or F2 (right key) as the device emulators do, sends the key's command to
// the window.
#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

#include "platform/resource_types.h"
#include "platform/screen.h"
#include "platform/ui_qt/back_end.h"
#include "platform/window_layout.h"

namespace platform {
namespace qt {

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

SoftKeyBar::SoftKeyBar(QWidget* window, const MenuResource& menu, int scale)
    : QWidget(window), window_(window), height_(HeightAt(scale)) {
  setObjectName(QStringLiteral("softKeyBar"));
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet(QStringLiteral(
      "#softKeyBar { background: #1f3a5f; }"
      "#softKeyBar QPushButton { color: white; background: transparent; border: none; }"
      "#softKeyBar QPushButton:pressed { background: #3d6da8; }"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const Qt::Key functionKeys[2] = {Qt::Key_F1, Qt::Key_F2};
  for (std::size_t i = 0; i < menu.count && i < 2; ++i) {
    const MenuItem& item = menu.items[i];
    auto* key = new QPushButton(QString::fromUtf16(item.text), this);
    key->setFocusPolicy(Qt::NoFocus);  // the form keeps its focus
    key->setAutoDefault(false);        // Return in a dialog never presses a soft key
    key->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    int command = item.command;
    connect(key, &QPushButton::clicked, this,
            [this, command] { Dispatch(window_, Message::kCommand, command); });
    // Owned by the bar, so the keys go when the bar is destroyed; active
    // while the bar's window is the active window.
    auto* shortcut = new QShortcut(QKeySequence(functionKeys[i]), this);
    connect(shortcut, &QShortcut::activated, key, &QPushButton::click);
    layout->addWidget(key);
    keys_[i] = key;
  }
  window_->installEventFilter(this);
  DockAtBottom();
  show();
}

QPushButton* SoftKeyBar::Key(int index) const {
  return index >= 0 && index < 2 ? keys_[index] : nullptr;
}

bool SoftKeyBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Resize) DockAtBottom();
  return false;
}

void SoftKeyBar::DockAtBottom() {
  setGeometry(0, window_->height() - height_, window_->width(), height_);
  raise();
}

}  // namespace qt

Window CreateSoftKeyBar(Window window, const MenuResource& menu) {
  return qt::HandleOf(new qt::SoftKeyBar(qt::WidgetOf(window), menu, screenMetrics.scale));
}

}  // namespace platform
