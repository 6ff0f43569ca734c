// The desktop's size and resolution on Win32, apart from the other host
// calls so that only a program that lays out windows (it uses the screen
// metrics) links the graphics library; kva.exe and the tests do not.
#include "platform/shared/host.h"
#include "platform/win32/windows_api.h"

namespace platform::host {

bool DesktopSize(int* width, int* height, int* dotsPerInch) {
  *width = ::GetSystemMetrics(SM_CXFULLSCREEN);
  *height = ::GetSystemMetrics(SM_CYFULLSCREEN);
  HDC screen = ::GetDC(nullptr);
  *dotsPerInch = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return *width > 0 && *height > 0 && *dotsPerInch > 0;
}

}  // namespace platform::host
