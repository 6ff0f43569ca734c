// Message boxes on Qt 6 Widgets (platform/message_box.h).
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "platform/language.h"
#include "platform/ui_qt/back_end.h"
#include "platform/ui_qt/ui_thread.h"

namespace platform::qt {
namespace {

QMessageBox::Icon IconFor(unsigned style) {
  switch (style & kIconMask) {
    case kIconError:
      return QMessageBox::Critical;
    case kIconQuestion:
      return QMessageBox::Question;
    case kIconExclamation:
      return QMessageBox::Warning;
    default:
      return QMessageBox::NoIcon;
  }
}

// The button texts of the system's language, as the device's message boxes
// have them.
struct ButtonTexts {
  QString yes, no, ok, cancel;
};

ButtonTexts ButtonTextsFor(Language language) {
  if (language == Language::kEnglish) {
    return {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("OK"),
            QStringLiteral("Cancel")};
  }
  return {QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("ОК"),
          QStringLiteral("Отмена")};
}

int ShowOnThisThread(QWidget* owner, const QString& text, const QString& caption, unsigned style) {
  QMessageBox box(IconFor(style), caption, text, QMessageBox::NoButton, owner);
  const ButtonTexts buttons = ButtonTextsFor(ResourceLanguage());
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  int firstAnswer = kAnswerOk;
  int secondAnswer = kAnswerNone;
  switch (style & kButtonsMask) {
    case kButtonsYesNo:
      // "Нет" gets a role that Qt does not take for Esc or the close button.
      first = box.addButton(buttons.yes, QMessageBox::YesRole);
      second = box.addButton(buttons.no, QMessageBox::ActionRole);
      firstAnswer = kAnswerYes;
      secondAnswer = kAnswerNo;
      break;
    case kButtonsOkCancel:
      first = box.addButton(buttons.ok, QMessageBox::AcceptRole);
      second = box.addButton(buttons.cancel, QMessageBox::RejectRole);
      secondAnswer = kAnswerCancel;
      break;
    default:
      first = box.addButton(buttons.ok, QMessageBox::AcceptRole);
      break;
  }
  box.setDefaultButton(first);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == first) return firstAnswer;
  if (clicked != nullptr && clicked == second) return secondAnswer;
  return kAnswerNone;
}

}  // namespace

int QtMessageBoxService::Show(void* owner, const char16_t* text, const char16_t* caption,
                              unsigned style) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return kAnswerNone;
  QString boxText = QString::fromUtf16(text);
  QString boxCaption = QString::fromUtf16(caption);
  auto* ownerWidget = static_cast<QWidget*>(owner);
  int answer = kAnswerNone;
  RunOnOwnerThread(application,
                   [&] { answer = ShowOnThisThread(ownerWidget, boxText, boxCaption, style); });
  return answer;
}

}  // namespace platform::qt
