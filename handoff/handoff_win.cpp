// Windows backend of the hand-off file: the name from GetTempPathA and GetTempFileNameA, the bytes
// written through a handle that nobody else may open meanwhile.
#include <windows.h>

#include "base/afx.h"
#include "base/platform.h"
#include "handoff/handoff.h"

namespace {

std::string LastErrorText(DWORD error) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                      reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  std::string text = length > 0 ? std::string(buffer, length) : Format("系统错误 %lu", error);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

std::string HandoffFilePath(const std::string& directory) {
  // With the unique number 16 the name is only formed, never created: "~qe10.tmp".
  char name[kMaxPath] = {};
  if (GetTempFileNameA(directory.c_str(), "~qelmora", 16, name) == 0) return std::string();
  return std::string(name);
}

// The simulation program is a Windows program and finds the file in its own temporary directory.
std::string SimulatorTempDirectory() { return ThePlatform().TempPath(); }

void WriteHandoffFile(const std::string& path, const HandoffBytes& bytes) {
  if (path.empty()) throw OperationError("无法确定临时文件的名称");
  // modeCreate | modeWrite, no share flag: created or truncated, exclusive while it is written.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) throw OperationError(LastErrorText(GetLastError()));
  DWORD written = 0;
  std::string failure;
  if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    failure = LastErrorText(GetLastError());
  } else if (written != bytes.size()) {
    failure = LastErrorText(ERROR_DISK_FULL);
  }
  if (!CloseHandle(file) && failure.empty()) failure = LastErrorText(GetLastError());
  if (!failure.empty()) throw OperationError(failure);
}
