#include "app/start_up.h"

#include "app/command_line.h"
#include "app/main_window.h"
#include "job/globals.h"
#include "job/progress_dialog.h"
#include "platform/message_box.h"
#include "platform/message_loop.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "platform/string_table.h"
#include "res/program_strings.h"
#include "res/resource_ids.h"
#include "res/resources.h"

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

platform::Window InitInstance() {
  platform::InitShellControls();
  char16_t title[kNameLength];
  char16_t className[kNameLength];
  platform::LoadString(job::instance, res::kIdsTitle, title);
  platform::LoadString(job::instance, res::kIdsClassName, className);
  if (platform::ForegroundExistingWindow(className, title)) return nullptr;

  // The soft-key bar sits inside the window's bottom edge, so unlike the
  // device's separate menu bar window it needs no room taken off the window.
  platform::Window window =
      platform::CreateMainWindow(className, title, res::kIconProgram, MainWindowProcedure);
  if (window != nullptr) platform::PublishWindow(window);
  return window;
}

int RunProgram(const char* commandLine) {
  job::instance = res::ProgramInstance();
  char16_t path[platform::kMaxPath];
  // An empty command line is refused too: it names no file to decrypt.
  if (!CommandLineToDevice(commandLine, path)) {
    ShowBadCommandLine();
    return 0;
  }
  // The path without its quotes, the same the destination is derived from.
  platform::WideCopy(job::sourcePath, path);

  // Only the first character of this text: the derivation's folder for an
  // empty command line, which no longer gets this far.
  char16_t fallback[2];
  platform::LoadString(job::instance, res::kIdsDecryptInto, fallback);
  DeriveDestination(path, fallback, job::destinationFolder);

  platform::Window window = InitInstance();
  if (window == nullptr) return 0;

  int exitCode =
      platform::RunMessageLoop(window, res::FindAccelerators(res::kAcceleratorTable));
  job::JoinWorker();
  job::WipePassword();
  return exitCode;
}

}  // namespace app
