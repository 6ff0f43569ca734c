#include "app/accelerators.h"

#include <QKeyEvent>
#include <QWidget>

#include "platform/qt/command_event.h"

namespace app {
namespace {

Qt::KeyboardModifiers ModifiersOf(unsigned modifiers) {
  Qt::KeyboardModifiers result = Qt::NoModifier;
  if ((modifiers & platform::kModifierControl) != 0) result |= Qt::ControlModifier;
  return result;
}

}  // namespace

AcceleratorFilter::AcceleratorFilter(QWidget* window, const platform::AcceleratorTable& table)
    : QObject(window), window_(window), table_(table) {}

bool AcceleratorFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  // Only keys typed in the main window itself; its dialogs have their own.
  if (static_cast<QWidget*>(watched)->window() != window_) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
  for (std::size_t i = 0; i < table_.count; ++i) {
    const platform::Accelerator& entry = table_.entries[i];
    if (key->key() == entry.key && modifiers == ModifiersOf(entry.modifiers)) {
      platform::qt::SendCommand(window_, entry.command);
      return true;
    }
  }
  return false;
}

}  // namespace app
