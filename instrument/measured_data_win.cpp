#include <windows.h>

#include "base/afx.h"
#include "base/win_support.h"
#include "instrument/measured_data.h"

std::string ProgramTextFromUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return WideToAnsi(wide.c_str(), length);
}

// The file is mapped, not copied; only a disk file is read (a pipe or a device would wait).
void UseDataFileBytes(const std::string& path, std::size_t maxBytes, const std::function<void(std::string_view)>& use) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw OperationError("无法打开文件");
  struct Closer {
    HANDLE handle;
    ~Closer() { CloseHandle(handle); }
  } closer{file};
  if (GetFileType(file) != FILE_TYPE_DISK) throw OperationError("不是普通文件（管道或设备）");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) throw OperationError("无法读取文件");
  if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) throw OperationError("文件大于 256 MB，不是阻抗谱数据");
  if (size.QuadPart == 0) return use({});
  const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) throw OperationError("无法读取文件");
  const Closer mappingCloser{mapping};
  const void* const view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) throw OperationError("无法读取文件");
  struct Unmapper {
    const void* view;
    ~Unmapper() { UnmapViewOfFile(view); }
  } unmapper{view};
  use(std::string_view(static_cast<const char*>(view), static_cast<std::size_t>(size.QuadPart)));
}
