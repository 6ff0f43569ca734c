// What each host's file back end (files.cpp on Linux, win32/files_win32.cpp
// on Windows) supplies to the file logic that is the same on every host
// (files_common.cpp: the buffered File; staging_files.cpp: staging files).
// Internal to platform/. Failures leave the host's error for LastError().
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace platform::host {

// Reads what is there, up to `size`: the count, 0 at the end, -1 on an error.
long long ReadSome(NativeHandle file, unsigned char* data, std::size_t size);
bool WriteAll(NativeHandle file, const unsigned char* data, std::size_t size);
bool Seek(NativeHandle file, std::uint64_t position);
bool SeekToEnd(NativeHandle file);
// Cuts (or extends) the file to `length` bytes; the position stays.
bool Truncate(NativeHandle file, std::uint64_t length);
bool Close(NativeHandle file);
bool GetOpenFileId(NativeHandle file, FileId* id);

// Sets the error LastError() returns, and the host's codes for two of them.
void SetError(int error);
int OutOfMemoryError();
int FileExistsError();

// For the staging files.
unsigned ProcessId();
// False (with the error) unless `name` is a valid name in `folder` that a
// staging file may replace: not a symbolic link, not a folder.
bool MayReplace(const Folder& folder, const char16_t* name);
// Creates the file `name` in `folder` for writing (hidden where the host
// hides files); FileExistsError() when the name is taken. -1 on failure.
NativeHandle CreateNewIn(const Folder& folder, const char16_t* name);
// ReplaceIn and DeleteIn (files.h) on an open folder, without the table.
bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to);
bool DeleteIn(const Folder& folder, const char16_t* name);

// A folder kept for RemoveStagingFilesNow, which may run in a signal
// handler: it stays usable whatever the writer does with its Folder.
struct HeldFolder {
#ifdef _WIN32
  char16_t path[kMaxPath] = {};  // Windows deletes by path
#else
  std::atomic<int> descriptor{-1};  // a duplicate of the folder's descriptor
#endif
};
bool Hold(const Folder& folder, HeldFolder* held);
void Release(HeldFolder* held);
// Deletes `name` (a staging name, ASCII) in the held folder; on Linux
// async-signal-safe.
void DeleteIn(const HeldFolder& folder, const char16_t* name);

}  // namespace platform::host
