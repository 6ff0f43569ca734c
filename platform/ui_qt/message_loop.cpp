// The message loop of the user-interface thread on Qt 6 Widgets.
#include "platform/message_loop.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/ui_qt/back_end.h"

namespace platform {
namespace {

bool running = false;

Qt::KeyboardModifiers ModifiersOf(unsigned modifiers) {
  Qt::KeyboardModifiers result = Qt::NoModifier;
  if ((modifiers & kModifierControl) != 0) result |= Qt::ControlModifier;
  return result;
}

// The accelerator table: a key combination of the table, typed anywhere in
// the window itself (its dialogs have their own keys), becomes the table's
// command for the window instead of reaching the focused box (so Ctrl+A is
// not the box's "select all").
class AcceleratorFilter : public QObject {
 public:
  AcceleratorFilter(QWidget* window, const AcceleratorTable& table)
      : window_(window), table_(table) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || window_ == nullptr) {
      return false;
    }
    if (static_cast<QWidget*>(watched)->window() != window_) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    for (std::size_t i = 0; i < table_.count; ++i) {
      const Accelerator& entry = table_.entries[i];
      if (key->key() == entry.key && modifiers == ModifiersOf(entry.modifiers)) {
        qt::Dispatch(window_, Message::kCommand, entry.command);
        return true;
      }
    }
    return false;
  }

 private:
  QPointer<QWidget> window_;
  const AcceleratorTable& table_;
};

}  // namespace

int RunMessageLoop(Window window, const AcceleratorTable* accelerators) {
  std::unique_ptr<AcceleratorFilter> filter;
  if (accelerators != nullptr) {
    filter = std::make_unique<AcceleratorFilter>(qt::WidgetOf(window), *accelerators);
    qApp->installEventFilter(filter.get());
  }
  // The application's own loop: an ending that leaves every loop (see
  // QtProcessEnding) is cleared when it returns, so a later loop runs.
  running = true;
  int exitCode = QApplication::exec();
  running = false;
  return exitCode;
}

void PostQuit(int exitCode) {
  // Outside the loop there is nothing to quit, and Qt would keep the
  // request for the next loop of any kind, a modal dialog's included.
  if (running) QCoreApplication::exit(exitCode);
}

}  // namespace platform
