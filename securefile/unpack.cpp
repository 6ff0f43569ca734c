#include "securefile/unpack.h"

#include <algorithm>

#include "platform/secure_zero.h"
#include "platform/wide_string.h"
#include "securefile/container_format.h"
#include "securefile/open_file_operations.h"
#include "securefile/package_reader.h"
#include "securefile/path_helpers.h"

namespace securefile {
namespace {

std::int32_t Fail(ExtractionTarget& target, UnpackFailure failure, const char16_t* path) {
  target.error = platform::LastError();
  target.failure = failure;
  platform::WideCopy(target.failurePath, path);
  return kResultFailed;
}

bool IsSafeComponent(const char16_t* begin, const char16_t* end) {
  std::size_t length = static_cast<std::size_t>(end - begin);
  if (length == 0) return false;
  if (begin[0] == u'.' && (length == 1 || (length == 2 && begin[1] == u'.'))) return false;
  for (const char16_t* at = begin; at != end; ++at) {
    if (*at == u'/') return false;
  }
  return true;
}

// Opens (creating them when `create`) the folders of `relative` below the
// destination, one component at a time and never through a link, and
// leaves the last one open in *folder.
bool WalkFolders(ExtractionTarget& target, const char16_t* relative, bool create,
                 platform::Folder* folder) {
  char16_t name[platform::kMaxPath];
  platform::Folder current;
  const platform::Folder* at = &target.destination;
  const char16_t* begin = relative;
  for (;;) {
    const char16_t* end = begin;
    while (*end != u'\0' && *end != u'\\') ++end;
    std::size_t length = static_cast<std::size_t>(end - begin);
    std::copy(begin, end, name);
    name[length] = u'\0';
    platform::Folder next;
    if (!next.OpenChild(*at, name, create)) return false;
    current = std::move(next);
    at = &current;
    if (*end == u'\0') break;
    begin = end + 1;
  }
  *folder = std::move(current);
  return true;
}

// The folder that will hold the file `relative` (its parent, the
// destination itself for a top-level name), reusing the one kept open.
const platform::Folder* ParentFolder(ExtractionTarget& target, const char16_t* relative,
                                     const char16_t** name) {
  std::size_t cut = platform::WideLength(relative);
  while (cut > 0 && relative[cut - 1] != u'\\') --cut;
  *name = relative + cut;
  if (cut == 0) return &target.destination;

  char16_t parent[platform::kMaxPath];
  for (std::size_t i = 0; i + 1 < cut; ++i) parent[i] = relative[i];
  parent[cut - 1] = u'\0';
  if (target.parentOpen && platform::WideEqual(parent, target.parentRelative)) {
    return &target.parent;
  }
  target.parentOpen = false;
  // The parent is not created here: an earlier folder entry must have made it.
  if (!WalkFolders(target, parent, false, &target.parent)) return nullptr;
  platform::WideCopy(target.parentRelative, parent);
  target.parentOpen = true;
  return &target.parent;
}

}  // namespace

std::int32_t SafeRelativePath(const PackageRecord& record, char16_t* relative) {
  std::uint64_t components = std::uint64_t{record.third} + 1;
  if (components > platform::kMaxPath) return kResultFailed;
  if (PathSuffix(record.path, static_cast<std::uint32_t>(components), relative) != kResultOk) {
    return kResultFailed;
  }
  const char16_t* begin = relative;
  for (;;) {
    const char16_t* end = begin;
    while (*end != u'\0' && *end != u'\\') ++end;
    if (!IsSafeComponent(begin, end)) return kResultFailed;
    if (*end == u'\0') return kResultOk;
    begin = end + 1;
  }
}

std::int32_t ExtractEntry(ByteReader& package, const PackageRecord& record,
                          ExtractionTarget& target, std::uint32_t* done, std::uint32_t total,
                          ProgressCallback progress) {
  char16_t relative[platform::kMaxPath];
  if (SafeRelativePath(record, relative) != kResultOk) {
    return Fail(target, UnpackFailure::kUnsafePath, record.path);
  }

  char16_t targetPath[platform::kMaxPath];
  std::size_t folderLength = platform::WideLength(target.destinationFolder);
  bool fits = platform::WideCopy(targetPath, target.destinationFolder) &&
              (folderLength > 0 && targetPath[folderLength - 1] == u'\\'
                   ? true
                   : platform::WideAppend(targetPath, u"\\")) &&
              platform::WideAppend(targetPath, relative);
  if (!fits) return Fail(target, UnpackFailure::kPathTooLong, record.path);

  if (progress != nullptr) progress(*done, total, targetPath);

  if (record.first == kKindFolder) {
    if (target.gate != nullptr) target.gate->BeforeFolder(targetPath);
    platform::Folder made;
    return WalkFolders(target, relative, true, &made)
               ? kResultOk
               : Fail(target, UnpackFailure::kCannotCreate, targetPath);
  }

  FileGate::Decision decision =
      target.gate != nullptr ? target.gate->BeforeFile(targetPath) : FileGate::Decision::kReplace;
  if (decision == FileGate::Decision::kStop) {
    return Fail(target, UnpackFailure::kStopped, targetPath);
  }
  if (decision == FileGate::Decision::kKeep) {
    if (!SkipPackageContent(package, record.second)) {
      return Fail(target, UnpackFailure::kTruncated, targetPath);
    }
    *done += record.second;
    return kResultOk;
  }

  const char16_t* name = nullptr;
  const platform::Folder* parent = ParentFolder(target, relative, &name);
  // The content is written into a file that has no name yet and takes the
  // entry's name only when complete: a package that ends inside it, or a
  // full disk, leaves no partial file, and an existing file of that name as
  // it was; and nobody can swap what the file's name leads to meanwhile.
  platform::File file;
  if (parent == nullptr || !file.CreateUnnamedIn(*parent)) {
    return Fail(target, UnpackFailure::kCannotCreate, targetPath);
  }
  auto abandon = [&](UnpackFailure failure) {
    std::int32_t failed = Fail(target, failure, targetPath);
    file.Close();  // it never had a name: nothing is left
    return failed;
  };

  platform::WipedBuffer<kChunkSize> wiped;  // the content, plaintext as a rule
  unsigned char* block = wiped.items;
  for (std::uint32_t remaining = record.second; remaining > 0;) {
    std::uint32_t length = remaining < kChunkSize ? remaining : kChunkSize;
    remaining -= length;
    std::uint32_t got = 0;
    // Content shorter than its record says means the package was cut off.
    if (!package.Read(block, length, &got) || got != length) {
      return abandon(UnpackFailure::kTruncated);
    }
    if (!file.Write(block, length)) return abandon(UnpackFailure::kWriteFailed);
    *done += length;
    if (progress != nullptr) progress(*done, total, nullptr);
  }
  if (target.origin != nullptr && !platform::WriteOriginMark(file, *target.origin)) {
    return abandon(UnpackFailure::kWriteFailed);
  }
  if (!file.Flush()) return abandon(UnpackFailure::kWriteFailed);
  // An existing file of the entry's name is replaced only when the caller
  // said so, and never written through; a link or a folder there is refused.
  // Without leave to replace, whatever took the name meanwhile stays.
  auto replacing = decision == FileGate::Decision::kReplace ? platform::File::Replacing::kFile
                                                            : platform::File::Replacing::kNothing;
  if (!file.Commit(*parent, name, replacing)) return abandon(UnpackFailure::kCannotCreate);
  if (!file.Close()) return Fail(target, UnpackFailure::kWriteFailed, targetPath);
  if (target.gate != nullptr) target.gate->FilePlaced(targetPath);
  return kResultOk;
}

std::int32_t UnpackStream(ByteReader& package, const char16_t* destinationFolder,
                          ProgressCallback progress, ExtractionTarget* callerTarget) {
  ExtractionTarget ownTarget;
  ExtractionTarget& target = callerTarget != nullptr ? *callerTarget : ownTarget;
  target.destinationFolder = destinationFolder;
  PackageRecord header;
  if (!ReadPackageHeader(package, &header)) {
    return Fail(target, UnpackFailure::kNotAPackage, destinationFolder);
  }
  // A destination the caller holds open already stays the one it examined.
  if (!target.destination.IsOpen() && !target.destination.Open(destinationFolder)) {
    return Fail(target, UnpackFailure::kNoDestination, destinationFolder);
  }

  std::uint32_t done = 0;
  for (std::uint32_t i = 0; i < header.first; ++i) {
    PackageRecord record;
    switch (ReadPackageRecord(package, &record)) {
      case RecordRead::kOk:
        break;
      case RecordRead::kShort:
        return Fail(target, UnpackFailure::kTruncated, destinationFolder);
      case RecordRead::kUnterminated:
        // Cutting the path short would act on a name the package never held.
        return Fail(target, UnpackFailure::kUnterminatedPath, record.path);
    }
    if (ExtractEntry(package, record, target, &done, header.second, progress) != kResultOk) {
      return kResultFailed;
    }
  }
  return kResultOk;
}

}  // namespace securefile

using namespace securefile;

std::int32_t UnpackPackage(const char16_t* packagePath, const char16_t* destinationFolder,
                           ProgressCallback progress) {
  platform::File package;
  if (!package.OpenRead(packagePath)) return kResultFailed;
  // The destination exists afterwards even if the package proves invalid.
  if (CreatePathFolders(destinationFolder) != kResultOk) return kResultFailed;
  FileReader reader(package);
  return UnpackStream(reader, destinationFolder, progress);
}

std::int32_t UnpackPackageFrom(platform::File& package, platform::Folder&& destination,
                               const char16_t* destinationFolder, ProgressCallback progress,
                               const platform::OriginMark* origin) {
  ExtractionTarget target;
  target.destination = std::move(destination);
  target.origin = origin;
  FileReader reader(package);
  return UnpackStream(reader, destinationFolder, progress, &target);
}
