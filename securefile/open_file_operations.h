// The operations on files the caller already holds open.
//
// kva and the application create their outputs without a name
// (platform::File::CreateUnnamedIn and CreateScratch) and name them only
// once they are complete, so an output is never opened again by a name
// that someone else may have swapped meanwhile. These are the operations of
// securefile.h with such a file in place of a path: the same checks,
// results and progress reports, and the path operations are these over a
// file they open. The password bytes are taken writable and wiped as soon
// as the key is derived: the caller's copy holds the password no longer
// than the operation needs it.
#pragma once

#include <cstdint>

#include "platform/files.h"
#include "securefile/securefile.h"

// DecryptContainer into `destination`, open for writing at its start.
// Everything is written out (Flush) before 0 is returned.
std::int32_t DecryptContainerInto(const char16_t* sourcePath, platform::File& destination,
                                  unsigned char* password, std::int32_t passwordLength,
                                  ProgressCallback progress, std::uint32_t offset,
                                  ModuleInstance moduleInstance);

// EncryptContainer into `destination`, open for writing at its start.
std::int32_t EncryptContainerInto(const char16_t* sourcePath, platform::File& destination,
                                  unsigned char* password, std::int32_t passwordLength,
                                  std::int32_t cipherIdentifier, ProgressCallback progress,
                                  std::uint32_t offset, const char16_t* carrierPath,
                                  ModuleInstance moduleInstance);

// UnpackPackage from `package`, open for reading at its start, into the
// folder `destination` holds open (taken over; its path is
// `destinationFolder`, which the reports name entries by). Every file
// extracted gets `origin` when it is given.
std::int32_t UnpackPackageFrom(platform::File& package, platform::Folder&& destination,
                               const char16_t* destinationFolder, ProgressCallback progress,
                               const platform::OriginMark* origin);
