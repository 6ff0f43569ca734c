#include "cli/command_support.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "cli/exit_codes.h"

#include "cli/messages.h"
#include "platform/device_path.h"
#include "platform/files.h"
#include "securefile/container_format.h"
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

FileKind KindOf(Input& input) {
  unsigned char first[8] = {};
  if (input.Peek(first, sizeof first) < 5 || std::memcmp(first, securefile::kMagic, 4) != 0) {
    return FileKind::kNeither;
  }
  // A container's cipher identifier (readers accept 1 to 8), or the first
  // character of a package header's path: a device path, which starts
  // with '\' (or a drive, "C:", where Windows packed it), or "---" while
  // packing runs.
  unsigned char byte = first[4];
  if (byte >= 1 && byte <= 8) return FileKind::kContainer;
  bool drive = ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z') && first[5] == 0 && first[6] == ':' &&
               first[7] == 0;
  return byte == '\\' || byte == '-' || drive ? FileKind::kPackage : FileKind::kNeither;
}

std::string WrongKind(FileKind kind, const std::string& name) {
  return kind == FileKind::kContainer
             ? Quoted(name) + " is an encrypted container: use kva open (kva list shows what it holds)"
             : Quoted(name) + " is a KVA package, not an encrypted container: use kva unpack "
                              "(kva list shows what it holds)";
}

Inspection InspectContainer(Input& input, std::uint32_t offset, bool measure) {
  Inspection inspection;
  if (!input.Pass(offset)) {
    inspection.fileSize = input.Size();
    return inspection;
  }
  if (KindOf(input) == FileKind::kPackage) {
    inspection.isPackage = true;
    inspection.status = HeaderStatus::kBadMagic;
    return inspection;
  }
  std::uint64_t available = UINT64_MAX;
  if (input.SizeKnown()) {
    available = input.Remaining();
  } else if (measure) {
    unsigned char header[securefile::kHeaderSize];
    input.Peek(header, sizeof header);
    available = input.PassToEnd() - offset;
  }
  inspection.status = securefile::ReadContainerHeader(input, available, &inspection.header);
  inspection.fileSize = input.SizeKnown() || measure ? input.Size() : 0;
  return inspection;
}

