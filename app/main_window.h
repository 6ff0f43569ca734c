// The program's only form: the password box, the destination folder box
// and the two soft keys.
#pragma once

#include <QWidget>

#include "job/progress_dialog.h"
#include "platform/qt/shell_hooks.h"

class QLineEdit;

namespace app {

class MainWindow : public QWidget {
 public:
  // `worker` runs behind the progress dialog when the user confirms.
  explicit MainWindow(const QString& title, job::WorkerEntry worker);

  QLineEdit* PasswordBox() const { return passwordBox_; }
  QLineEdit* FolderBox() const { return folderBox_; }
  QWidget* MenuBar() const { return menuBar_; }

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnCommand(int command);
  void Confirm();
  void Warn(const char16_t* text);

  job::WorkerEntry worker_;
  QLineEdit* passwordBox_ = nullptr;
  QLineEdit* folderBox_ = nullptr;
  QWidget* menuBar_ = nullptr;
  platform::qt::ShellActivationRecord activation_;
};

}  // namespace app
