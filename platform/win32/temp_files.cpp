// The temporary folder on Win32. (Scratch files in it: File::CreateScratch
// in files.cpp.)
#include "platform/temp_files.h"

#include "platform/win32/windows_api.h"

namespace platform {

bool GetTempFolder(char16_t* folder, std::size_t capacity) {
  wchar_t path[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return false;
  return WideCopy(folder, capacity, reinterpret_cast<const char16_t*>(path));
}

}  // namespace platform
