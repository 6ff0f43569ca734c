// Windows and controls on Qt 6 Widgets.
#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <vector>

#include "platform/screen.h"
#include "platform/ui_qt/back_end.h"
#include "platform/ui_qt/procedure_widget.h"
#include "platform/ui_qt/ui_thread.h"

namespace platform {
namespace qt {
namespace {

using ProcedureWindow = ProcedureWidget<QWidget>;

std::vector<QPointer<QWidget>> mainWindows;

const char* kControlIdProperty = "controlId";

}  // namespace

void Dispatch(QWidget* widget, Message message, std::intptr_t parameter) {
  auto* holder = dynamic_cast<ProcedureHolder*>(widget);
  if (holder != nullptr && holder->procedure != nullptr &&
      holder->procedure(HandleOf(widget), message, parameter)) {
    return;
  }
  if (message != Message::kClose) return;
  if (qobject_cast<QDialog*>(widget) != nullptr) {
    Dispatch(widget, Message::kCommand, kCommandCancel);
  } else {
    Destroy(HandleOf(widget));
  }
}

QString IconPath(int id) { return QStringLiteral(":/icons/%1.png").arg(id); }

void DeleteRemainingWindows() {
  for (QPointer<QWidget>& window : mainWindows) delete window.data();
  mainWindows.clear();
}

void SetControlId(QWidget* control, int id) { control->setProperty(kControlIdProperty, id); }

QWidget* FindControl(QWidget* window, int id) {
  const QList<QWidget*> children = window->findChildren<QWidget*>();
  for (QWidget* child : children) {
    QVariant value = child->property(kControlIdProperty);
    if (value.isValid() && value.toInt() == id) return child;
  }
  return nullptr;
}

void PaintWhite(QWidget* window) {
  window->setAutoFillBackground(true);
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, Qt::white);
  window->setPalette(palette);
}

void CoverDeviceScreen(QWidget* window, QWidget* owner) {
  QSize size(screenMetrics.width, screenMetrics.height);
  if (owner == nullptr) {
    // The window manager places the program's window, so that its title bar
    // stays on the screen (a position of our own would put the window's
    // inside at the corner and its frame above the screen's edge).
    window->resize(size);
    return;
  }
  window->setGeometry(QRect(owner->window()->geometry().topLeft(), size));
}

}  // namespace qt

using qt::HandleOf;
using qt::WidgetOf;

Window CreateMainWindow(const char16_t* className, const char16_t* title, int iconId,
                        WindowProcedure procedure) {
  auto* window = new qt::ProcedureWindow(procedure, nullptr);
  window->setObjectName(QString::fromUtf16(className));
  window->setWindowTitle(QString::fromUtf16(title));
  // The program's icon, for its dialogs and message boxes too.
  QIcon icon(qt::IconPath(iconId));
  window->setWindowIcon(icon);
  QApplication::setWindowIcon(icon);
  qt::PaintWhite(window);
  qt::CoverDeviceScreen(window, nullptr);
  qt::mainWindows.emplace_back(window);
  qt::Dispatch(window, Message::kCreate, 0);
  window->show();
  return HandleOf(window);
}

Window CreateControl(Window parent, ControlKind kind, int id, const char16_t* text,
                     const Rect& rect, std::size_t maxLength) {
  QWidget* owner = WidgetOf(parent);
  QWidget* control = nullptr;
  if (kind == ControlKind::kLabel) {
    control = new QLabel(QString::fromUtf16(text), owner);
  } else if (kind == ControlKind::kButton) {
    auto* button = new QPushButton(QString::fromUtf16(text), owner);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, owner,
                     [owner, id] { qt::Dispatch(owner, Message::kCommand, id); });
    control = button;
  } else {
    auto* box = new QLineEdit(QString::fromUtf16(text), owner);
    if (kind == ControlKind::kPasswordBox) box->setEchoMode(QLineEdit::Password);
    if (maxLength > 0) box->setMaxLength(static_cast<int>(maxLength));
    control = box;
  }
  qt::SetControlId(control, id);
  control->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  control->show();
  return HandleOf(control);
}

Window GetControl(Window window, int id) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return nullptr;
  QWidget* control = nullptr;
  qt::RunOnOwnerThread(widget, [&] { control = qt::FindControl(widget, id); });
  return HandleOf(control);
}

std::size_t GetText(Window window, char16_t* buffer, std::size_t capacity) {
  if (capacity == 0) return 0;
  QWidget* widget = WidgetOf(window);
  QString text;
  if (widget != nullptr) {
    qt::RunOnOwnerThread(widget, [&] {
      if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        text = box->text();
      } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        text = label->text();
      } else {
        text = widget->windowTitle();
      }
    });
  }
  std::size_t length = std::min(static_cast<std::size_t>(text.size()), capacity - 1);
  std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), length, buffer);
  buffer[length] = u'\0';
  return length;
}

void SetText(Window window, const char16_t* text) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return;
  QString value = QString::fromUtf16(text);
  qt::RunOnOwnerThread(widget, [&] {
    if (auto* box = qobject_cast<QLineEdit*>(widget)) {
      box->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      label->setText(value);
    } else {
      widget->setWindowTitle(value);
    }
  });
}

void SetProgressPosition(Window bar, std::uint32_t position) {
  auto* progress = qobject_cast<QProgressBar*>(WidgetOf(bar));
  if (progress == nullptr) return;
  qt::RunOnOwnerThread(progress, [&] {
    // The device's bar clamps a position beyond its range; Qt's would
    // ignore it.
    auto maximum = static_cast<std::uint32_t>(progress->maximum());
    progress->setValue(static_cast<int>(std::min(position, maximum)));
  });
}

void Focus(Window window) { WidgetOf(window)->setFocus(); }

void SendToWindow(Window window, Message message, std::intptr_t parameter) {
  QWidget* widget = WidgetOf(window);
  qt::RunOnOwnerThread(widget, [&] { qt::Dispatch(widget, message, parameter); });
}

void Destroy(Window window) {
  QWidget* widget = WidgetOf(window);
  if (widget == nullptr) return;
  // The procedure hears of it once, and nothing after.
  if (auto* holder = dynamic_cast<qt::ProcedureHolder*>(widget);
      holder != nullptr && holder->procedure != nullptr) {
    WindowProcedure procedure = holder->procedure;
    holder->procedure = nullptr;
    procedure(window, Message::kDestroy, 0);
  }
  widget->hide();
  // Later: this may run inside one of the widget's own signals.
  widget->deleteLater();
}

}  // namespace platform
