// How the two Win32 platform files (PlatformWin32.cpp, HostPlatformWin32.cpp)
// include the system's headers, and the UTF-16 views both hand to the wide Win32
// calls. Internal to src/platform; nothing else includes an OS header.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 text is UTF-16");

namespace platform::win32 {

inline const wchar_t* AsWide(const char16_t* AP) {
  return reinterpret_cast<const wchar_t*>(AP);
}
inline wchar_t* AsWide(char16_t* AP) {
  return reinterpret_cast<wchar_t*>(AP);
}

// A null-terminated copy for the Win32 calls; empty when the text holds a NUL
// (which would silently shorten the name the system sees).
inline std::wstring ToWide(std::u16string_view AText) {
  if (AText.find(u'\0') != std::u16string_view::npos) return {};
  return std::wstring(AsWide(AText.data()), AText.size());
}

}  // namespace platform::win32
