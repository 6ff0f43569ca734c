// <windows.h> for the Win32 side of the platform layer, and only for it.
//
// Several Win32 names are macros that would rename this project's own
// functions (platform::DeleteFile would become DeleteFileW, LoadString
// LoadStringW...), so they are undone here; the Win32 calls are made by
// their W names. Only the Win32 files of platform/ include this (win32/,
// ui_win32/), never an interface header.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef GetFileAttributes
#undef LoadString
#undef CreateFile
#undef MessageBox

#include <cstdint>
#include <cwchar>

namespace platform::win32 {

// The platform's wide strings are UTF-16, as Windows' own: the same units.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

inline HANDLE ToHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
inline std::intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace platform::win32
