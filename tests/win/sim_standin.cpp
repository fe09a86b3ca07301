// Stands in for the simulation program in the tests: records the folder it was started in, in the
// file "started.txt" of that folder, and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char directory[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
  const HANDLE file = CreateFileA("started.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, directory, length, &written, nullptr);
  CloseHandle(file);
  return 0;
}
