#include "cli/paths.h"

#include <filesystem>

#include "platform/device_path.h"

namespace cli {

bool ToDevicePath(const std::string& argument, DevicePath* path, std::string* error) {
  if (argument.empty()) {
    *error = "an empty path was given";
    return false;
  }
  std::error_code failure;
  std::filesystem::path absolute = std::filesystem::absolute(argument, failure);
  if (failure) {
    *error = "cannot resolve '" + argument + "': " + failure.message();
    return false;
  }
  std::string tidy = absolute.lexically_normal().string();
  while (tidy.size() > 1 && tidy.back() == '/') tidy.pop_back();
  if (tidy.find('\\') != std::string::npos) {
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
