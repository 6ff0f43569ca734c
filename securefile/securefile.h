// The secure-file library: KVA containers (encrypted) and KVA packages
// (plain archives of files and folders), and the four operations on them.
//
// The operations are C-style: device paths in, an integer result out, every
// buffer fixed, so that memory use does not depend on the size of the files.
// A failed operation closes what it opened but leaves any output it created
// for the caller to remove.
#pragma once

#include <cstdint>

#include "platform/string_table.h"

// Reports progress: what `done` and `total` count and what `text` names is
// stated by each operation. `text` may be null.
using ProgressCallback = void (*)(std::uint32_t done, std::uint32_t total, const char16_t* text);

using platform::ModuleInstance;

// Result codes.
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultFailed = -1;
// DecryptContainer: the header is sound but the password's verifier differs.
inline constexpr std::int32_t kResultWrongPassword = -2;
// EncryptContainer: the source's attributes cannot be read; nothing created.
inline constexpr std::int32_t kResultNoSource = -2;

// Decrypts the container that starts `offset` bytes into `sourcePath` into
// `destinationPath` (created, or emptied). Reports (chunk index, chunk count,
// text 61412) after each 1024-byte chunk and (1, 1, text 61410) at the end,
// texts from `moduleInstance`. Returns 0, -1 or -2.
std::int32_t DecryptContainer(const char16_t* sourcePath, const char16_t* destinationPath,
                              const unsigned char* password, std::int32_t passwordLength,
                              ProgressCallback progress, std::uint32_t offset,
                              ModuleInstance moduleInstance);

// Encrypts `sourcePath` with cipher 1, 2 or 3 into a container at `offset` of
// `destinationPath`; with a non-zero offset the bytes of `carrierPath` come
// first, then zeros up to the offset. Reports as DecryptContainer, counted
// over the plaintext. Returns 0, -1 or -2 (no source).
std::int32_t EncryptContainer(const char16_t* sourcePath, const char16_t* destinationPath,
                              const unsigned char* password, std::int32_t passwordLength,
                              std::int32_t cipherIdentifier, ProgressCallback progress,
                              std::uint32_t offset, const char16_t* carrierPath,
                              ModuleInstance moduleInstance);

// Recreates the files and folders of the package `packagePath` below
// `destinationFolder`. Returns 0 or -1.
std::int32_t UnpackPackage(const char16_t* packagePath, const char16_t* destinationFolder,
                           ProgressCallback progress);

// Packs the file or folder tree `sourcePath` into `packagePath`, or appends it
// to an existing package, or (measureOnly) only counts what a package would
// hold. Returns 0 or -1.
std::int32_t PackPackage(const char16_t* sourcePath, const char16_t* packagePath, int append,
                         int measureOnly, std::uint32_t* entryCountOut,
                         std::uint32_t* totalBytesOut, ModuleInstance instance,
                         ProgressCallback progress);
