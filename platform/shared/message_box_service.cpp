#include "platform/message_box.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<MessageBoxService*> installed{nullptr};
}  // namespace

void SetMessageBoxService(MessageBoxService* service) { installed.store(service); }

MessageBoxService* GetMessageBoxService() { return installed.load(); }

int ShowMessageBox(void* owner, const char16_t* text, const char16_t* caption, unsigned style) {
  MessageBoxService* service = installed.load();
  return service != nullptr ? service->Show(owner, text, caption, style) : kAnswerNone;
}

}  // namespace platform
