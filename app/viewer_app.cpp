#include "app/viewer_app.h"

#include "app/main_dialog.h"

ViewerApp theApp;

namespace {

// Whether a command-line argument is an option rather than a file. Windows options may also begin with
// "/"; on Linux every absolute path does, so there only "-" marks an option.
bool IsOption(const std::string& arg) {
  if (arg.empty()) return false;
#ifdef _WIN32
  return arg[0] == '-' || arg[0] == '/';
#else
  return arg[0] == '-';
#endif
}

}  // namespace

std::string CommandLineFileName(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    // An empty argument names no file; the next one may.
    if (!arg.empty() && !IsOption(arg)) return arg;
  }
  return {};
}

bool ViewerApp::InitInstance(const std::vector<std::string>& args) {
  const std::string fileName = CommandLineFileName(args);
  const std::unique_ptr<MainDialogView> view = CreateMainDialogView();
  MainDialog dialog(*view);
  dialog.m_strPath = fileName;
  AfxSetMessageBoxes(view.get());
  view->DoModal(dialog);
  // The view goes with this call: later messages (at exit) go to the default sink.
  AfxSetMessageBoxes(nullptr);
  return false;
}
