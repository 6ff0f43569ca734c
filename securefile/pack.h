// Packing: a file or folder tree into a package. PackPackage writes a
// package file (fresh, appended to, or only measured); kva's seal plans the
// package first and then streams the same entries straight into an
// encryptor. Both run the entries through WriteEntry.
#pragma once

#include <cstdint>

#include "platform/files.h"
#include "securefile/byte_stream.h"
#include "securefile/package_format.h"
#include "securefile/securefile.h"

namespace securefile {

// Why packing failed, for callers that can say more than -1.
enum class PackFailure {
  kNone,
  kNoSource,            // the source path does not exist
  kNoAttributes,        // an entry vanished or could not be examined
  kFolderUnreadable,    // a folder's names could not be listed
  kUnrepresentableName, // a host name with '\' or invalid UTF-8
  kPathTooLong,         // a path of 260 characters or more
  kFileTooLarge,        // a file of 4 GiB or more
  kTooMuchContent,      // the content adds up to 4 GiB or more
  kFileChanged,         // a file's length changed while it was copied
  kTreeChanged,         // the tree changed between planning and writing
  kCancelled,           // the user cancelled at an unreadable file
  kReadFailed,
  kWriteFailed,
  kNotAPackage,         // append mode: the package is not one
  kPackageIsSource,     // the package would be written over the file being packed
};

struct PackContext {
  // The package being written; null while measuring or planning.
  ByteWriter* sink = nullptr;
  // The package's own file, so that packing a tree that holds it leaves it
  // out instead of packing it while it grows.
  bool hasOwnFile = false;
  platform::FileId ownFile;
  bool measuring = false;  // count only; open nothing
  bool planning = false;   // count, and try each file now, asking about those that cannot be read
  bool skipUnreadable = false;  // leave out silently what cannot be read (asked about while planning)
  std::uint32_t entryCount = 0;
  std::uint64_t totalBytes = 0;  // kept wide so that passing 4 GiB is seen
  ModuleInstance instance = nullptr;
  ProgressCallback progress = nullptr;
  std::uint32_t progressTotal = 0;  // the reports' total: 0 when unknown
  PackFailure failure = PackFailure::kNone;
  char16_t failurePath[platform::kMaxPath] = {};  // the path the failure concerns
};

// Handles one file or folder (recursing into folders) at `depth`.
std::int32_t WriteEntry(PackContext& context, const char16_t* path, std::uint32_t depth);
// Handles every child of `folder` (a path just seen to be a folder), at `depth`.
std::int32_t WriteFolderEntries(PackContext& context, const char16_t* folder, std::uint32_t depth);

// PackPackage with its context, for callers that want the failure reason
// or a progress total.
std::int32_t PackPackageWith(PackContext& context, const char16_t* sourcePath,
                             const char16_t* packagePath, bool append, bool measureOnly,
                             std::uint32_t* entryCountOut, std::uint32_t* totalBytesOut);

// Streaming: counts what packing `sourcePath` would write, opening each file
// and asking about those that cannot be read (skipped files are left out of
// the counts), then writes exactly that package to a sink. The second call
// fails (kTreeChanged) if the tree no longer matches the plan.
std::int32_t PlanPackage(PackContext& context, const char16_t* sourcePath,
                         std::uint32_t* entryCount, std::uint64_t* totalBytes);
std::int32_t WritePlannedPackage(PackContext& context, const char16_t* sourcePath,
                                 ByteWriter& sink, std::uint32_t entryCount,
                                 std::uint64_t totalBytes);

}  // namespace securefile
