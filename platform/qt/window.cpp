#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>
#include <vector>

#include "platform/dialog.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/soft_key_bar.h"
#include "platform/qt/ui_thread.h"
#include "platform/qt/window_qt.h"
#include "platform/screen.h"

// The icons are compiled into this library (res/icons.qrc), so they are
// registered by hand, outside any namespace.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace platform {
namespace qt {
namespace {

struct ProcedureHolder {
  WindowProcedure procedure = nullptr;
};

// A window or dialog whose behaviour is a procedure: Qt's events become its
// messages.
template <typename Base>
class ProcedureWidget : public Base, public ProcedureHolder {
 public:
  ProcedureWidget(WindowProcedure windowProcedure, QWidget* parent) : Base(parent) {
    procedure = windowProcedure;
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
      Dispatch(this, Message::kActivate, event->type() == QEvent::WindowActivate ? 1 : 0);
    } else if (event->type() == QEvent::LocaleChange) {
      Dispatch(this, Message::kSettingChange, 0);
    }
    return Base::event(event);
  }

  // The window manager's close button asks; the procedure decides.
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    Dispatch(this, Message::kClose, 0);
  }
};

using ProcedureWindow = ProcedureWidget<QWidget>;

class ProcedureDialog final : public ProcedureWidget<QDialog> {
 public:
  using ProcedureWidget::ProcedureWidget;

 protected:
  void reject() override { Dispatch(this, Message::kCommand, kCommandCancel); }  // Esc
};

std::vector<QPointer<QWidget>> mainWindows;

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

QString IconPath(int id) {
  static const bool registered = (InitIconResources(), true);
  (void)registered;
  return QStringLiteral(":/icons/%1.png").arg(id);
}

void DeleteRemainingWindows() {
  for (QPointer<QWidget>& window : mainWindows) delete window.data();
  mainWindows.clear();
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

Window CreateSoftKeyBar(Window window, const MenuResource& menu) {
  return HandleOf(new qt::SoftKeyBar(WidgetOf(window), menu, screenMetrics.scale));
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

int RunModalDialog(const DialogTemplate& dialogTemplate, Window owner, WindowProcedure procedure) {
  QWidget* ownerWidget = WidgetOf(owner);
  qt::ProcedureDialog dialog(procedure, ownerWidget);
  qt::BuildDialog(&dialog, ownerWidget, dialogTemplate, screenMetrics.scale);
  qt::Dispatch(&dialog, Message::kInitDialog, 0);
  int result = dialog.exec();
  dialog.procedure = nullptr;  // it is over for the program
  return result;
}

void EndModalDialog(Window dialog, int result) {
  if (auto* widget = qobject_cast<QDialog*>(WidgetOf(dialog))) widget->done(result);
}

}  // namespace platform
