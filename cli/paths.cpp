#include "cli/paths.h"

#include <filesystem>

#include "platform/device_path.h"

namespace cli {

namespace fs = std::filesystem;

bool ToDevicePath(const std::string& argument, DevicePath* path, std::string* error) {
  if (argument.empty()) {
    *error = "an empty path was given";
    return false;
  }
  // Arguments are UTF-8 on every host (on Windows kva converts its UTF-16
  // command line); on Linux the bytes pass through as they are.
  std::string tidy;
  std::size_t root = 0;
  try {
    std::error_code failure;
    fs::path absolute = fs::absolute(fs::path(std::u8string(argument.begin(), argument.end())),
                                     failure);
    if (failure) {
      *error = "cannot resolve '" + argument + "': " + failure.message();
      return false;
    }
    fs::path normal = absolute.lexically_normal();
    std::u8string text = normal.u8string();
    tidy.assign(text.begin(), text.end());
    root = normal.root_path().u8string().size();
  } catch (const std::exception&) {
    *error = "cannot use '" + argument + "': the path is not valid UTF-8";
    return false;
  }
  // Trailing separators go, but not the root's own ("/", "C:\").
  while (tidy.size() > (root > 1 ? root : 1) && (tidy.back() == '/' || tidy.back() == platform::kHostSeparator)) {
    tidy.pop_back();
  }
  if (platform::kHostSeparator != '\\' && tidy.find('\\') != std::string::npos) {
    *error = "cannot use '" + argument + "': a name holds a backslash";
    return false;
  }
  if (!platform::ToDevicePath(tidy.c_str(), path->text)) {
    *error = "cannot use '" + argument +
             "': the path is not valid UTF-8 or is longer than 259 characters";
    return false;
  }
  return true;
}

}  // namespace cli
