// Accelerator table 2 in the message loop: a key combination of the table,
// typed anywhere in the main window, becomes the table's command for the
// main window instead of reaching the focused box (so Ctrl+A opens the
// about box rather than selecting the box's text).
#pragma once

#include <QObject>

#include "platform/resource_types.h"

class QWidget;

namespace app {

class AcceleratorFilter : public QObject {
 public:
  AcceleratorFilter(QWidget* window, const platform::AcceleratorTable& table);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  const platform::AcceleratorTable& table_;
};

}  // namespace app
