// The real platform of the Windows program: the A functions of kernel32 and shell32.
#include <windows.h>
#include <io.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdlib>

#include "base/afx.h"
#include "base/platform.h"
#include "base/win_support.h"

namespace {

class WinPlatform final : public Platform {
 public:
  std::string ModuleFileName() override {
    char buffer[kMaxPath] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(sizeof buffer));
    // A path that does not fit is cut by the system; it is no path of ours then.
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
  }

  std::string SystemDirectory() override {
    char buffer[kMaxPath] = {};
    const UINT length = GetSystemDirectoryA(buffer, static_cast<UINT>(sizeof buffer));
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
  }

  std::string TempPath() override {
    char buffer[kMaxPath] = {};
    const DWORD length = GetTempPathA(static_cast<DWORD>(sizeof buffer), buffer);
    if (length == 0 || length >= sizeof buffer) return std::string();
    return std::string(buffer, length);
  }

  bool Exists(const std::string& path) override { return _access(path.c_str(), 0) == 0; }

  int WriteWholeFileExclusive(const std::string& path, const std::string& bytes) override {
    // CFile::Open with modeCreate | modeWrite and no share flag: create or truncate, no sharing.
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileCauseFromWin32Error(GetLastError());
    int cause = 0;
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
      if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
        cause = FileCauseFromWin32Error(GetLastError());
        break;
      }
      if (written == 0) {
        cause = FileException::diskFull;
        break;
      }
      done += written;
    }
    if (!CloseHandle(file) && cause == 0) cause = FileCauseFromWin32Error(GetLastError());
    return cause;
  }

  void OleInit() override {
    // AfxOleInit: the result is not tested.
    (void)OleInitialize(nullptr);
  }

  bool StartProgram(const std::string& program, const std::string& workingDirectory) override {
    const HINSTANCE result = ShellExecuteA(MainWindowHandle(), "open", program.c_str(), nullptr,
                                           workingDirectory.c_str(), SW_SHOW);
    return reinterpret_cast<INT_PTR>(result) > 32;
  }

  [[noreturn]] void ExitProcess(int status) override { std::exit(status); }
};

}  // namespace

bool IsSystemLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

Platform& RealPlatform() {
  static WinPlatform platform;
  return platform;
}

// A Windows program keeps its data beside itself.
std::string DataDirectory(const std::string&) { return ProgramDirectory(); }

bool ProgramIsInstalled() { return false; }

std::string AbsolutePath(const std::string& path) {
  char buffer[kMaxPath];
  const DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(sizeof buffer), buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}
