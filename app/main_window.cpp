#include "app/main_window.h"

#include <array>
#include <string>

#include "app/about_dialog.h"
#include "app/command_line.h"
#include "app/layout.h"
#include "job/globals.h"
#include "job/progress_dialog.h"
#include "job/soft_keys.h"
#include "platform/code_page.h"
#include "platform/choosers.h"
#include "platform/device_path.h"
#include "platform/message_box.h"
#include "platform/message_loop.h"
#include "platform/screen.h"
#include "platform/secure_zero.h"
#include "platform/shell.h"
#include "platform/string_table.h"
#include "platform/wide_format.h"
#include "res/resource_ids.h"

namespace app {
namespace {

using platform::Message;
using platform::Window;

constexpr std::size_t kTextLength = 128;
// The password is read into 32 characters, so at most 31 are used; the box
// takes no more, so that what the user typed is what is used.
constexpr std::size_t kPasswordRead = platform::kMaxPasswordCharacters + 1;

Window menuBar = nullptr;
platform::ShellActivationRecord activation;

void Create(Window window) {
  activation = platform::ShellActivationRecord{};
  activation.size = sizeof activation;
  menuBar = job::CreateMenuBar(window, res::kMenuSoftKeys);

  char16_t enterPassword[kTextLength];
  char16_t enterFolder[kTextLength];
  platform::LoadString(job::instance, res::kIdsEnterPassword, enterPassword);
  platform::LoadString(job::instance, res::kIdsEnterFolder, enterFolder);
  char16_t browse[kTextLength];
  platform::LoadString(job::instance, res::kIdsBrowse, browse);
  std::array<platform::Rect, 5> rects = MainWindowControlRects(platform::screenMetrics.scale);
  platform::CreateControl(window, platform::ControlKind::kLabel, res::kControlLabel,
                          enterPassword, rects[0], 0);
  Window passwordBox =
      platform::CreateControl(window, platform::ControlKind::kPasswordBox,
                              res::kControlPasswordBox, u"", rects[1], kPasswordRead - 1);
  platform::CreateControl(window, platform::ControlKind::kLabel, res::kControlLabel,
                          enterFolder, rects[2], 0);
  // Nothing typed is ever cut: the box takes no more than a path holds.
  Window folderBox =
      platform::CreateControl(window, platform::ControlKind::kTextBox, res::kControlFolderBox,
                              u"", rects[3], platform::kMaxPath - 1);
  // The desktop's folder chooser, for the box beside it; Tab reaches it.
  platform::CreateControl(window, platform::ControlKind::kButton, res::kControlBrowse, browse,
                          rects[4], 0);

  char16_t shown[platform::kMaxHostPath];
  platform::HostPathForDisplay(job::destinationFolder, shown);
  platform::SetText(folderBox, shown);
  platform::Focus(passwordBox);
  platform::SetInputPanel(window, platform::InputPanel::kUp);
}

void Warn(Window window, std::uint32_t textId) {
  char16_t text[kTextLength];
  char16_t caption[kTextLength];
  platform::LoadString(job::instance, textId, text);
  platform::LoadString(job::instance, res::kIdsHintCaption, caption);
  platform::ShowMessageBox(window, text, caption,
                           platform::kButtonsOk | platform::kIconExclamation);
}

// The left soft key: the password into the device's code page, the folder
// as an absolute device path, then the run.
void Confirm(Window window) {
  char16_t password[kPasswordRead] = {};
  std::size_t length = platform::GetText(platform::GetControl(window, res::kControlPasswordBox),
                                         password, kPasswordRead);
  if (length == 0) {
    Warn(window, res::kIdsEnterPassword);
    return;
  }
  std::size_t byteLength = 0;
  platform::PasswordConversion conversion =
      platform::PasswordToCodePage(password, length, job::passwordBytes, &byteLength);
  platform::SecureZero(password, sizeof password);
  if (conversion != platform::PasswordConversion::kOk) {
    // Never a silent substitute: the bytes are what the key comes from.
    Warn(window, res::kIdsBadPasswordCharacter);
    return;
  }

  char16_t typed[platform::kMaxPath];
  length = platform::GetText(platform::GetControl(window, res::kControlFolderBox), typed,
                             platform::kMaxPath);
  if (length == 0) {
    Warn(window, res::kIdsEnterFolder);
    return;
  }
  // A folder that has no device spelling (a backslash in a name) or is too
  // long once made absolute is refused as a path, never cut.
  char16_t folder[platform::kMaxPath];
  if (!HostTextToDevice(typed, length, folder)) {
    Warn(window, res::kIdsBadCommandLine);
    return;
  }
  platform::WideCopy(job::destinationFolder, folder);

  job::OpenProgressDialog(window);
  platform::SendToWindow(window, Message::kClose);
}

// The folder button: the desktop's folder chooser, starting at the folder
// in the box, puts its choice there. A folder too long for the box is
// refused rather than cut.
void ChooseDestination(Window window) {
  Window box = platform::GetControl(window, res::kControlFolderBox);
  char16_t folder[platform::kMaxHostPath];
  platform::GetText(box, folder, platform::kMaxPath);
  char16_t caption[kTextLength];
  platform::LoadString(job::instance, res::kIdsChooseFolder, caption);
  if (platform::ChooseFolder(window, caption, folder, platform::kMaxHostPath)) {
    if (platform::WideLength(folder) < platform::kMaxPath) {
      platform::SetText(box, folder);
    } else {
      Warn(window, res::kIdsBadCommandLine);
    }
  }
  platform::Focus(box);
}

}  // namespace

void ShowOneAtATime(Window owner, const char16_t* file) {
  char16_t format[kTextLength];
  char16_t caption[kTextLength];
  char16_t shown[platform::kMaxHostPath];
  char16_t text[kTextLength + platform::kMaxHostPath];
  platform::LoadString(job::instance, res::kIdsOneAtATime, format);
  platform::LoadString(job::instance, res::kIdsHintCaption, caption);
  platform::HostPathForDisplay(file, shown);
  const char16_t* arguments[] = {shown};
  platform::WideFormat(text, std::size(text), format, arguments, 1);
  platform::ShowMessageBox(owner, text, caption, platform::kButtonsOk | platform::kIconExclamation);
}

bool MainWindowProcedure(Window window, Message message, std::intptr_t parameter) {
  switch (message) {
    case Message::kCreate:
      Create(window);
      return true;
    case Message::kDestroy:
      platform::Destroy(menuBar);
      menuBar = nullptr;
      platform::PostQuit(0);
      return true;
    case Message::kActivate:
      platform::HandleActivation(window, parameter != 0, &activation);
      return true;
    case Message::kSettingChange:
      platform::HandleSettingChange(window, &activation);
      return true;
    case Message::kCopyData: {
      // Another start with a file: this run goes on, and its frontmost
      // window (the progress dialog during the run) says what was not taken.
      auto* file = reinterpret_cast<const char16_t*>(parameter);
      if (!platform::WideEqual(file, job::sourcePath)) {
        ShowOneAtATime(job::progressDialog != nullptr ? job::progressDialog : window, file);
      }
      return true;
    }
    case Message::kCommand:
      switch (parameter) {
        case res::kCommandOk:
          Confirm(window);
          return true;
        case res::kCommandCancel:
          platform::SendToWindow(window, Message::kClose);
          return true;
        case res::kCommandAbout:
          OpenAboutDialog(window);
          return true;
        case res::kControlBrowse:
          ChooseDestination(window);
          return true;
        default:
          return false;  // Ctrl+Q and the rest: nothing to do
      }
    default:
      return false;
  }
}

}  // namespace app
