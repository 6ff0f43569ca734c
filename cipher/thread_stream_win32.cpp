// Each thread's cipher stream on Windows. In a mingw-w64 DLL a thread_local
// object with a destructor crashes at thread exit (libstdc++'s thread-exit
// list is freed twice), so the stream lives in a Win32 TLS slot that DllMain
// empties.
#include "cipher/thread_stream.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace kvacore {
namespace {

DWORD tlsSlot = TLS_OUT_OF_INDEXES;

void FreeThreadStream() {
  if (tlsSlot == TLS_OUT_OF_INDEXES) return;
  DeleteStream(static_cast<Stream*>(::TlsGetValue(tlsSlot)));
  ::TlsSetValue(tlsSlot, nullptr);
}

}  // namespace

Stream* ThreadStream(bool create) {
  if (tlsSlot == TLS_OUT_OF_INDEXES) return nullptr;
  auto* stream = static_cast<Stream*>(::TlsGetValue(tlsSlot));
  if (stream == nullptr && create) {
    stream = NewStream();
    if (stream != nullptr && !::TlsSetValue(tlsSlot, stream)) {
      DeleteStream(stream);
      stream = nullptr;
    }
  }
  return stream;
}

}  // namespace kvacore

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      kvacore::tlsSlot = ::TlsAlloc();
      break;
    case DLL_THREAD_DETACH:
      kvacore::FreeThreadStream();
      break;
    case DLL_PROCESS_DETACH:
      // The thread that unloads the library, or ends the process, has a
      // stream of its own; at process end the others are gone already.
      if (reserved == nullptr) kvacore::FreeThreadStream();
      break;
    default:
      break;
  }
  return TRUE;
}
