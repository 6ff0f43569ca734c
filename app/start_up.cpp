#include "app/start_up.h"

#include <iterator>

#include "app/command_line.h"
#include "app/main_window.h"
#include "job/globals.h"
#include "job/progress_dialog.h"
#include "platform/choosers.h"
#include "platform/device_path.h"
#include "platform/message_box.h"
#include "platform/message_loop.h"
#include "platform/process_entry.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "platform/string_table.h"
#include "platform/wide_format.h"
#include "res/program_strings.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace app {
namespace {

constexpr std::size_t kNameLength = 100;
constexpr std::size_t kTextLength = 128;

constexpr char kHelp[] =
    "usage: tessaron [FILE]\n"
    "Decrypts FILE, a KVA container, and unpacks the files and folders inside it\n"
    "into a folder of your choice. The whole command line is the file's path; without\n"
    "one, a file chooser asks for the file. \"tessaron -- FILE\" takes a FILE that\n"
    "starts with '-'.\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "See tessaron(1).\n";

// An error box of the start, owned by no window; `argument` fills the
// text's placeholder.
void ShowStartError(std::uint32_t textId, const char16_t* argument = u"") {
  char16_t format[kTextLength];
  char16_t text[kTextLength + platform::kMaxPath];
  char16_t caption[kTextLength];
  platform::LoadString(job::instance, textId, format);
  platform::LoadString(job::instance, res::kIdsErrorCaption, caption);
  const char16_t* arguments[] = {argument};
  platform::WideFormat(text, std::size(text), format, arguments, 1);
  platform::ShowMessageBox(nullptr, text, caption, platform::kButtonsOk | platform::kIconError);
}

// The option the user typed: the command line up to its first blank.
void ShowUnknownOption(const char* commandLine) {
  std::size_t length = 0;
  while (commandLine[length] != '\0' && commandLine[length] != ' ') ++length;
  char16_t option[platform::kMaxPath] = {};
  if (length >= platform::kMaxPath ||
      !platform::Utf8ToUtf16(commandLine, length, option, platform::kMaxPath)) {
    option[0] = u'\0';
  }
  ShowStartError(res::kIdsUnknownOption, option);
}

// The desktop's file chooser, for a start without a file: containers
// first, then every file. False when nothing usable was chosen (a path
// that cannot be used has been refused with a box).
bool ChooseContainer(char16_t (&path)[platform::kMaxPath]) {
  char16_t caption[kTextLength];
  char16_t containers[kTextLength];
  char16_t allFiles[kTextLength];
  platform::LoadString(job::instance, res::kIdsChooseFile, caption);
  platform::LoadString(job::instance, res::kIdsContainerFiles, containers);
  platform::LoadString(job::instance, res::kIdsAllFiles, allFiles);
  const platform::FileFilter filters[] = {{containers, u"*.kva"}, {allFiles, u"*"}};
  char16_t chosen[platform::kMaxHostPath];
  if (!platform::ChooseFileToOpen(nullptr, caption, filters, std::size(filters), chosen,
                                  std::size(chosen))) {
    return false;
  }
  if (HostTextToDevice(chosen, platform::WideLength(chosen), path)) return true;
  ShowStartError(res::kIdsBadCommandLine);
  return false;
}

// True when another instance runs: it has come to the front and been
// handed `file`; if it could not be reached, the user hears of the file
// here.
bool GiveWayToRunningInstance(const char16_t* file) {
  char16_t name[kNameLength];
  char16_t className[kNameLength];
  platform::LoadString(job::instance, res::kIdsTitle, name);
  platform::LoadString(job::instance, res::kIdsClassName, className);
  bool told = false;
  if (!platform::ForegroundExistingWindow(className, name, file, &told)) return false;
  if (!told && file[0] != u'\0') ShowOneAtATime(nullptr, file);
  return true;
}

}  // namespace

bool AnswerWithoutWindows(const char* commandLine, int* exitCode) {
  char16_t path[platform::kMaxPath];
  *exitCode = 0;
  switch (ReadCommandLine(commandLine, path)) {
    case CommandLine::kHelp:
      platform::WriteOutput(kHelp);
      return true;
    case CommandLine::kVersion:
      platform::WriteOutput("tessaron " TESSARON_VERSION "\n");
      return true;
    default:
      return false;
  }
}

platform::Window InitInstance() {
  platform::InitShellControls();
  char16_t name[kNameLength];
  char16_t className[kNameLength];
  char16_t title[platform::kMaxPath + kNameLength];
  platform::LoadString(job::instance, res::kIdsTitle, name);
  platform::LoadString(job::instance, res::kIdsClassName, className);
  MainWindowTitle(job::sourcePath, name, title, std::size(title));

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
  int answered = 0;
  if (AnswerWithoutWindows(commandLine, &answered)) return answered;
  switch (ReadCommandLine(commandLine, path)) {
    case CommandLine::kHelp:
    case CommandLine::kVersion:
      return 0;  // answered above
    case CommandLine::kUnknownOption:
      ShowUnknownOption(commandLine);
      return 0;
    case CommandLine::kBadPath:
      ShowStartError(res::kIdsBadCommandLine);
      return 0;
    case CommandLine::kNoFile:
      // A running instance comes to the front; else the user chooses the
      // file, and Cancel ends quietly.
      if (GiveWayToRunningInstance(u"") || !ChooseContainer(path)) return 0;
      break;
    case CommandLine::kFile:
      if (GiveWayToRunningInstance(path)) return 0;
      break;
  }
  // The path without its quotes, the same the destination is derived from.
  platform::WideCopy(job::sourcePath, path);

  // Only the first character of this text: the derivation's folder for an
  // empty command line, which never gets this far.
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
