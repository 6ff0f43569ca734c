// PathPrefix, PathSuffix, CreatePathFolders on arbitrary UTF-16LE text in
// exactly sized heap buffers (AddressSanitizer sees any access out of
// bounds); outputs end inside theirs. For up to 259 units with B backslashes
// and n up to B + 1: PathPrefix gives the text before the (n + 1)-th
// backslash, or the whole path (0 for n = B, -1 beyond); PathSuffix, for
// 1 <= n <= B, the text after the n-th from the end, else -1, untouched.
// CreatePathFolders below a sandbox (no "..") makes only folders, there, the
// whole path on success, nothing for 260 units or more.
#include <memory>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/device_path.h"
#include "securefile/path_helpers.h"
#include "securefile/securefile.h"

namespace fs = std::filesystem;
using platform::kMaxPath;

namespace {

fs::path box;

// `helper` into a fresh buffer: its result and its output ("-" untouched).
template <typename Helper>
std::pair<std::int32_t, std::u16string> Into(Helper helper) {
  auto out = std::make_unique<char16_t[]>(kMaxPath);
  std::fill(out.get(), out.get() + kMaxPath, char16_t{0xBEEF});
  const std::int32_t result = helper(out.get());
  if (std::all_of(out.get(), out.get() + kMaxPath, [](char16_t c) { return c == 0xBEEF; })) return {result, u"-"};
  char16_t* end = std::find(out.get(), out.get() + kMaxPath, u'\0');
  CHECK(end != out.get() + kMaxPath);
  return {result, std::u16string(out.get(), end)};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  box = Sandbox("kva-path-fuzz-");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < size && (data[i] | data[i + 1]) != 0 && text.size() < 2 * kMaxPath; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  }
  auto path = std::make_unique<char16_t[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), path.get());
  path[text.size()] = u'\0';
  std::vector<std::size_t> at;  // where the backslashes are
  for (std::size_t i = 0; i < text.size(); ++i) if (text[i] == u'\\') at.push_back(i);
  const std::uint32_t count = static_cast<std::uint32_t>(at.size());
  for (std::uint32_t n = 0; n <= count + 1; ++n) {
    const auto prefix = Into([&](char16_t* out) { return securefile::PathPrefix(path.get(), n, out); });
    const auto suffix = Into([&](char16_t* out) { return securefile::PathSuffix(path.get(), n, out); });
    if (text.size() >= kMaxPath) continue;  // bounds and termination only
    CHECK(prefix == (n < count ? std::pair{kResultOk, text.substr(0, at[n])}
                               : std::pair{n == count ? kResultOk : kResultFailed, text}));
    CHECK(suffix == (n == 0 || n > count ? std::pair{kResultFailed, std::u16string(u"-")}
                                         : std::pair{kResultOk, text.substr(at[count - n] + 1)}));
  }
  for (std::size_t begin = 0; begin <= text.size(); begin = std::min(text.find(u'\\', begin), text.size()) + 1) {
    if (text.compare(begin, std::min(text.find(u'\\', begin), text.size()) - begin, u"..") == 0) return 0;
  }
  const std::u16string full = DevicePath(box) + u"\\" + text;
  const std::int32_t result = securefile::CreatePathFolders(full.c_str());
  bool empty = true;
  for (const auto& entry : fs::recursive_directory_iterator(box)) {
    CHECK(fs::is_directory(entry.symlink_status()));
    empty = false;
  }
  char host[platform::kMaxHostPath];
  CHECK(result == kResultFailed ||
        (full.size() < kMaxPath && platform::ToHostPath(full.c_str(), host) && fs::is_directory(host)));
  CHECK(full.size() < kMaxPath || empty);
  for (const auto& entry : fs::directory_iterator(box.parent_path())) CHECK(entry.path() == box);
  if (!empty) fs::remove_all(box), fs::create_directory(box);
  return 0;
}
