// What kva's commands share: paths, input checks, container inspection.
#pragma once

#include <cstdint>
#include <string>

#include "cli/paths.h"
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

// What the header of a container says, read without a password.
struct Inspection {
  std::uint64_t fileSize = 0;
  securefile::HeaderStatus status = securefile::HeaderStatus::kReadFailed;
  securefile::ContainerHeader header;
};

Inspection InspectContainer(const DevicePath& path, std::uint32_t offset);

// Why a header was refused, in words ("" when it was not).
std::string HeaderProblem(const Inspection& inspection, const std::string& name,
                          std::uint32_t offset);

// Why packing or unpacking failed, in words.
std::string PackProblem(const securefile::PackContext& context);
std::string UnpackProblem(const securefile::ExtractionTarget& target);

// An output written over the file being packed would replace it with its
// own package: refused with a message.
bool CheckOutputIsNotSource(const DevicePath& source, const DevicePath& output,
                            const std::string& name);

// The destination of an unpacking is opened as soon as it is examined, so
// that it stays that folder whatever its path comes to name meanwhile (a
// link or junction re-pointed). OpenExistingDestination opens it if it
// exists (and leaves *opened closed if not); CreateDestination makes a
// missing one, with any missing parents, says so, and opens it. Both print
// the problem and return false when a file is in the way or it cannot be
// made or opened.
bool OpenExistingDestination(const DevicePath& folder, const std::string& name,
                             platform::Folder* opened);
bool CreateDestination(const DevicePath& folder, const std::string& name, platform::Folder* opened);

}  // namespace cli
