#include <cstdlib>

#include "platform/native.h"
#include "platform/secure_zero.h"
#include "platform/win32/windows_api.h"

namespace platform {

void SecureZero(void* buffer, std::size_t size) { ::SecureZeroMemory(buffer, size); }

namespace native {

bool EncodeWindows1251(const char16_t* text, std::size_t length, unsigned char* out,
                       std::size_t capacity, std::size_t* written) {
  *written = 0;
  if (length == 0) return true;
  // No best fit ('Ä' would become 'A'): a character without its own byte
  // comes out as the default character, and that is reported here.
  BOOL usedDefault = FALSE;
  int count = ::WideCharToMultiByte(1251, WC_NO_BEST_FIT_CHARS, win32::Wide(text),
                                    static_cast<int>(length), reinterpret_cast<char*>(out),
                                    static_cast<int>(capacity), nullptr, &usedDefault);
  if (count <= 0 || usedDefault) {
    SecureZero(out, capacity);
    return false;
  }
  *written = static_cast<std::size_t>(count);
  return true;
}

bool ScreenSize(int* width, int* height) {
  *width = ::GetSystemMetrics(SM_CXSCREEN);
  *height = ::GetSystemMetrics(SM_CYSCREEN);
  return *width > 0 && *height > 0;
}

void Exit(int exitCode) { std::exit(exitCode); }
void ExitAtOnce(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace native
}  // namespace platform
