#include "securefile/pack.h"

#include <cstring>

#include "platform/device_path.h"
#include "platform/message_box.h"
#include "platform/secure_zero.h"
#include "platform/wide_format.h"
#include "platform/wide_string.h"
#include "securefile/container_format.h"

namespace securefile {
namespace {

constexpr std::uint32_t kTextErrorCaption = 61411;
constexpr std::uint32_t kTextCannotRead = 61413;
constexpr std::uint32_t kTextNoAttributes = 61414;
constexpr std::size_t kMessageSize = 256;

std::int32_t Fail(PackContext& context, PackFailure failure, const char16_t* path) {
  if (context.failure == PackFailure::kNone) {
    context.failure = failure;
    platform::WideCopy(context.failurePath, path);
  }
  return kResultFailed;
}

bool Writing(const PackContext& context) { return context.sink != nullptr; }

bool WriteRecord(ByteWriter& sink, const PackageRecord& record) {
  unsigned char bytes[kRecordSize];
  EncodeRecord(record, bytes);
  return sink.Write(bytes, kRecordSize);
}

// Puts `path` and its terminator at the start of the record's path; what
// follows the terminator is left as it was.
bool SetRecordPath(PackageRecord& record, const char16_t* path) {
  std::size_t length = platform::WideLength(path);
  if (length >= kRecordPathUnits) return false;
  for (std::size_t i = 0; i <= length; ++i) record.path[i] = path[i];
  return true;
}

// The message boxes and the file branch stay out of line: their buffers
// would otherwise sit in every frame of the folder recursion.

// "Error reading the file ... skip it or cancel?" OK skips the file.
[[gnu::noinline]] bool AskToSkip(const PackContext& context, const char16_t* path, int error) {
  char16_t format[kMessageSize];
  char16_t caption[kMessageSize];
  char16_t errorText[kMessageSize];
  char16_t message[kMessageSize];
  platform::LoadString(context.instance, kTextCannotRead, format);
  platform::LoadString(context.instance, kTextErrorCaption, caption);
  platform::ErrorText(error, errorText, kMessageSize);
  const char16_t* arguments[] = {path, errorText};
  platform::WideFormat(message, kMessageSize, format, arguments, 2);  // cut to fit
  return platform::ShowMessageBox(nullptr, message, caption,
                                  platform::kButtonsOkCancel | platform::kIconExclamation) ==
         platform::kAnswerOk;
}

[[gnu::noinline]] void TellNoAttributes(const PackContext& context) {
  char16_t text[kMessageSize];
  char16_t caption[kMessageSize];
  platform::LoadString(context.instance, kTextNoAttributes, text);
  platform::LoadString(context.instance, kTextErrorCaption, caption);
  platform::ShowMessageBox(nullptr, text, caption, platform::kButtonsOk | platform::kIconNone);
}

bool IsOwnFile(const PackContext& context, const platform::FileId& id) {
  for (std::uint32_t i = 0; i < context.ownFileCount; ++i) {
    if (context.ownFiles[i] == id) return true;
  }
  return false;
}

// An entry that is not packed: a file that cannot be read, or a link that
// is not followed. Packing asks whether to leave it out and go on, or to
// cancel; measuring, which asks nothing, leaves it out.
std::int32_t LeaveOut(PackContext& context, const char16_t* path, int error) {
  if (context.measuring || context.skipUnreadable || AskToSkip(context, path, error)) {
    --context.entryCount;
    return kResultOk;
  }
  return Fail(context, PackFailure::kCancelled, path);
}

bool AddContent(PackContext& context, std::uint64_t bytes) {
  context.totalBytes += bytes;
  return context.totalBytes <= 0xFFFFFFFFu;
}

// Copies a file's content behind its record. The record announced `size`
// bytes: a file that grows or shrinks meanwhile fails the call instead of
// leaving a package whose records no longer line up.
std::int32_t CopyContent(PackContext& context, platform::File& file, const char16_t* path,
                         std::uint64_t size) {
  platform::WipedBuffer<kChunkSize> wiped;  // the files' content
  unsigned char* block = wiped.items;
  std::uint64_t copied = 0;
  for (;;) {
    std::uint32_t got = 0;
    if (!file.Read(block, kChunkSize, &got)) return Fail(context, PackFailure::kReadFailed, path);
    if (got == 0) break;
    copied += got;
    if (copied > size) return Fail(context, PackFailure::kFileChanged, path);
    if (!context.sink->Write(block, got)) return Fail(context, PackFailure::kWriteFailed, path);
    AddContent(context, got);
    if (context.progress != nullptr) {
      context.progress(static_cast<std::uint32_t>(context.totalBytes), context.progressTotal, path);
    }
    if (got < kChunkSize) break;
  }
  return copied == size ? kResultOk : Fail(context, PackFailure::kFileChanged, path);
}

// A file entry once its attributes are known.
[[gnu::noinline]] std::int32_t WriteFileEntry(PackContext& context, const char16_t* path,
                                               std::uint32_t depth, std::uint64_t measuredSize) {
  if (context.measuring) {
    platform::FileId id;
    if (context.ownFileCount > 0 && platform::GetFileId(path, &id) && IsOwnFile(context, id)) {
      --context.entryCount;  // where the package will be: never in it
      return kResultOk;
    }
    if (measuredSize > 0xFFFFFFFFu) return Fail(context, PackFailure::kFileTooLarge, path);
    return AddContent(context, measuredSize) ? kResultOk
                                             : Fail(context, PackFailure::kTooMuchContent, path);
  }

  platform::File file;
  if (!file.OpenRead(path)) return LeaveOut(context, path, platform::LastError());
  platform::FileId id;
  if (context.ownFileCount > 0 && platform::GetFileId(file, &id) && IsOwnFile(context, id)) {
    --context.entryCount;  // the package never holds itself
    return kResultOk;
  }
  std::uint64_t size = file.OpenedSize();
  if (size > 0xFFFFFFFFu) return Fail(context, PackFailure::kFileTooLarge, path);
  if (context.planning) {
    return AddContent(context, size) ? kResultOk
                                     : Fail(context, PackFailure::kTooMuchContent, path);
  }

  PackageRecord record;
  SetRecordPath(record, path);
  record.first = kKindFile;
  record.second = static_cast<std::uint32_t>(size);
  record.third = depth;
  if (!WriteRecord(*context.sink, record)) return Fail(context, PackFailure::kWriteFailed, path);
  std::int32_t result = CopyContent(context, file, path, size);
  if (result == kResultOk && context.totalBytes > 0xFFFFFFFFu) {
    return Fail(context, PackFailure::kTooMuchContent, path);
  }
  return result;
}

// The root entry: a folder root's record is written here, without a report,
// from the header's own record buffer (so the two share their path bytes);
// a file root goes through WriteEntry like any other file.
std::int32_t WriteRoot(PackContext& context, const char16_t* sourcePath, bool isFolder,
                       PackageRecord& header) {
  if (!isFolder) return WriteEntry(context, sourcePath, 0);
  if (!SetRecordPath(header, sourcePath)) return Fail(context, PackFailure::kPathTooLong, sourcePath);
  header.first = kKindFolder;
  header.second = 0;
  header.third = 0;
  ++context.entryCount;
  if (Writing(context) && !WriteRecord(*context.sink, header)) {
    return Fail(context, PackFailure::kWriteFailed, sourcePath);
  }
  return WriteFolderEntries(context, sourcePath, 1);
}

// The final header: the root's path and the counts.
bool SetHeader(PackageRecord& header, const char16_t* sourcePath, std::uint32_t entryCount,
               std::uint64_t totalBytes) {
  header.first = entryCount;
  header.second = static_cast<std::uint32_t>(totalBytes);
  header.third = 0;
  return SetRecordPath(header, sourcePath);
}

// The root as packages record it: the absolute device path with single
// separators, no "." components and no trailing separator, so that it ends
// in the root's own name and every entry's last depth + 1 components name
// it below the destination. A root the unpacker could not place is refused:
// a relative one, the device root alone, or one with ".." (whose meaning
// depends on the links along the path, so it is not resolved here).
PackFailure TidyRoot(const char16_t* sourcePath, char16_t (&root)[platform::kMaxPath]) {
  std::size_t used = platform::DeviceRootLength(sourcePath);
  if (used == 0) return PackFailure::kBadRoot;
  if (used >= platform::kMaxPath) return PackFailure::kPathTooLong;
  for (std::size_t i = 0; i < used; ++i) root[i] = sourcePath[i];
  bool named = false;
  for (const char16_t* begin = sourcePath + used; *begin != u'\0';) {
    const char16_t* end = begin;
    while (*end != u'\0' && *end != u'\\') ++end;
    std::size_t length = static_cast<std::size_t>(end - begin);
    bool dot = length == 1 && begin[0] == u'.';
    if (length == 2 && begin[0] == u'.' && begin[1] == u'.') return PackFailure::kBadRoot;
    if (length > 0 && !dot) {
      if (used + (named ? 1 : 0) + length >= platform::kMaxPath) return PackFailure::kPathTooLong;
      if (named) root[used++] = u'\\';
      for (std::size_t i = 0; i < length; ++i) root[used++] = begin[i];
      named = true;
    }
    begin = *end == u'\0' ? end : end + 1;
  }
  root[used] = u'\0';
  return named ? PackFailure::kNone : PackFailure::kBadRoot;
}

// The root's attributes (through a link: the caller named it) and its tidy
// form.
std::int32_t PrepareRoot(PackContext& context, const char16_t* sourcePath,
                         char16_t (&root)[platform::kMaxPath],
                         platform::FileAttributes* attributes) {
  if (!platform::GetFileAttributes(sourcePath, attributes)) {
    return Fail(context, PackFailure::kNoSource, sourcePath);
  }
  PackFailure failure = TidyRoot(sourcePath, root);
  return failure == PackFailure::kNone ? kResultOk : Fail(context, failure, sourcePath);
}

// A run over the tree: counts from zero, the root examined and tidied.
std::int32_t StartCounting(PackContext& context, const char16_t* sourcePath,
                           char16_t (&root)[platform::kMaxPath],
                           platform::FileAttributes* attributes) {
  context.entryCount = 0;
  context.totalBytes = 0;
  return PrepareRoot(context, sourcePath, root, attributes);
}

// Passes a planned package on, refusing to run past its planned size: a
// tree that grew since it was planned fails as changed, not as a write
// error.
class PlannedSizeWriter final : public ByteWriter {
 public:
  PlannedSizeWriter(ByteWriter& sink, std::uint64_t plannedSize)
      : sink_(sink), left_(plannedSize) {}
  bool Write(const void* buffer, std::uint32_t size) override {
    if (size > left_) {
      overrun_ = true;
      return false;
    }
    left_ -= size;
    return sink_.Write(buffer, size);
  }
  bool Overrun() const { return overrun_; }

