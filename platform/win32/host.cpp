// The Windows host beneath the shared code (shared/host.h), besides the
// file operations in files.cpp and the desktop in desktop.cpp: the code
// page, the language, exit, wiping memory and keeping it out of dumps.
#include <cstdlib>

#include "platform/dump_protection.h"
#include "platform/secure_zero.h"
#include "platform/shared/host.h"
#include "platform/win32/windows_api.h"

namespace platform {

void SecureZero(void* buffer, std::size_t size) { ::SecureZeroMemory(buffer, size); }

void KeepSecretsOutOfDumps() {
  // No fault dialog (which waits, the process and its memory intact, for
  // someone to attach a debugger or send a report), and reports without
  // the heap, where passwords and plaintext live. WerSetFlags is looked up:
  // it is not everywhere the program runs.
  ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  using SetFlags = HRESULT(WINAPI*)(DWORD);
  constexpr DWORD kReportWithoutHeap = 1;  // WER_FAULT_REPORTING_FLAG_NOHEAP
  auto werSetFlags = reinterpret_cast<SetFlags>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "WerSetFlags")));
  if (werSetFlags != nullptr) werSetFlags(kReportWithoutHeap);
}

namespace host {

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

const char* SystemLanguageName() {
  static char name[16];
  wchar_t wide[16] = {};
  LCID locale = MAKELCID(::GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (::GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, wide, 16) <= 0) return nullptr;
  std::size_t i = 0;
  for (; i + 1 < sizeof name && wide[i] != L'\0' && wide[i] < 0x80; ++i) {
    name[i] = static_cast<char>(wide[i]);
  }
  name[i] = '\0';
  return name;
}

void Exit(int exitCode) { std::exit(exitCode); }
void ExitAtOnce(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace host
}  // namespace platform
