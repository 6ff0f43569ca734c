#include "job/progress_dialog.h"

#include <system_error>
#include <thread>

#include "job/globals.h"
#include "job/progress_callback.h"
#include "job/soft_keys.h"
#include "job/temporary_package.h"
#include "job/worker.h"
#include "platform/dialog.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/string_table.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace job {
namespace {

std::thread workerThread;

void StartWorker(platform::Window dialog) {
  JoinWorker();  // one run at a time; a thread object is never overwritten
  try {
    workerThread = std::thread(workerEntry, static_cast<void*>(dialog));
  } catch (const std::system_error&) {
    char16_t text[128];
    platform::LoadString(instance, res::kIdsThreadFailed, text);
    // The dialog stays up; only its cancel command ends the process.
    platform::ShowMessageBox(dialog, text, u"Error", platform::kButtonsOk);
  }
}

}  // namespace

WorkerEntry workerEntry = RunWorker;

bool ProgressDialogProcedure(platform::Window dialog, platform::Message message,
                             std::intptr_t parameter) {
  switch (message) {
    case platform::Message::kInitDialog:
      CreateMenuBar(dialog, res::kMenuBlankSoftKeys);
      progressDialog = dialog;
      progressBar = platform::GetControl(dialog, res::kControlProgressBar);
      progressState = ProgressState{};
      platform::SetInputPanel(dialog, platform::InputPanel::kDown);
      StartWorker(dialog);
      return true;
    case platform::Message::kCommand:
      if (parameter != res::kCommandCancel) return false;
      // Whatever the worker is doing: no decrypted data and no password stay.
      WipePassword();
      RemoveTempFileAndEndAtOnce(0);
      return true;
    default:
      return false;
  }
}

int OpenProgressDialog(platform::Window owner) {
  int result = platform::RunModalDialog(*res::FindDialog(res::kDialogProgress), owner,
                                        ProgressDialogProcedure);
  progressDialog = nullptr;
  progressBar = nullptr;
  return result;
}

void JoinWorker() {
  if (workerThread.joinable()) workerThread.join();
}

}  // namespace job