std::string HeaderProblem(const Inspection& inspection, const std::string& name,
                          std::uint32_t offset) {
  if (inspection.isPackage) return WrongKind(FileKind::kPackage, name);
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

bool ReadHeader(Input& input, std::uint32_t offset, securefile::ContainerHeader* header) {
  Inspection inspection = InspectContainer(input, offset, false);
  if (inspection.status != HeaderStatus::kOk) {
    PrintError(HeaderProblem(inspection, input.Name(), offset));
    return false;
  }
  *header = inspection.header;
  return true;
}

int StartDecryptor(const securefile::ContainerHeader& header, const PasswordSource& source,
                   securefile::ContainerDecryptor* decryptor) {
  std::string error;
  PasswordBytes password;
  if (!ObtainPassword(source, false, &password, &error)) {
    PrintError(error);
    return kExitFailure;
  }
  std::int32_t result = decryptor->Begin(header, password.Data(), password.Length());
  if (result == kResultWrongPassword) {
    PrintError("wrong password");
    return kExitWrongPassword;
  }
  if (result != kResultOk) {
    PrintError("cannot derive the key");
    return kExitFailure;
  }
  return kExitOk;
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

std::string EntryProblem(securefile::UnpackFailure failure, const char16_t* stored) {
  using securefile::UnpackFailure;
  std::string path = Quoted(DisplayPath(stored));
  switch (failure) {
    case UnpackFailure::kNone: return "unpacking failed";
    case UnpackFailure::kNotAPackage: return "this is not a KVA package";
    case UnpackFailure::kNoDestination: return "cannot open the folder " + path;
    case UnpackFailure::kTruncated: return "the package ends early, at " + path;
    case UnpackFailure::kUnsafePath:
      return "refused the entry " + path + ": its path could lead outside the destination";
    case UnpackFailure::kUnterminatedPath:
      return "refused the entry " + Quoted(DisplayPath(stored) + "...") +
             ": its path does not end within its record";
    case UnpackFailure::kPathTooLong: return "the entry " + path + " would need a path of 260 characters or more";
    case UnpackFailure::kCannotCreate: return "cannot create " + path;
    case UnpackFailure::kWriteFailed: return "cannot write " + path + " (is the disk full?)";
    case UnpackFailure::kStopped: return "stopped at " + path;
  }
  return "unpacking failed";
}

std::string UnpackProblem(const securefile::ExtractionTarget& target, const ReplacePolicy& policy) {
  switch (target.failure) {
    case securefile::UnpackFailure::kStopped:
      return policy.Problem();
    case securefile::UnpackFailure::kCannotCreate:
      return "cannot create " + Quoted(DisplayPath(target.failurePath)) + ": " + WhyNotCreated(target);
    default:
      return EntryProblem(target.failure, target.failurePath);
  }
}

bool CheckOutputIsNotSource(const DevicePath& source, const DevicePath& output,
                            const std::string& name) {
  if (!platform::IsSameFile(source.text, output.text)) return true;
  PrintError(Quoted(name) + " is what is being packed; it cannot also be the output");
  return false;
}

bool PlanPackageFor(securefile::PackContext& context, const DevicePath& source, Output& output,
                    const std::string& name, std::uint32_t* entryCount, std::uint64_t* totalBytes) {
  if (!output.IsStandard()) {
    if (!CheckOutputIsNotSource(source, output.Path(), name)) return false;
    securefile::LeaveOutOwnFile(context, output.File());
    securefile::LeaveOutOwnFile(context, output.Path().text);
  }
  if (securefile::PlanPackage(context, source.text, entryCount, totalBytes) != kResultOk) {
    PrintError(PackProblem(context));
    return false;
  }
  return true;
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

bool ReadyTarget(const DevicePath& folder, const std::string& name, const Input& input,
                 ReplacePolicy& policy, platform::OriginMark* origin,
                 securefile::ExtractionTarget* target) {
  policy.BeforeDestination();
  if (!target->destination.IsOpen()) {
    if (securefile::CreatePathFolders(folder.text) != kResultOk) {
      PrintError("cannot create the folder " + Quoted(name) + ": " + LastErrorText());
      return false;
    }
    PrintNote("created " + Quoted(name));
    if (!target->destination.Open(folder.text)) {
      PrintError("cannot open the folder " + Quoted(name) + ": " + LastErrorText());
      return false;
    }
  }
  target->gate = &policy;
  if (!input.IsStandard() && platform::ReadOriginMark(input.Path().text, origin)) {
    target->origin = origin;
  }
  return true;
}

bool TargetPath(const DevicePath& destination, const char16_t* relative, std::u16string* target) {
  *target = destination.text;
  if (target->empty() || target->back() != u'\\') *target += u'\\';
  *target += relative;
  return target->size() < platform::kMaxPath;
}

int EndUnpacking(securefile::ExtractionTarget& target, ReplacePolicy& policy, const std::string& problem,
                 const std::string& destination) {
  // Windows removes no folder that is still open.
  target.destination.Close();
  target.parent.Close();
  policy.ReportKept();
  if (problem.empty()) return kExitOk;
  if (policy.Refused()) {
    std::size_t removed = policy.RemoveWhatWasMade();
    PrintError(problem + (removed == 0 ? std::string()
                                       : "; the " + Count(removed, "file") +
                                             " unpacked before it were removed"));
  } else if (policy.FilesPlaced() == 0) {
    policy.RemoveWhatWasMade();
    PrintError(problem + "; nothing was unpacked");
  } else {
    PrintError(problem + "; what was extracted before stays in " + Quoted(destination));
  }
  return kExitFailure;
}

}  // namespace cli