 private:
  ByteWriter& sink_;
  std::uint64_t left_;
  bool overrun_ = false;
};

// Puts an appended-to package back as it was, through the handle it was
// appended through: its magic, its old header and its old length, so that
// nothing already in it is lost.
void RestorePackage(platform::File& package, const unsigned char (&oldHeader)[kRecordSize],
                    std::uint64_t oldLength) {
  package.ForgetFailure();
  package.Seek(0);
  package.Write(kMagic, 4);
  package.Write(oldHeader, kRecordSize);
  package.Truncate(oldLength);
  package.Flush();
}

}  // namespace

void LeaveOutOwnFile(PackContext& context, const platform::File& file) {
  platform::FileId id;
  if (context.ownFileCount < kMaxOwnFiles && platform::GetFileId(file, &id)) {
    context.ownFiles[context.ownFileCount++] = id;
  }
}

void LeaveOutOwnFile(PackContext& context, const char16_t* path) {
  platform::FileId id;
  if (context.ownFileCount < kMaxOwnFiles && platform::GetFileId(path, &id)) {
    context.ownFiles[context.ownFileCount++] = id;
  }
}

std::int32_t WriteEntry(PackContext& context, const char16_t* path, std::uint32_t depth) {
  if (platform::WideLength(path) >= kRecordPathUnits) {
    return Fail(context, PackFailure::kPathTooLong, path);
  }
  ++context.entryCount;

  platform::FileAttributes attributes;
  if (!platform::GetLinkAttributes(path, &attributes)) {
    // Gone since the folder was listed: failing is honest, where treating
    // it as an empty folder would not be.
    TellNoAttributes(context);
    return Fail(context, PackFailure::kNoAttributes, path);
  }
  if (attributes.isLink) {
    // Only a link to a regular file is followed (its content is packed):
    // a link to a folder could loop or lead out of the tree, and a link to
    // nothing has nothing to pack.
    platform::FileAttributes target;
    if (!platform::GetFileAttributes(path, &target)) {
      return LeaveOut(context, path, platform::LastError());
    }
    if (target.isFolder) return LeaveOut(context, path, platform::LinkNotFollowedError());
    attributes = target;
  }
  if (Writing(context) && context.progress != nullptr) {
    context.progress(static_cast<std::uint32_t>(context.totalBytes), context.progressTotal, path);
  }
  if (!attributes.isFolder) return WriteFileEntry(context, path, depth, attributes.size);

  if (Writing(context)) {
    PackageRecord record;
    SetRecordPath(record, path);
    record.first = kKindFolder;
    record.third = depth;
    if (!WriteRecord(*context.sink, record)) return Fail(context, PackFailure::kWriteFailed, path);
  }
  return WriteFolderEntries(context, path, depth + 1);
}

std::int32_t WriteFolderEntries(PackContext& context, const char16_t* folder, std::uint32_t depth) {
  // Both callers have just seen the folder flag; listing the folder is what
  // shows whether it is still one. The root's children are at depth 1: the
  // root may be a link the caller named, but a folder below it is listed
  // only if it is not (or has not meanwhile become) a link.
  platform::FolderSearch search;
  if (!search.Start(folder, depth == 1)) {
    return Fail(context, PackFailure::kFolderUnreadable, folder);
  }
  char16_t name[platform::kMaxPath];
  char16_t child[platform::kMaxPath];
  for (;;) {
    switch (search.Next(name)) {
      case platform::FolderSearch::Result::kEnd:
        return kResultOk;
      case platform::FolderSearch::Result::kError:
        return Fail(context, PackFailure::kFolderUnreadable, folder);
      case platform::FolderSearch::Result::kUnrepresentableName:
        return Fail(context, PackFailure::kUnrepresentableName, folder);
      case platform::FolderSearch::Result::kName:
        break;
    }
    // The listing's own "." and "..", dropped before they are made into a
    // path (which for a folder of 257 or 258 characters would not fit), and
    // an output of this process being written here under a hidden name.
    // Every other name is packed, "notes." and "v1." included.
    if (name[0] == u'.' && (name[1] == u'\0' || (name[1] == u'.' && name[2] == u'\0'))) continue;
    if (platform::IsStagingName(name)) continue;
    if (!platform::WideCopy(child, folder) || !platform::WideAppend(child, u"\\") ||
        !platform::WideAppend(child, name)) {
      return Fail(context, PackFailure::kPathTooLong, folder);
    }
    std::int32_t result = WriteEntry(context, child, depth);
    if (result != kResultOk) return result;
  }
}

std::int32_t PackPackageWith(PackContext& context, const char16_t* sourcePath,
                             const char16_t* packagePath, bool append, bool measureOnly,
                             std::uint32_t* entryCountOut, std::uint32_t* totalBytesOut) {
  PackageRecord header;
  platform::FileAttributes attributes;
  char16_t root[platform::kMaxPath];
  if (StartCounting(context, sourcePath, root, &attributes) != kResultOk) return kResultFailed;
  const std::uint32_t ownFilesBefore = context.ownFileCount;
  // Creating (or appending to) the package must never write over the very
  // file being packed; measuring for such a package fails as packing would.
  if (packagePath != nullptr && platform::IsSameFile(root, packagePath)) {
    return Fail(context, PackFailure::kPackageIsSource, packagePath);
  }

  if (measureOnly) {
    // Told where the package will go, measuring leaves out what is there
    // now, as packing into it would.
    if (packagePath != nullptr) LeaveOutOwnFile(context, packagePath);
    context.measuring = true;
    std::int32_t result = WriteRoot(context, root, attributes.isFolder, header);
    context.measuring = false;
    context.ownFileCount = ownFilesBefore;
    if (result != kResultOk) return result;
    if (entryCountOut != nullptr) *entryCountOut = context.entryCount;
    if (totalBytesOut != nullptr) *totalBytesOut = static_cast<std::uint32_t>(context.totalBytes);
    return kResultOk;
  }

  platform::File package;
  bool opened = append ? package.OpenUpdate(packagePath) : package.Create(packagePath);
  if (!opened) {
    platform::FileAttributes existing;
    return Fail(context, append && !platform::GetFileAttributes(packagePath, &existing)
                             ? PackFailure::kNotAPackage
                             : PackFailure::kWriteFailed,
                packagePath);
  }
  std::int32_t result = PackPackageInto(context, root, package, packagePath, append);
  if (!package.Close() && result == kResultOk) {
    result = Fail(context, PackFailure::kWriteFailed, packagePath);
  }
  // A package this call created goes; one appended to was put back.
  if (result != kResultOk && !append) platform::DeleteFile(packagePath);
  return result;
}

std::int32_t PackPackageInto(PackContext& context, const char16_t* sourcePath,
                             platform::File& package, const char16_t* packageName, bool append) {
  PackageRecord header;
  platform::FileAttributes attributes;
  char16_t root[platform::kMaxPath];
  if (StartCounting(context, sourcePath, root, &attributes) != kResultOk) return kResultFailed;
  platform::FileId packageId;
  platform::FileId rootId;
  bool identified = platform::GetFileId(package, &packageId);
  if (identified && platform::GetFileId(root, &rootId) && rootId == packageId) {
    return Fail(context, PackFailure::kPackageIsSource, packageName);
  }

  unsigned char oldHeader[kRecordSize] = {};
  std::uint64_t oldLength = 0;
  if (append) {
    unsigned char magic[4] = {};
    std::uint32_t got = 0;
    std::uint32_t gotHeader = 0;
    if (!package.Read(magic, 4, &got) || got != 4 || std::memcmp(magic, kMagic, 4) != 0 ||
        !package.Read(oldHeader, kRecordSize, &gotHeader) || gotHeader != kRecordSize ||
        !DecodeRecord(oldHeader, &header) || !package.Seek(0)) {
      return Fail(context, PackFailure::kNotAPackage, packageName);
    }
    oldLength = package.OpenedSize();
    context.entryCount = header.first;
    context.totalBytes = header.second;
  }

  FileWriter writer(package);
  context.sink = &writer;
  const std::uint32_t ownFilesBefore = context.ownFileCount;
  if (identified && context.ownFileCount < kMaxOwnFiles) {
    context.ownFiles[context.ownFileCount++] = packageId;
  }

  // A placeholder header with the counts from before this call, rewritten
  // once the entries are written and the real counts known.
  SetRecordPath(header, u"---");
  header.first = context.entryCount;
  header.second = static_cast<std::uint32_t>(context.totalBytes);
  header.third = 0;
  std::int32_t result = package.Write(kMagic, 4) && WriteRecord(writer, header) &&
                                (!append || package.SeekToEnd())
                            ? WriteRoot(context, root, attributes.isFolder, header)
                            : Fail(context, PackFailure::kWriteFailed, packageName);
  if (result == kResultOk && !SetHeader(header, root, context.entryCount, context.totalBytes)) {
    result = Fail(context, PackFailure::kPathTooLong, root);
  }
  if (result == kResultOk &&
      (!package.Seek(4) || !WriteRecord(writer, header) || !package.Flush())) {
    result = Fail(context, PackFailure::kWriteFailed, packageName);
  }
  context.sink = nullptr;
  context.ownFileCount = ownFilesBefore;
  if (result != kResultOk && append) RestorePackage(package, oldHeader, oldLength);
  return result;
}

std::int32_t PlanPackage(PackContext& context, const char16_t* sourcePath,
                         std::uint32_t* entryCount, std::uint64_t* totalBytes) {
  platform::FileAttributes attributes;
  char16_t root[platform::kMaxPath];
  if (StartCounting(context, sourcePath, root, &attributes) != kResultOk) return kResultFailed;
  PackageRecord header;
  context.planning = true;
  std::int32_t result = WriteRoot(context, root, attributes.isFolder, header);
  context.planning = false;
  *entryCount = context.entryCount;
  *totalBytes = context.totalBytes;
  return result;
}

std::int32_t WritePlannedPackage(PackContext& context, const char16_t* sourcePath,
                                 ByteWriter& sink, std::uint32_t entryCount,
                                 std::uint64_t totalBytes) {
  platform::FileAttributes attributes;
  char16_t root[platform::kMaxPath];
  if (PrepareRoot(context, sourcePath, root, &attributes) != kResultOk) return kResultFailed;
  // The same header bytes a package file gets: the placeholder, then the
  // root's path over it, then the counts.
  PackageRecord header;
  SetRecordPath(header, u"---");
  PackageRecord rootRecord = header;
  if (!SetHeader(header, root, entryCount, totalBytes)) {
    return Fail(context, PackFailure::kPathTooLong, root);
  }
  PlannedSizeWriter planned(sink, PackageSize(entryCount, totalBytes));
  if (!planned.Write(kMagic, 4) || !WriteRecord(planned, header)) {
    return Fail(context, PackFailure::kWriteFailed, root);
  }

  context.entryCount = 0;
  context.totalBytes = 0;
  context.sink = &planned;
  context.skipUnreadable = true;  // already asked about while planning
  std::int32_t result = WriteRoot(context, root, attributes.isFolder, rootRecord);
  context.sink = nullptr;
  context.skipUnreadable = false;
  if (planned.Overrun() ||
      (result == kResultOk && (context.entryCount != entryCount || context.totalBytes != totalBytes))) {
    context.failure = PackFailure::kNone;  // the write error it caused is not the reason
    return Fail(context, PackFailure::kTreeChanged, root);
  }
  return result;
}

}  // namespace securefile

std::int32_t PackPackage(const char16_t* sourcePath, const char16_t* packagePath, int append,
                         int measureOnly, std::uint32_t* entryCountOut,
                         std::uint32_t* totalBytesOut, ModuleInstance instance,
                         ProgressCallback progress) {
  securefile::PackContext context;
  context.instance = instance;
  context.progress = progress;
  return securefile::PackPackageWith(context, sourcePath, packagePath, append != 0,
                                     measureOnly != 0, entryCountOut, totalBytesOut);
}
