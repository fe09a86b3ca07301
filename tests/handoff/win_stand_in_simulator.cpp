// Stands in for the Windows build of sim/Kambrisolve.exe, run under Wine by the Linux tests: writes
// how it was started and what it found at GetTempPathA() + "~qe10.tmp" to "record.txt" in its
// working directory (complete before the name appears). Built with the MinGW compiler.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char**) {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof directory, directory);
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);

  std::string record = std::string("cwd ") + directory + "\n";
  record += "args " + std::to_string(argc - 1) + "\n";
  record += std::string("temp ") + temp + "\n";
  const std::string path = std::string(temp) + "~qe10.tmp";
  const HANDLE in = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    record += "size -1\n";
  } else {
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(in);
    record += "size " + std::to_string(bytes.size()) + "\nbytes ";
    static const char kHex[] = "0123456789abcdef";
    for (unsigned char c : bytes) {
      record += kHex[c >> 4];
      record += kHex[c & 15];
    }
    record += "\n";
  }

  const HANDLE out = CreateFileA("record.txt.part", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(out, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(out);
  if (!ok || written != record.size()) return 1;
  return MoveFileExA("record.txt.part", "record.txt", MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
