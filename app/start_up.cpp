#include "app/start_up.h"

#include <QApplication>
#include <memory>

#include "app/accelerators.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "job/globals.h"
#include "job/progress_dialog.h"
#include "job/worker.h"
#include "platform/message_box.h"
#include "platform/qt/single_instance.h"
#include "platform/string_table.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "res/string_table.h"

namespace app {
namespace {

constexpr std::size_t kNameLength = 100;
constexpr std::size_t kTextLength = 128;

void ShowBadCommandLine() {
  char16_t text[kTextLength];
  char16_t caption[kTextLength];
  platform::LoadString(job::instance, res::kIdsBadCommandLine, text);
  platform::LoadString(job::instance, res::kIdsErrorCaption, caption);
  platform::ShowMessageBox(nullptr, text, caption, platform::kButtonsOk | platform::kIconError);
}

}  // namespace

void InstallAccelerators(QWidget* window) {
  const platform::AcceleratorTable* accelerators = res::FindAccelerators(res::kAcceleratorTable);
  if (accelerators != nullptr) {
    // Owned by the window, so it goes with it.
    qApp->installEventFilter(new AcceleratorFilter(window, *accelerators));
  }
}

MainWindow* InitInstance(job::WorkerEntry worker) {
  platform::qt::InitShellControls();
  char16_t title[kNameLength];
  char16_t className[kNameLength];
  platform::LoadString(job::instance, res::kIdsTitle, title);
  platform::LoadString(job::instance, res::kIdsClassName, className);
  if (platform::qt::ForegroundExistingWindow(className, title)) return nullptr;

  auto* window = new MainWindow(QString::fromUtf16(title), worker);
  platform::qt::PublishWindow(window);
  QApplication::setWindowIcon(QIcon(QString::fromUtf8(res::FindIconPath(res::kIconProgram))));
  // The soft-key bar sits inside the window's bottom edge (see
  // SoftKeyBar), so unlike the device's separate menu bar window it needs
  // no room taken off the window.
  window->show();
  return window;
}

int RunProgram(int argumentCount, char** arguments) {
  job::instance = res::ProgramInstance();
  char16_t commandLine[platform::kMaxPath];
  // An empty command line is refused too: it names no file to decrypt.
  if (!CommandLineFromArguments(argumentCount, arguments, commandLine)) {
    ShowBadCommandLine();
    return 0;
  }
  // The path without its quotes, the same the destination is derived from.
  platform::WideCopy(job::sourcePath, commandLine);

  // Only the first character of this text: the derivation's folder for an
  // empty command line, which no longer gets this far.
  char16_t fallback[2];
  platform::LoadString(job::instance, res::kIdsDecryptInto, fallback);
  DeriveDestination(commandLine, fallback, job::destinationFolder);

  std::unique_ptr<MainWindow> window(InitInstance(job::RunWorker));
  if (window == nullptr) return 0;

  InstallAccelerators(window.get());
  int exitCode = QApplication::exec();
  job::JoinWorker();
  job::WipePassword();
  return exitCode;
}

}  // namespace app
