// Unpacking: recreating a package's files and folders below a destination.
// UnpackPackage reads a package file; kva's open feeds the same core from a
// decrypting stream.
#pragma once

#include <cstdint>

#include "platform/files.h"
#include "securefile/byte_stream.h"
#include "securefile/package_format.h"
#include "securefile/securefile.h"

namespace securefile {

// Why unpacking failed, for callers that can say more than -1.
enum class UnpackFailure {
  kNone,
  kNotAPackage,    // no magic or no complete header
  kNoDestination,  // the destination folder cannot be opened
  kTruncated,      // fewer records or content bytes than announced
  kUnsafePath,     // an entry's relative path has too few, empty, "." or ".." components, or a '/'
  kUnterminatedPath,  // an entry's stored path does not end within its record
  kPathTooLong,    // the target path would be 260 characters or more
  kCannotCreate,   // a folder or file cannot be created there (a file or link in the way)
  kWriteFailed,
  kStopped,        // the caller's FileGate said stop, at this target path
};

// A caller's say over what unpacking writes: asked before each file
// entry's content is written, told once the file has its name, and told of
// each folder entry before it is made (folders that exist are used as they
// are). Without one, unpacking replaces any file of an entry's name, as
// UnpackPackage does; kva asks its user instead.
class FileGate {
 public:
  enum class Decision {
    kCreate,   // write the file; its name must still be free when it is given
    kReplace,  // write the file over one of that name
    kKeep,     // pass over its content and leave the name as it is
    kStop,     // unpack nothing more (UnpackFailure::kStopped)
  };
  virtual ~FileGate() = default;
  virtual Decision BeforeFile(const char16_t* targetPath) = 0;
  virtual void FilePlaced(const char16_t* targetPath) = 0;
  virtual void BeforeFolder(const char16_t* targetPath) = 0;
};

// Where entries go: the destination folder, opened once (or by the caller,
// when it examined it earlier: then that folder stays the destination
// whatever its path comes to name), and the folder of the last file
// written, kept open because consecutive files of a package usually share
// it.
struct ExtractionTarget {
  const char16_t* destinationFolder = nullptr;
  platform::Folder destination;
  const platform::OriginMark* origin = nullptr;  // given to every file extracted
  platform::Folder parent;
  char16_t parentRelative[platform::kMaxPath] = {};
  bool parentOpen = false;
  FileGate* gate = nullptr;
  UnpackFailure failure = UnpackFailure::kNone;
  int error = 0;  // the system's reason, when a call to it failed
  char16_t failurePath[platform::kMaxPath] = {};  // the entry's stored or target path
};

// Unpacks the package read from `package`, positioned at its magic, below
// `destinationFolder`, which must exist. Returns 0 or -1; nothing extracted
// before a failure is undone, and a file entry that fails leaves neither a
// partial file nor a changed one under its name. A `target` given by the
// caller tells why it failed afterwards.
std::int32_t UnpackStream(ByteReader& package, const char16_t* destinationFolder,
                          ProgressCallback progress, ExtractionTarget* target = nullptr);

// Extracts the entry whose record was just read; its content, if any, is
// read from `package`. Advances *done by the content's size.
std::int32_t ExtractEntry(ByteReader& package, const PackageRecord& record,
                          ExtractionTarget& target, std::uint32_t* done, std::uint32_t total,
                          ProgressCallback progress);

// The relative part of an entry (its last depth + 1 components) into
// `relative` (kMaxPath units), refused (-1) when the path has too few
// components or any of them is empty, ".", ".." or holds a '/': such a name
// could reach outside the destination or has no meaning there.
std::int32_t SafeRelativePath(const PackageRecord& record, char16_t* relative);

}  // namespace securefile
