#include "cli/paths.h"

#include "cli/messages.h"
#include "platform/device_path.h"

namespace cli {

bool ToDevicePath(const std::string& argument, DevicePath* path, std::string* error) {
  // Arguments are UTF-8 on every host (on Windows kva converts its UTF-16
  // command line); the platform makes them full paths as the host reads
  // them.
  std::string shown = "cannot use " + Quoted(argument) + ": ";
  switch (platform::TypedToDevicePath(argument.c_str(), path->text)) {
    case platform::TypedPathProblem::kNone:
      return true;
    case platform::TypedPathProblem::kEmpty:
      *error = "an empty path was given";
      return false;
    case platform::TypedPathProblem::kNotText:
      *error = shown + "the path is not valid UTF-8";
      return false;
    case platform::TypedPathProblem::kTooLong:
      *error = shown + "the path is longer than 259 characters";
      return false;
    case platform::TypedPathProblem::kBackslashInName:
      *error = shown + "a name holds a backslash";
      return false;
    case platform::TypedPathProblem::kDeviceNamespace:
      *error = shown + "\\\\.\\ names a device, not a file or folder";
      return false;
    case platform::TypedPathProblem::kDotOrSpaceAtEnd:
      *error = shown + "a name ends in a dot or a space, which Windows would drop";
      return false;
    case platform::TypedPathProblem::kCannotResolve:
      *error = shown + "the working folder cannot be found";
      return false;
  }
  return false;
}

}  // namespace cli
