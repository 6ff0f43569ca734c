// PathPrefix, PathSuffix and CreatePathFolders (securefile/path_helpers.h)
// on arbitrary UTF-16 text.
//
// The input's bytes are UTF-16LE units. The first 259 at most (up to the
// first NUL) form the path, held in a heap buffer of exactly its length plus
// the NUL, and every result goes to a heap buffer of exactly kMaxPath units,
// so AddressSanitizer sees any read or write out of bounds. For every n from
// 0 to one more than the path's backslash count B:
//   - PathPrefix gives the path up to (not including) its (n + 1)-th
//     backslash, 0; with n = B the whole path, 0; with n > B the whole
//     path, -1;
//   - PathSuffix, for 1 <= n <= B, gives the path behind its n-th backslash
//     from the end, 0; for n = 0 or n > B it gives -1 and leaves its output
//     untouched;
//   - both outputs are NUL-terminated inside the buffer;
//   - PathPrefix(k) + "\" + PathSuffix(B - k) is the path, for 0 <= k < B.
// Longer inputs (up to 519 units) are given as they are, to check only that
// the outputs stay in bounds and terminated.
//
// CreatePathFolders runs on "<sandbox>\" + the path (inputs with a ".."
// component are left out: they would legitimately leave the sandbox). It may
// create folders only below the sandbox, only folders, and a success means
// the whole path is a folder; a path of 260 units or more creates nothing.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/device_path.h"
#include "platform/wide_string.h"
#include "securefile/path_helpers.h"
#include "securefile/securefile.h"

namespace fs = std::filesystem;
using platform::kMaxPath;

namespace {

constexpr char16_t kUntouched = 0xBEEF;

// A kMaxPath-unit output buffer filled with kUntouched.
std::unique_ptr<char16_t[]> Output() {
  auto out = std::make_unique<char16_t[]>(kMaxPath);
  std::fill(out.get(), out.get() + kMaxPath, kUntouched);
  return out;
}

// The length of a result, which must end inside the buffer.
std::size_t TerminatedLength(const char16_t* out) {
  const char16_t* end = std::find(out, out + kMaxPath, u'\0');
  CHECK(end != out + kMaxPath);
  return static_cast<std::size_t>(end - out);
}

std::u16string Text(const char16_t* out) { return std::u16string(out, TerminatedLength(out)); }

struct Sandbox {
  fs::path parent;  // <root>/kva-path-fuzz-<pid> (fuzz/fuzz_support.h): holds only box/
  fs::path box;
  std::u16string devicePrefix;  // the box's device path and a backslash
};

const Sandbox& TheSandbox() {
  static const Sandbox sandbox = [] {
    Sandbox made;
    made.parent = SandboxParent("kva-path-fuzz-");
    made.box = made.parent / "box";
    fs::create_directories(made.box);
    made.devicePrefix = DevicePath(made.box) + u"\\";
    return made;
  }();
  return sandbox;
}

bool HasDotDot(const std::u16string& path) {
  std::size_t begin = 0;
  for (;;) {
    std::size_t end = path.find(u'\\', begin);
    std::size_t length = (end == std::u16string::npos ? path.size() : end) - begin;
    if (length == 2 && path[begin] == u'.' && path[begin + 1] == u'.') return true;
    if (end == std::u16string::npos) return false;
    begin = end + 1;
  }
}

void CheckCreatePathFolders(const std::u16string& path) {
  const Sandbox& sandbox = TheSandbox();
  if (HasDotDot(path)) return;
  std::u16string full = sandbox.devicePrefix + path;
  std::int32_t result = securefile::CreatePathFolders(full.c_str());
  CHECK(result == kResultOk || result == kResultFailed);

  // Nothing beside the box; below it, folders only.
  for (const auto& entry : fs::directory_iterator(sandbox.parent)) {
    CHECK(entry.path().filename() == "box");
  }
  bool empty = true;
  for (const auto& entry : fs::recursive_directory_iterator(sandbox.box)) {
    CHECK(fs::is_directory(entry.symlink_status()));
    empty = false;
  }
  if (full.size() >= kMaxPath) {
    CHECK(result == kResultFailed);
    CHECK(empty);
  }
  if (result == kResultOk) {
    char host[platform::kMaxHostPath];
    CHECK(platform::ToHostPath(full.c_str(), host));
    CHECK(fs::is_directory(fs::path(host)));
  }
  if (!empty) {
    fs::remove_all(sandbox.box);
    fs::create_directory(sandbox.box);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  TheSandbox();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char16_t> units(size / 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  std::size_t length = std::find(units.begin(), units.end(), u'\0') - units.begin();

  if (length >= kMaxPath) {
    // Too long for a device path: only bounds and termination are promised.
    length = std::min<std::size_t>(length, 2 * kMaxPath - 1);
    auto path = std::make_unique<char16_t[]>(length + 1);
    std::copy(units.begin(), units.begin() + length, path.get());
    path[length] = u'\0';
    for (std::uint32_t n : {0u, 1u, 2u, 100u, 300u}) {
      auto out = Output();
      securefile::PathPrefix(path.get(), n, out.get());
      TerminatedLength(out.get());
      auto suffix = Output();
      if (securefile::PathSuffix(path.get(), n, suffix.get()) == kResultOk) {
        TerminatedLength(suffix.get());
      }
    }
    CheckCreatePathFolders(std::u16string(path.get(), length));
    return 0;
  }

  auto path = std::make_unique<char16_t[]>(length + 1);
  std::copy(units.begin(), units.begin() + length, path.get());
  path[length] = u'\0';
  const std::u16string text(path.get(), length);

  std::vector<std::size_t> backslashes;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == u'\\') backslashes.push_back(i);
  }
  const std::uint32_t count = static_cast<std::uint32_t>(backslashes.size());

  std::vector<std::u16string> prefixes(count + 1);
  std::vector<std::u16string> suffixes(count + 1);  // [n] for 1 <= n <= count
  for (std::uint32_t n = 0; n <= count + 1; ++n) {
    auto out = Output();
    std::int32_t result = securefile::PathPrefix(path.get(), n, out.get());
    std::u16string prefix = Text(out.get());
    if (n < count) {
      CHECK(result == kResultOk);
      CHECK(prefix == text.substr(0, backslashes[n]));
    } else {
      CHECK(result == (n == count ? kResultOk : kResultFailed));
      CHECK(prefix == text);
    }
    if (n <= count) {
      CHECK(static_cast<std::uint32_t>(std::count(prefix.begin(), prefix.end(), u'\\')) == n);
      prefixes[n] = prefix;
    }

    auto suffixOut = Output();
    result = securefile::PathSuffix(path.get(), n, suffixOut.get());
    if (n == 0 || n > count) {
      CHECK(result == kResultFailed);
      CHECK(std::all_of(suffixOut.get(), suffixOut.get() + kMaxPath,
                        [](char16_t c) { return c == kUntouched; }));
    } else {
      CHECK(result == kResultOk);
      std::u16string suffix = Text(suffixOut.get());
      CHECK(suffix == text.substr(backslashes[count - n] + 1));
      CHECK(static_cast<std::uint32_t>(std::count(suffix.begin(), suffix.end(), u'\\')) == n - 1);
      suffixes[n] = suffix;
    }
  }
  for (std::uint32_t k = 0; k < count; ++k) {
    CHECK(prefixes[k] + u"\\" + suffixes[count - k] == text);
  }

  CheckCreatePathFolders(text);
  return 0;
}
