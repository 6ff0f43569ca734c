// The temporary folder and private temporary files on Win32.
//
// The name comes from GetTempFileNameW, which takes only the first three
// characters of the prefix ("$kva@tmp" gives "$kvXXXX.tmp"): the platform's
// own naming. The file is created, atomically and exclusively, with an
// access list that admits its owner alone, as mode 0600 does on Linux.
#include "platform/temp_files.h"

#include <atomic>

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

using win32::Wide;

// A security descriptor whose protected access list allows the current
// user everything and everyone else nothing (inherited entries included).
class OwnerOnly {
 public:
  bool Build() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD needed = 0;
    bool ok = ::GetTokenInformation(token, TokenUser, user_, sizeof user_, &needed) != 0;
    ::CloseHandle(token);
    if (!ok) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_)->User.Sid;
    auto* acl = reinterpret_cast<PACL>(acl_);
    ok = ::InitializeAcl(acl, sizeof acl_, ACL_REVISION) &&
         ::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
         ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
         ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
         ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return ok;
  }
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  alignas(TOKEN_USER) unsigned char user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  alignas(ACL) unsigned char acl_[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace

bool GetTempFolder(char16_t* folder, std::size_t capacity) {
  wchar_t path[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return false;
  return WideCopy(folder, capacity, reinterpret_cast<const char16_t*>(path));
}

bool CreateTempFile(const char16_t* folder, const char16_t* prefix, char16_t* path) {
  OwnerOnly security;
  if (!security.Build()) return false;
  // A unique number picks the name, so that the file can be created with
  // its access list in one step; taken names are skipped.
  static std::atomic<unsigned> counter{0};
  unsigned seed = static_cast<unsigned>(::GetCurrentProcessId()) * 40503u ^
                  static_cast<unsigned>(::GetTickCount());
  for (int attempt = 0; attempt < 1000; ++attempt) {
    unsigned unique = (seed + counter.fetch_add(1)) & 0xFFFFu;
    if (unique == 0) continue;  // 0 would ask the function to create a file itself
    wchar_t name[MAX_PATH];
    if (::GetTempFileNameW(Wide(folder), Wide(prefix), unique, name) == 0) return false;
    HANDLE handle = ::CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  security.Attributes(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    ::CloseHandle(handle);
    if (!WideCopy(path, kMaxPath, reinterpret_cast<const char16_t*>(name))) {
      ::DeleteFileW(name);
      return false;
    }
    return true;
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return false;
}

}  // namespace platform
