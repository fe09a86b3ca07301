// Windows backend of the model file read: CreateFileA for reading with no sharing, so the open
// fails while another process holds the file; the causes come from GetLastError.
#include <windows.h>

#include "base/afx.h"
#include "base/win_support.h"
#include "model/model_reader.h"

bool ReadModelFileHead(const std::string& path, std::size_t maxBytes, std::string* data, int* cause) {
  data->clear();
  *cause = FileException::none;

  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *cause = FileCauseFromWin32Error(GetLastError());
    return false;
  }

  data->resize(maxBytes);
  std::size_t total = 0;
  while (total < maxBytes) {
    DWORD got = 0;
    if (!ReadFile(file, data->data() + total, static_cast<DWORD>(maxBytes - total), &got, nullptr)) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      data->clear();
      throw FileException(FileCauseFromWin32Error(error), path, static_cast<long>(error));
    }
    if (got == 0) break;
    total += got;
  }
  data->resize(total);
  CloseHandle(file);
  return true;
}
