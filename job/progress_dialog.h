// The progress dialog of a run: a notice, the current item and a bar from
// 0 to 100, full screen and modal over the main window. It starts the worker
// when it is created; its cancel command (Esc) ends the process at once.
#pragma once

#include <QDialog>

namespace job {

using WorkerEntry = void (*)(void* dialog);

class ProgressDialog : public QDialog {
 public:
  // Builds dialog 107 over `owner` and starts `worker` on its own thread.
  ProgressDialog(QWidget* owner, WorkerEntry worker);

 protected:
  bool event(QEvent* event) override;
  void reject() override;  // Esc and the close button: the cancel command

 private:
  void OnCommand(int command);
  void StartWorker(WorkerEntry worker);
};

// Opens the progress dialog modally and runs `worker` behind it. In the
// ordinary course the process ends before this returns.
int OpenProgressDialog(QWidget* owner, WorkerEntry worker);

// Waits for the worker thread to finish, if one was started. The
// application calls it before it returns from main.
void JoinWorker();

}  // namespace job
