// Ending the process on Win32 (platform/process_end.h).
#include "platform/ui_win32/back_end.h"

namespace platform::win32 {

void Win32ProcessEnding::End(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }
void Win32ProcessEnding::EndAtOnce(int exitCode) { ::ExitProcess(static_cast<UINT>(exitCode)); }

}  // namespace platform::win32
