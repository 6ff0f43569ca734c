#include "platform/qt/soft_key_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>

#include "platform/qt/window_qt.h"

namespace platform::qt {

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

}  // namespace platform::qt
