// The file and folder choosers on Win32 (platform/choosers.h): the common
// item dialog, IFileOpenDialog, picking a file or (FOS_PICKFOLDERS) a
// folder, in file-system paths only.
#include "platform/choosers.h"

#include <iterator>

#include "platform/ui_win32/back_end.h"
#include "platform/wide_string.h"

#include <objbase.h>  // after <windows.h>
#include <shobjidl.h>

namespace platform {
namespace {

using win32::Wide;

bool RunOpenDialog(Window owner, const char16_t* caption, FILEOPENDIALOGOPTIONS options,
                   const COMDLG_FILTERSPEC* filters, UINT filterCount, const char16_t* start,
                   char16_t* out, std::size_t capacity) {
  HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  IFileOpenDialog* dialog = nullptr;
  bool chosen = false;
  FILEOPENDIALOGOPTIONS current = 0;
  if (SUCCEEDED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&dialog))) &&
      SUCCEEDED(dialog->GetOptions(&current)) &&
      SUCCEEDED(dialog->SetOptions(current | options | FOS_FORCEFILESYSTEM |
                                   FOS_PATHMUSTEXIST))) {
    dialog->SetTitle(Wide(caption));
    if (filterCount > 0) dialog->SetFileTypes(filterCount, filters);
    IShellItem* folder = nullptr;
    if (start != nullptr && start[0] != u'\0' &&
        SUCCEEDED(::SHCreateItemFromParsingName(Wide(start), nullptr, IID_PPV_ARGS(&folder)))) {
      dialog->SetFolder(folder);
      folder->Release();
    }
    IShellItem* result = nullptr;
    if (SUCCEEDED(dialog->Show(win32::HwndOf(owner))) && SUCCEEDED(dialog->GetResult(&result))) {
      PWSTR path = nullptr;
      if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        chosen = WideCopy(out, capacity, reinterpret_cast<const char16_t*>(path));
        ::CoTaskMemFree(path);
      }
      result->Release();
    }
  }
  if (dialog != nullptr) dialog->Release();
  if (SUCCEEDED(apartment)) ::CoUninitialize();
  return chosen;
}

}  // namespace

bool ChooseFileToOpen(Window owner, const char16_t* caption, const FileFilter* filters,
                      std::size_t filterCount, char16_t* path, std::size_t capacity) {
  COMDLG_FILTERSPEC specs[4] = {};
  UINT count = 0;
  for (; count < filterCount && count < std::size(specs); ++count) {
    specs[count] = {Wide(filters[count].name), Wide(filters[count].pattern)};
  }
  return RunOpenDialog(owner, caption, FOS_FILEMUSTEXIST, specs, count, nullptr, path, capacity);
}

bool ChooseFolder(Window owner, const char16_t* caption, char16_t* folder, std::size_t capacity) {
  char16_t start[kMaxPath];
  if (!WideCopy(start, folder)) start[0] = u'\0';
  return RunOpenDialog(owner, caption, FOS_PICKFOLDERS, nullptr, 0, start, folder, capacity);
}

}  // namespace platform
