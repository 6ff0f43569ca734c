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
  kBadRoot,             // the root is relative, the device root itself, or has ".." in it
};

inline constexpr std::uint32_t kMaxOwnFiles = 3;

struct PackContext {
  // The package being written; null while measuring or planning.
  ByteWriter* sink = nullptr;
  // Files the package never holds, wherever they lie in the tree: its own
  // file (PackPackageWith adds it; the package would otherwise be packed
  // while it grows) and the file it is about to replace (see
  // LeaveOutOwnFile). Recognised by identity, so through links too.
  platform::FileId ownFiles[kMaxOwnFiles];
  std::uint32_t ownFileCount = 0;
  bool measuring = false;  // count only; open nothing
  bool planning = false;   // count, and try each file now, asking about those that cannot be read
  // Leave out silently what cannot be packed: files that cannot be read,
  // links to folders or to nothing (asked about while planning).
  bool skipUnreadable = false;
  std::uint32_t entryCount = 0;
  std::uint64_t totalBytes = 0;  // kept wide so that passing 4 GiB is seen
  ModuleInstance instance = nullptr;
  ProgressCallback progress = nullptr;
  std::uint32_t progressTotal = 0;  // the reports' total: 0 when unknown
  PackFailure failure = PackFailure::kNone;
  char16_t failurePath[platform::kMaxPath] = {};  // the path the failure concerns
};

// Adds the file that `path` names, if it exists, to the context's own
// files: a caller that writes the package elsewhere and then renames it
// over `path` keeps the old file out of the new package, as measuring with
// that package path does. (Room for kMaxOwnFiles: packing adds one, its
// callers at most two.)
void LeaveOutOwnFile(PackContext& context, const char16_t* path);
// The same for a file the caller holds open: the output being written.
void LeaveOutOwnFile(PackContext& context, const platform::File& file);

// Links: a symbolic link below the root is packed only when it leads to a
// regular file, as that file's content. A link to a folder is never
// followed (no walk loops or leaves the tree) and a link to nothing has
// nothing to pack: such a link is left out like a file that cannot be read,
// after asking (measuring leaves it out without asking). The root itself
// may be a link: the caller named it.

// Handles one file or folder (recursing into folders) at `depth`.
std::int32_t WriteEntry(PackContext& context, const char16_t* path, std::uint32_t depth);
// Handles every child of `folder` (a path just seen to be a folder), at `depth`.
std::int32_t WriteFolderEntries(PackContext& context, const char16_t* folder, std::uint32_t depth);

// PackPackage with its context, for callers that want the failure reason
// or a progress total. The root must be an absolute device path that ends
// in a name; doubled and trailing separators and "." components are tidied
// away, and the package records the tidy form. In measure-only mode a
// packagePath that names an existing file leaves that file out of the
// counts, as packing into it would.
std::int32_t PackPackageWith(PackContext& context, const char16_t* sourcePath,
                             const char16_t* packagePath, bool append, bool measureOnly,
                             std::uint32_t* entryCountOut, std::uint32_t* totalBytesOut);

// PackPackageWith's packing into a package the caller holds open: a new,
// empty file, or (append) an existing package open for reading and
// writing at its start, which a failure puts back as it was through the
// same handle. `packageName` names it in failures. The file is flushed,
// not closed.
std::int32_t PackPackageInto(PackContext& context, const char16_t* sourcePath,
                             platform::File& package, const char16_t* packageName, bool append);

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
