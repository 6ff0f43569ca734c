// The message-box service: how the library and the job ask the user.
//
// Whoever runs the program installs the implementation that fits it: the
// application shows real dialogs, kva asks on the terminal, tests answer
// from a script. Until one is installed every box is dismissed (answer 0),
// which every caller treats as the cautious choice: not Yes, not OK.
#pragma once

namespace platform {

// Buttons (low nibble) and icon (next nibble), combined with |.
enum MessageBoxStyle : unsigned {
  kButtonsOk = 0x0,
  kButtonsOkCancel = 0x1,
  kButtonsYesNo = 0x4,
  kIconNone = 0x00,
  kIconError = 0x10,
  kIconQuestion = 0x20,
  kIconExclamation = 0x30,
};

inline constexpr unsigned kButtonsMask = 0x0F;
inline constexpr unsigned kIconMask = 0xF0;

// Answers.
enum MessageBoxAnswer : int {
  kAnswerNone = 0,  // the box could not be shown or was dismissed
  kAnswerOk = 1,
  kAnswerCancel = 2,
  kAnswerYes = 6,
  kAnswerNo = 7,
};

class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  // `owner` is the window the box belongs to, or null for none.
  virtual int Show(void* owner, const char16_t* text, const char16_t* caption,
                   unsigned style) = 0;
};

// Installs the service for the whole process (null: dismiss every box).
void SetMessageBoxService(MessageBoxService* service);
MessageBoxService* GetMessageBoxService();

int ShowMessageBox(void* owner, const char16_t* text, const char16_t* caption, unsigned style);

}  // namespace platform
