// The Recycle Bin on Windows (platform/trash.h): the shell's file operation
// with recycling, IFileOperation, or SHFileOperationW where that interface
// cannot delete (Wine). Either way the shell decides: a file the bin cannot
// take (on a network share, too large) it deletes outright, which is what
// the program would do. Whether the file has gone is looked at afterwards.
#include "platform/trash.h"

#include "platform/wide_string.h"
#include "platform/win32/windows_api.h"

#include <objbase.h>  // after <windows.h>
#include <shellapi.h>
#include <shobjidl.h>

namespace platform {
namespace {

using win32::Wide;

bool Gone(const char16_t* path) {
  return ::GetFileAttributesW(Wide(path)) == INVALID_FILE_ATTRIBUTES &&
         ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

void RecycleWithFileOperation(const char16_t* path) {
  HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  IFileOperation* operation = nullptr;
  IShellItem* item = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL,
                                   IID_PPV_ARGS(&operation))) &&
      SUCCEEDED(operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NO_UI | FOFX_RECYCLEONDELETE)) &&
      SUCCEEDED(::SHCreateItemFromParsingName(Wide(path), nullptr, IID_PPV_ARGS(&item))) &&
      SUCCEEDED(operation->DeleteItem(item, nullptr))) {
    operation->PerformOperations();
  }
  if (item != nullptr) item->Release();
  if (operation != nullptr) operation->Release();
  if (SUCCEEDED(apartment)) ::CoUninitialize();
}

void RecycleWithShFileOperation(const char16_t* path) {
  wchar_t from[kMaxPath + 1] = {};  // a list of names, ended by an empty one
  if (!WideCopy(reinterpret_cast<char16_t*>(from), kMaxPath, path)) return;
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from;
  operation.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
  ::SHFileOperationW(&operation);
}

}  // namespace

bool MoveToTrash(const char16_t* path) {
  RecycleWithFileOperation(path);
  if (!Gone(path)) RecycleWithShFileOperation(path);
  return Gone(path);
}

}  // namespace platform
