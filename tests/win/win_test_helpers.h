// Helpers shared by the Windows tests: the check of code page 936 texts against their characters.
#pragma once

#include <windows.h>

#include <optional>
#include <string>


namespace wintest {

// Code page 936 bytes back to UTF-16, so that a text can be compared with the characters the user is
// meant to see (a wrongly encoded literal does not survive the round trip).
inline std::wstring FromCp936(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int n =
      MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return L"<not code page 936>";
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  return wide;
}

// UTF-16 to code page 936 bytes.
inline std::string ToCp936(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}


}  // namespace wintest
