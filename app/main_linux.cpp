// qelmora on Linux: the Qt application around the one modal dialog.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_dialog_view_linux.h"
#include "app/viewer_app.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (!qtview::InstallQtTranslations()) {
    std::fprintf(stderr, "qelmora: Qt's Chinese translations (qt6-translations-l10n) are not installed; "
                         "the standard buttons and the Open dialog show in English\n");
  }
  QApplication::setFont(qtview::DialogFont());
  QApplication::setWindowIcon(qtview::ProgramIcon());
  // The arguments as the system gave them (Qt has taken out its own options).
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  theApp.InitInstance(args);
  return 0;
}
