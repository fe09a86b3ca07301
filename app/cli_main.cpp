// qelmora-cli [--store DIR] COMMAND [ARGS...]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/afx.h"
#include "app/cli.h"
#include "app/platform.h"
#include "store/store.h"

namespace {

ConsoleMessageBoxes g_cliBoxes(stdout);

struct Command {
  const char* name;
  int (*run)(const CliContext&, const std::vector<std::string>&);
};

const Command kCommands[] = {
    {"init-store", CliInitStore}, {"import", CliImport},       {"history", CliHistory},
    {"report", CliReport},        {"handoff", CliHandoff},     {"associate", CliAssociate},
    {"shortcut", CliShortcut},
};

}  // namespace

void InstallCliMessageBoxes() { AfxSetMessageBoxes(&g_cliBoxes); }

bool CliOpenStore(const CliContext& context) {
  // No program directory (its path is not known) and no --store: never a store of the current directory.
  if (context.storeDir.empty()) {
    AfxMessageBox(kProgramPathUnknownText);
    return false;
  }
  const PathParts parts = SplitPath(context.storeDir);
  OpenParameterStore(parts.drive, parts.dir);
  return ParameterStoreConnected();
}

void CliUsage() {
  std::fputs(
      "usage: qelmora-cli [--store DIR] COMMAND [ARGS...]\n"
      "  init-store                  create DIR/dravo.mdb with table1\n"
      "  import FILE...              import model files, one row each\n"
      "  history                     print every row of table1 as CSV\n"
      "  report --csv | --xlsx FILE  the report of the current parameter set\n"
      "  handoff [--no-launch]       write the hand-off file, print its path and start\n"
      "                              sim/Kambrisolve.exe beside this program; exit 1 when\n"
      "                              the store or the file fails (nothing started) or the\n"
      "                              simulator cannot be started (the file stays written)\n"
      "  associate                   register the program for .mdl files\n"
      "  shortcut                    put a launcher on the desktop\n"
      "DIR defaults to the program directory.\n",
      stderr);
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  CliContext context;
  context.storeDir = ProgramDirectory();
  std::size_t i = 0;
  if (i < args.size() && args[i] == "--store") {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      CliUsage();
      return 2;
    }
    context.storeDir = args[i + 1];
    if (context.storeDir.back() != kPathSeparator) context.storeDir += kPathSeparator;
    i += 2;
  }
  if (i >= args.size()) {
    CliUsage();
    return 2;
  }
  const std::string name = args[i];
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  for (const Command& command : kCommands) {
    if (name == command.name) {
      InstallCliMessageBoxes();
      try {
        return command.run(context, rest);
      } catch (const FileException& e) {
        std::printf("%s\n", e.ReportText().c_str());
      } catch (const ComError& e) {
        std::printf("%s\n", ComErrorText(e.Error()).c_str());
      } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
      }
      return 1;
    }
  }
  CliUsage();
  return 2;
}
