#include "base/win_support.h"

#include "base/afx.h"

namespace {
HWND g_hMainWnd = nullptr;
}

int FileCauseFromWin32Error(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return FileException::fileNotFound;           // 2
    case ERROR_PATH_NOT_FOUND: return FileException::badPath;                // 3
    case ERROR_TOO_MANY_OPEN_FILES: return FileException::tooManyOpenFiles;  // 4
    case ERROR_ACCESS_DENIED: return FileException::accessDenied;            // 5
    case ERROR_SHARING_VIOLATION: return FileException::sharingViolation;    // 32
    case ERROR_LOCK_VIOLATION: return FileException::lockViolation;          // 33
    case ERROR_DISK_FULL: return FileException::diskFull;                    // 112
    default: return FileException::genericException;
  }
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string WideToAnsi(const wchar_t* text, int length) {
  if (text == nullptr) return std::string();
  if (length < 0) length = lstrlenW(text);
  if (length == 0) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

void SetMainWindowHandle(HWND hwnd) { g_hMainWnd = hwnd; }

HWND MainWindowHandle() { return g_hMainWnd; }
