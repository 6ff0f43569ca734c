// What kva's commands share: paths, input checks, container inspection.
#pragma once

#include <cstdint>
#include <string>

#include "cli/password.h"
#include "cli/paths.h"
#include "cli/replace_policy.h"
#include "cli/streams.h"
#include "securefile/container_reader.h"
#include "securefile/pack.h"
#include "securefile/unpack.h"

namespace cli {

// Resolves a command-line path, printing the problem when it fails.
bool ResolvePath(const std::string& argument, DevicePath* path);

// The input must exist and be a regular file; prints the problem otherwise.
bool CheckInputFile(const DevicePath& path, const std::string& name, std::uint64_t* size);

// A device path as the user writes it on this host.
std::string DisplayPath(const char16_t* devicePath);

const char* CipherName(int identifier);

// What a file is, by its first bytes (docs/FORMAT.md, "Telling the two
// apart"), looked at where the input stands without taking them from it.
enum class FileKind { kContainer, kPackage, kNeither };
FileKind KindOf(Input& input);

// A file of the wrong kind, in words that name the command it needs.
std::string WrongKind(FileKind kind, const std::string& name);

// What the header of a container says, read without a password.
struct Inspection {
  std::uint64_t fileSize = 0;  // of the whole input
  bool isPackage = false;      // a package was given instead
  securefile::HeaderStatus status = securefile::HeaderStatus::kReadFailed;
  securefile::ContainerHeader header;
};

// Reads the header at `offset` of the input. An input of unknown size
// (standard input) is measured first when `measure` is set, else its
// length is taken on trust until the ciphertext is read.
Inspection InspectContainer(Input& input, std::uint32_t offset, bool measure);

// Why a header was refused, in words ("" when it was not).
std::string HeaderProblem(const Inspection& inspection, const std::string& name,
                          std::uint32_t offset);

// Reads a container's header at `offset`, before any password is asked for;
// prints the problem when it is refused.
bool ReadHeader(Input& input, std::uint32_t offset, securefile::ContainerHeader* header);

// Asks for the password and checks it against the header: kExitOk when
// `decryptor` is ready, else the exit code, the problem printed.
int StartDecryptor(const securefile::ContainerHeader& header, const PasswordSource& source,
                   securefile::ContainerDecryptor* decryptor);

// Why packing failed, in words.
std::string PackProblem(const securefile::PackContext& context);
// Why unpacking failed at an entry (its stored or target path), in words;
// a stop is the policy's own.
std::string EntryProblem(securefile::UnpackFailure failure, const char16_t* path);
std::string UnpackProblem(const securefile::ExtractionTarget& target, const ReplacePolicy& policy);

// An output written over the file being packed would replace it with its
// own package: refused with a message.
bool CheckOutputIsNotSource(const DevicePath& source, const DevicePath& output,
                            const std::string& name);

// Plans the package of `source` for `output` (kva pack and seal): the
// output, and the file it replaces, are left out wherever they lie in the
// tree, and files that cannot be read are asked about now. Prints the
// problem.
bool PlanPackageFor(securefile::PackContext& context, const DevicePath& source, Output& output,
                    const std::string& name, std::uint32_t* entryCount, std::uint64_t* totalBytes);

// The destination of an unpacking is opened as soon as it is examined, so
// that it stays that folder whatever its path comes to name meanwhile (a
// link or junction re-pointed): OpenExistingDestination opens it if it
// exists (and leaves *opened closed if not). ReadyTarget, just before
// unpacking starts, makes a missing one (with any missing parents, which
// is said) and opens it, puts `policy` in charge of files in the way, and
// passes the input's mark of where it came from (kept in *origin) on to
// every file. Both print the problem and return false when a file is in
// the way or the folder cannot be made or opened.
bool OpenExistingDestination(const DevicePath& folder, const std::string& name,
                             platform::Folder* opened);
bool ReadyTarget(const DevicePath& folder, const std::string& name, const Input& input,
                 ReplacePolicy& policy, platform::OriginMark* origin,
                 securefile::ExtractionTarget* target);
// Where an entry of relative path `relative` goes below `destination`, as
// the unpacker forms it; false when that would be too long.
bool TargetPath(const DevicePath& destination, const char16_t* relative, std::u16string* target);

// How an unpacking run (open, unpack) ended, said once for both: `problem`
// is why it failed ("" when it did not). A refusal to replace a file undoes
// the run, a failure before any file was unpacked removes the folders it
// made (the destination among them), and after any other failure what was
// unpacked stays. Returns the exit code.
int EndUnpacking(securefile::ExtractionTarget& target, ReplacePolicy& policy, const std::string& problem,
                 const std::string& destination);

}  // namespace cli
