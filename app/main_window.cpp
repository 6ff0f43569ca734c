#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <string>

#include "app/about_dialog.h"
#include "app/command_line.h"
#include "app/layout.h"
#include "job/globals.h"
#include "job/menu_bar.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "platform/qt/command_event.h"
#include "platform/qt/dialog_builder.h"
#include "platform/screen.h"
#include "platform/secure_zero.h"
#include "platform/string_table.h"
#include "res/resource_ids.h"

namespace app {
namespace {

constexpr std::size_t kTextLength = 128;
// The password is read into 32 characters, so at most 31 are used; the box
// takes no more, so that what the user typed is what is used.
constexpr std::size_t kPasswordRead = platform::kMaxPasswordCharacters + 1;

QRect ToQRect(const ControlRect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

}  // namespace

MainWindow::MainWindow(const QString& title, job::WorkerEntry worker) : worker_(worker) {
  setWindowTitle(title);
  setAutoFillBackground(true);
  QPalette background = palette();
  background.setColor(QPalette::Window, Qt::white);
  setPalette(background);
  platform::qt::CoverDeviceScreen(this, nullptr);

  activation_ = platform::qt::ShellActivationRecord{};
  activation_.size = sizeof activation_;
  menuBar_ = job::CreateMenuBar(this, res::kMenuSoftKeys);

  char16_t enterPassword[kTextLength];
  char16_t enterFolder[kTextLength];
  platform::LoadString(job::instance, res::kIdsEnterPassword, enterPassword);
  platform::LoadString(job::instance, res::kIdsEnterFolder, enterFolder);

  std::array<ControlRect, 4> rects = MainWindowControlRects(platform::screenMetrics.scale);
  auto* passwordLabel = new QLabel(QString::fromUtf16(enterPassword), this);
  passwordLabel->setGeometry(ToQRect(rects[0]));
  passwordBox_ = new QLineEdit(this);
  passwordBox_->setObjectName(QStringLiteral("passwordBox"));
  passwordBox_->setEchoMode(QLineEdit::Password);
  passwordBox_->setMaxLength(static_cast<int>(kPasswordRead - 1));
  passwordBox_->setGeometry(ToQRect(rects[1]));
  auto* folderLabel = new QLabel(QString::fromUtf16(enterFolder), this);
  folderLabel->setGeometry(ToQRect(rects[2]));
  folderBox_ = new QLineEdit(this);
  folderBox_->setObjectName(QStringLiteral("folderBox"));
  // Nothing typed is ever cut: the box takes no more than a path holds.
  folderBox_->setMaxLength(static_cast<int>(platform::kMaxPath - 1));
  folderBox_->setGeometry(ToQRect(rects[3]));

  folderBox_->setText(platform::qt::HostText(job::destinationFolder));
  passwordBox_->setFocus();
  platform::qt::SetInputPanel(this, platform::qt::InputPanel::kUp);
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == platform::qt::CommandEvent::EventType()) {
    OnCommand(static_cast<platform::qt::CommandEvent*>(event)->Command());
    return true;
  }
  if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
    platform::qt::HandleActivation(this, event->type() == QEvent::WindowActivate, &activation_);
  } else if (event->type() == QEvent::LocaleChange) {
    platform::qt::HandleSettingChange(this, &activation_);
  }
  return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  delete menuBar_;
  menuBar_ = nullptr;
  event->accept();
  QCoreApplication::quit();
}

void MainWindow::OnCommand(int command) {
  switch (command) {
    case res::kCommandOk:
      Confirm();
      break;
    case res::kCommandCancel:
      close();
      break;
    case res::kCommandAbout:
      OpenAboutDialog(this);
      break;
    default:
      break;  // Ctrl+Q and the rest: nothing to do
  }
}

void MainWindow::Warn(const char16_t* text) {
  char16_t caption[kTextLength];
  platform::LoadString(job::instance, res::kIdsHintCaption, caption);
  platform::ShowMessageBox(static_cast<QWidget*>(this), text, caption,
                           platform::kButtonsOk | platform::kIconExclamation);
}

void MainWindow::Confirm() {
  char16_t enterPassword[kTextLength];
  char16_t enterFolder[kTextLength];
  char16_t badCharacter[kTextLength];
  char16_t badPath[kTextLength];
  platform::LoadString(job::instance, res::kIdsEnterPassword, enterPassword);
  platform::LoadString(job::instance, res::kIdsEnterFolder, enterFolder);
  platform::LoadString(job::instance, res::kIdsBadPasswordCharacter, badCharacter);
  platform::LoadString(job::instance, res::kIdsBadCommandLine, badPath);

  QString typed = passwordBox_->text().left(static_cast<qsizetype>(kPasswordRead - 1));
  char16_t password[kPasswordRead] = {};
  auto length = static_cast<std::size_t>(typed.size());
  std::copy_n(reinterpret_cast<const char16_t*>(typed.utf16()), length, password);
  if (length == 0) {
    Warn(enterPassword);
    return;
  }
  std::size_t byteLength = 0;
  platform::PasswordConversion conversion =
      platform::PasswordToCodePage(password, length, job::passwordBytes, &byteLength);
  platform::SecureZero(password, sizeof password);
  if (conversion != platform::PasswordConversion::kOk) {
    // Never a silent substitute: the bytes are what the key comes from.
    Warn(badCharacter);
    return;
  }

  std::string typedFolder = folderBox_->text().toStdString();
  if (typedFolder.empty()) {
    Warn(enterFolder);
    return;
  }
  // A folder that has no device spelling (a backslash in a name) or is too
  // long once made absolute is refused as a path, never cut.
  char16_t folder[platform::kMaxPath];
  if (!HostPathToDevice(typedFolder, folder)) {
    Warn(badPath);
    return;
  }
  platform::WideCopy(job::destinationFolder, folder);

  job::OpenProgressDialog(this, worker_);
  close();
}

}  // namespace app
