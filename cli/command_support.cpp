#include "cli/command_support.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/messages.h"
#include "platform/device_path.h"
#include "platform/files.h"
#include "securefile/path_helpers.h"

namespace cli {

using securefile::HeaderStatus;

bool ResolvePath(const std::string& argument, DevicePath* path) {
  std::string error;
  if (ToDevicePath(argument, path, &error)) return true;
  PrintError(error);
  return false;
}

bool CheckInputFile(const DevicePath& path, const std::string& name, std::uint64_t* size) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(path.text, &attributes)) {
    PrintError("cannot read " + Quoted(name) + ": " + LastErrorText());
    return false;
  }
  if (attributes.isFolder) {
    PrintError(Quoted(name) + " is a folder");
    return false;
  }
  *size = attributes.size;
  return true;
}

std::string DisplayPath(const char16_t* devicePath) {
  char host[platform::kMaxHostPath];
  if (platform::ToHostPath(devicePath, host)) return host;
  // Not mappable (it holds '/'): show it as stored, separators and all.
  if (platform::Utf16ToUtf8(devicePath, platform::WideLength(devicePath), host, sizeof host)) {
    return host;
  }
  return "(a path that is not valid text)";
}

const char* CipherName(int identifier) {
  switch (identifier) {
    case 1: return "AES-128-CFB";
    case 2: return "DES-EDE3-CBC";
    case 3: return "AES-128-CBC";
    default: return "not known to this version";
  }
}

Inspection InspectContainer(const DevicePath& path, std::uint32_t offset) {
  Inspection inspection;
  platform::FileAttributes attributes;
  platform::File file;
  if (!platform::GetFileAttributes(path.text, &attributes) || !file.OpenRead(path.text)) {
    return inspection;
  }
  inspection.fileSize = attributes.size;
  if (offset > attributes.size || (offset != 0 && !file.Seek(offset))) return inspection;
  securefile::FileReader reader(file);
  inspection.status =
      securefile::ReadContainerHeader(reader, attributes.size - offset, &inspection.header);
  return inspection;
}

std::string HeaderProblem(const Inspection& inspection, const std::string& name,
                          std::uint32_t offset) {
  switch (inspection.status) {
    case HeaderStatus::kOk:
      return "";
    case HeaderStatus::kReadFailed:
      return offset > inspection.fileSize
                 ? "offset " + std::to_string(offset) + " is beyond the end of " + Quoted(name)
                 : "cannot read " + Quoted(name);
    case HeaderStatus::kBadMagic:
      return Quoted(name) + " is not a KVA container" +
             (offset != 0 ? " at offset " + std::to_string(offset) : std::string());
    case HeaderStatus::kBadCipher:
      return Quoted(name) + " names an unknown cipher; the file may be damaged";
    case HeaderStatus::kTruncated:
      return Quoted(name) + " is truncated: it ends before the ciphertext its header announces";
  }
  return "";
}

std::string PackProblem(const securefile::PackContext& context) {
  using securefile::PackFailure;
  std::string path = Quoted(DisplayPath(context.failurePath));
  switch (context.failure) {
    case PackFailure::kNone: return "packing failed";
    case PackFailure::kNoSource: return "cannot read " + path + ": " + std::strerror(ENOENT);
    case PackFailure::kNoAttributes: return path + " vanished or cannot be examined";
    case PackFailure::kFolderUnreadable: return "cannot list the folder " + path;
    case PackFailure::kUnrepresentableName:
      return "the folder " + path +
             " holds a name with a backslash or invalid UTF-8, which a package cannot store";
    case PackFailure::kPathTooLong:
      return "a path below " + path + " is 260 characters or longer, which a package cannot store";
    case PackFailure::kFileTooLarge: return path + " is 4 GiB or larger; a package entry holds less";
    case PackFailure::kTooMuchContent: return "the files add up to 4 GiB or more; a package holds less";
    case PackFailure::kFileChanged: return path + " changed while it was being packed";
    case PackFailure::kTreeChanged: return path + " changed while it was being sealed";
    case PackFailure::kCancelled: return "cancelled at " + path;
    case PackFailure::kReadFailed: return "cannot read " + path;
    case PackFailure::kWriteFailed: return "cannot write the package (is the disk full?)";
    case PackFailure::kNotAPackage: return path + " is not a KVA package";
    case PackFailure::kPackageIsSource: return "the package " + path + " would be written over what it packs";
    case PackFailure::kBadRoot:
      return path + " cannot be packed: a package's root must be a file or folder with a name";
  }
  return "packing failed";
}

