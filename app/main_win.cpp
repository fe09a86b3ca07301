// The Windows program's entry point: the arguments as the C run-time split them (CCommandLineInfo
// reads the same), then the application object runs the main dialog. InitInstance returns false:
// the program ends when the dialog does.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/viewer_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
  theApp.InitInstance(args);
  return 0;
}
