// What each host supplies beneath the code both hosts share (shared/):
// Linux in posix/, Windows in win32/. Internal to platform/: nothing above
// the platform layer includes it. Failures of the file operations leave the
// host's error for LastError().
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace platform::host {

// Files, for the buffered File (buffered_file.cpp) and the staging files
// (staging_files.cpp).

// Reads what is there, up to `size`: the count, 0 at the end, -1 on an error.
long long ReadSome(HostHandle file, unsigned char* data, std::size_t size);
bool WriteAll(HostHandle file, const unsigned char* data, std::size_t size);
bool Seek(HostHandle file, std::uint64_t position);
bool SeekToEnd(HostHandle file);
// Cuts (or extends) the file to `length` bytes; the position stays.
bool Truncate(HostHandle file, std::uint64_t length);
bool Close(HostHandle file);
bool GetOpenFileId(HostHandle file, FileId* id);

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
HostHandle CreateNewIn(const Folder& folder, const char16_t* name);
// ReplaceIn and DeleteIn (files.h) on an open folder, without the table.
bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to, bool replace);
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

// The rest of the system, for the password code page, the screen, the
// resource language and the process's ending.

// `length` UTF-16 units in Windows-1251, into `out` (at most `capacity`
// bytes, no terminator added), the byte count to *written. False when a
// character has no exact Windows-1251 byte: never a substitute, never a
// best fit.
bool EncodeWindows1251(const char16_t* text, std::size_t length, unsigned char* out,
                       std::size_t capacity, std::size_t* written);

// The desktop's room for a window's inside (a maximised window's client
// area) in pixels, and its resolution in dots per inch; false where the host
// does not say (the stand-in's default size is used then).
bool DesktopSize(int* width, int* height, int* dotsPerInch);

// The user's language as the system names it ("en", "ru", "de"), for a host
// whose programs are not told it through the environment; null where they
// are (Linux).
const char* SystemLanguageName();

// Orderly exit (exit handlers and static destructors run) and immediate exit
// (none of them run).
[[noreturn]] void Exit(int exitCode);
[[noreturn]] void ExitAtOnce(int exitCode);

}  // namespace platform::host
