// The Linux host beneath the shared code (shared/host.h), besides the file
// operations in files.cpp: the code page, the screen, the language, exit;
// and keeping secrets out of dumps.
#include <bit>
#include <cstdlib>
#include <iconv.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include "platform/dump_protection.h"
#include "platform/shared/host.h"

namespace platform {

void KeepSecretsOutOfDumps() {
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  rlimit none{0, 0};
  ::setrlimit(RLIMIT_CORE, &none);
}

}  // namespace platform

namespace platform::host {

bool EncodeWindows1251(const char16_t* text, std::size_t length, unsigned char* out,
                       std::size_t capacity, std::size_t* written) {
  *written = 0;
  const char* from = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  iconv_t converter = ::iconv_open("CP1251", from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  char* in = const_cast<char*>(reinterpret_cast<const char*>(text));
  std::size_t inLeft = length * sizeof(char16_t);
  char* at = reinterpret_cast<char*>(out);
  std::size_t outLeft = capacity;
  std::size_t converted = ::iconv(converter, &in, &inLeft, &at, &outLeft);
  ::iconv_close(converter);
  // converted > 0 would mean characters replaced irreversibly.
  if (converted == static_cast<std::size_t>(-1) || inLeft != 0 || converted != 0) return false;
  *written = capacity - outLeft;
  return true;
}

// The Linux build stands in for the device with a window of its own size.
bool DesktopSize(int*, int*, int*) { return false; }

// LANGUAGE, LC_ALL, LC_MESSAGES and LANG say it.
const char* SystemLanguageName() { return nullptr; }

void Exit(int exitCode) { std::exit(exitCode); }
void ExitAtOnce(int exitCode) { std::_Exit(exitCode); }

}  // namespace platform::host
