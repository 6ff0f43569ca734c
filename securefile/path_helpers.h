// Device path helpers that unpacking rests on. Paths are wide strings of at
// most 259 characters; '\' is the only character looked at, and two
// backslashes in a row have an empty component between them.
#pragma once

#include <cstdint>

namespace securefile {

// The part of `path` in front of its (n + 1)-th backslash, into `out`
// (kMaxPath units). Without that many backslashes `out` gets the whole path
// and the result is 0 if the path holds exactly n backslashes, -1 if fewer.
std::int32_t PathPrefix(const char16_t* path, std::uint32_t n, char16_t* out);

// The part of `path` behind its n-th backslash counted from the end: its
// last n components. -1, `out` untouched, when there are fewer than n
// backslashes (or n is 0).
std::int32_t PathSuffix(const char16_t* path, std::uint32_t n, char16_t* out);

// Makes sure every folder along `path` exists, the path itself included;
// the part before the first backslash is never examined. A folder that
// appears while it is being created (made by someone else) counts as found.
// -1 when a folder can be neither found nor created (a file in the way);
// folders created before that stay.
std::int32_t CreatePathFolders(const char16_t* path);

}  // namespace securefile
