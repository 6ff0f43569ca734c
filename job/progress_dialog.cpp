#include "job/progress_dialog.h"

#include <QProgressBar>
#include <system_error>
#include <thread>

#include "job/globals.h"
#include "job/menu_bar.h"
#include "job/progress.h"
#include "job/temp_file.h"
#include "platform/message_box.h"
#include "platform/qt/command_event.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/shell_hooks.h"
#include "platform/screen.h"
#include "platform/string_table.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace job {
namespace {

std::thread workerThread;

}  // namespace

ProgressDialog::ProgressDialog(QWidget* owner, WorkerEntry worker) : QDialog(owner) {
  const platform::DialogTemplate* dialogTemplate = res::FindDialog(res::kDialogProgress);
  platform::qt::BuildDialog(this, owner, *dialogTemplate, platform::screenMetrics.scale,
                            res::FindIconPath);
  CreateMenuBar(this, res::kMenuBlankSoftKeys);

  progressDialog = this;
  progressBar =
      qobject_cast<QProgressBar*>(platform::qt::FindDialogItem(this, res::kControlProgressBar));
  progressBar->setRange(0, 100);
  progressBar->setValue(0);
  progressState = ProgressState{};
  platform::qt::SetInputPanel(this, platform::qt::InputPanel::kDown);
  StartWorker(worker);
}

void ProgressDialog::StartWorker(WorkerEntry worker) {
  JoinWorker();  // one run at a time; a thread object is never overwritten
  try {
    // Handles travel as void*, always of the QWidget itself.
    workerThread = std::thread(worker, static_cast<void*>(static_cast<QWidget*>(this)));
  } catch (const std::system_error&) {
    char16_t text[128];
    platform::LoadString(instance, res::kIdsThreadFailed, text);
    // The dialog stays up; only its cancel command ends the process.
    platform::ShowMessageBox(static_cast<QWidget*>(this), text, u"Error", platform::kButtonsOk);
  }
}

bool ProgressDialog::event(QEvent* event) {
  if (event->type() == platform::qt::CommandEvent::EventType()) {
    OnCommand(static_cast<platform::qt::CommandEvent*>(event)->Command());
    return true;
  }
  return QDialog::event(event);
}

void ProgressDialog::reject() { OnCommand(res::kCommandCancel); }

void ProgressDialog::OnCommand(int command) {
  if (command != res::kCommandCancel) return;
  // Whatever the worker is doing: no decrypted data and no password stay.
  WipePassword();
  RemoveTempFileAndEndAtOnce(0);
}

int OpenProgressDialog(QWidget* owner, WorkerEntry worker) {
  ProgressDialog dialog(owner, worker);
  int result = dialog.exec();
  progressDialog = nullptr;
  progressBar = nullptr;
  return result;
}

void JoinWorker() {
  if (workerThread.joinable()) workerThread.join();
}

}  // namespace job
