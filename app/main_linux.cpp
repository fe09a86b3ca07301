// qelmora on Linux: the Qt application around the one modal dialog.
#include <QApplication>
#include <string>
#include <vector>

#include "app/main_dialog_view_linux.h"
#include "app/viewer_app.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setFont(qtview::DialogFont());
  QApplication::setWindowIcon(qtview::ProgramIcon());
  // The arguments as the system gave them (Qt has taken out its own options).
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  theApp.InitInstance(args);
  return 0;
}