namespace {

// Why an entry could not be created: a name this host cannot hold (checked
// first, whatever the system answered), a link in the way, or the system's
// own reason.
std::string WhyNotCreated(const securefile::ExtractionTarget& target) {
  std::size_t skip = platform::WideLength(target.destinationFolder);
  std::u16string relative(target.failurePath + std::min(skip, platform::WideLength(target.failurePath)));
  for (std::size_t begin = 0; begin <= relative.size();) {
    std::size_t end = relative.find(u'\\', begin);
    if (end == std::u16string::npos) end = relative.size();
    std::u16string name = relative.substr(begin, end - begin);
    std::string shown = Quoted(DisplayPath(name.c_str()));
    switch (name.empty() ? platform::NameProblem::kNone : platform::CheckName(name.c_str())) {
      case platform::NameProblem::kDeviceName:
        return shown + " is the name of a device on Windows";
      case platform::NameProblem::kDotOrSpaceAtEnd:
        return shown + " ends in a dot or a space, which Windows drops";
      case platform::NameProblem::kForbiddenCharacter:
        return shown + " holds a character Windows names cannot hold";
      case platform::NameProblem::kEmpty:
      case platform::NameProblem::kNone:
        break;
    }
    begin = end + 1;
  }
  if (target.error == platform::LinkNotFollowedError()) return "a link is in the way";
  return ErrorText(target.error);
}

}  // namespace

std::string UnpackProblem(const securefile::ExtractionTarget& target) {
  using securefile::UnpackFailure;
  std::string path = Quoted(DisplayPath(target.failurePath));
  switch (target.failure) {
    case UnpackFailure::kNone: return "unpacking failed";
    case UnpackFailure::kNotAPackage: return "this is not a KVA package";
    case UnpackFailure::kNoDestination: return "cannot open the folder " + path;
    case UnpackFailure::kTruncated: return "the package ends early, at " + path;
    case UnpackFailure::kUnsafePath:
      return "refused the entry " + path + ": its path could lead outside the destination";
    case UnpackFailure::kUnterminatedPath:
      return "refused the entry " + Quoted(DisplayPath(target.failurePath) + "...") +
             ": its path does not end within its record";
    case UnpackFailure::kPathTooLong: return "the entry " + path + " would need a path of 260 characters or more";
    case UnpackFailure::kCannotCreate:
      return "cannot create " + path + ": " + WhyNotCreated(target);
    case UnpackFailure::kWriteFailed: return "cannot write " + path + " (is the disk full?)";
  }
  return "unpacking failed";
}

bool CheckOutputIsNotSource(const DevicePath& source, const DevicePath& output,
                            const std::string& name) {
  if (!platform::IsSameFile(source.text, output.text)) return true;
  PrintError(Quoted(name) + " is what is being packed; it cannot also be the output");
  return false;
}

bool OpenExistingDestination(const DevicePath& folder, const std::string& name,
                             platform::Folder* opened) {
  platform::FileAttributes attributes;
  if (!platform::GetFileAttributes(folder.text, &attributes)) return true;
  if (!attributes.isFolder) {
    PrintError(Quoted(name) + " exists and is not a folder");
    return false;
  }
  if (opened->Open(folder.text)) return true;
  PrintError("cannot open the folder " + Quoted(name) + ": " + LastErrorText());
  return false;
}

bool CreateDestination(const DevicePath& folder, const std::string& name, platform::Folder* opened) {
  if (securefile::CreatePathFolders(folder.text) != kResultOk) {
    PrintError("cannot create the folder " + Quoted(name) + ": " + LastErrorText());
    return false;
  }
  PrintNote("created " + Quoted(name));
  if (opened->Open(folder.text)) return true;
  PrintError("cannot open the folder " + Quoted(name) + ": " + LastErrorText());
  return false;
}

}  // namespace cli
