#include <windows.h>

#include "app/win_support.h"
#include "report/measured_data.h"

std::string ProgramTextFromUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return WideToAnsi(wide.c_str(), length);
}
