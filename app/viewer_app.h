// The application object: takes the model file named on the command line and runs the main dialog.
#pragma once

#include <memory>
#include <string>
#include <vector>

class MainDialogView;

// The toolkit's view of the main dialog (Qt on Linux, Win32 on Windows).
std::unique_ptr<MainDialogView> CreateMainDialogView();

// The first argument that does not begin with an option mark (arguments after the program name): "-"
// or "/" on Windows; on Linux only "-", since every absolute path there begins with "/".
std::string CommandLineFileName(const std::vector<std::string>& args);

class ViewerApp {
 public:
  // Runs the main dialog modally with the command-line file in its path box; returns false, so the
  // program ends when the dialog does.
  bool InitInstance(const std::vector<std::string>& args);
};

extern ViewerApp theApp;
