// The about box: the program's icon, name and version, and the rights
// notice, full screen; the OK button in its title bar closes it.
#pragma once

#include <QDialog>

namespace app {

class AboutDialog : public QDialog {
 public:
  explicit AboutDialog(QWidget* owner);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Esc is a command the box does not handle
};

// Runs the about box modally; returns 1 for OK, 16 when it was closed.
int OpenAboutDialog(QWidget* owner);

}  // namespace app
