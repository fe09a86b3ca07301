// qelmora-cli [--store DIR] COMMAND [ARGS...]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/afx.h"
#include "app/cli.h"
#include "app/platform.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const CliContext&, const std::vector<std::string>&);
};

const Command kCommands[] = {
    {"init-store", CliInitStore}, {"import", CliImport},       {"history", CliHistory},
    {"report", CliReport},        {"handoff", CliHandoff},     {"associate", CliAssociate},
    {"shortcut", CliShortcut},     {"spectrum", CliSpectrum},   {"backup", CliBackup},
    {"copy-history", CliCopyHistory}, {"quality", CliQuality},
    {"outbox", CliOutbox},            {"sync", CliSync},
};

// Runs a command. Its messages go to standard error (the default message boxes print there), so
// that standard output carries its results alone; results that could not all be written are a failure.
int RunCommand(const Command& command, const CliContext& context, const std::vector<std::string>& args) {
  int status = 1;
  try {
    status = command.run(context, args);
  } catch (const FileException& e) {
    std::fprintf(stderr, "%s\n", e.ReportText().c_str());
  } catch (const ComError& e) {
    std::fprintf(stderr, "%s\n", ComErrorText(e.Error()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("无法写入标准输出\n", stderr);
    if (status == 0) status = 1;
  }
  return status;
}

}  // namespace

bool CliTakeForce(std::vector<std::string>* args) {
  const auto at = std::find(args->begin(), args->end(), "--force");
  if (at == args->end()) return false;
  args->erase(at);
  return true;
}

bool CliMayWrite(const std::string& path, bool force) {
  if (force || !ThePlatform().Exists(path)) return true;
  std::fprintf(stderr, "文件 %s 已存在，未替换它；要替换它请加 --force\n", path.c_str());
  return false;
}

bool CliOpenStore(const CliContext& context) {
  // No program directory (its path is not known) and no --store: never a store of the current directory.
  if (context.storeDir.empty()) {
    AfxMessageBox(kProgramPathUnknownText);
    return false;
  }
  if (context.userStore) {
    const std::string created = CreateUserStoreOnFirstUse(context.storeDir);
    if (!created.empty()) std::fprintf(stderr, "%s\n", created.c_str());
  }
  OpenParameterStore(context.storeDir);
  return ParameterStoreConnected();
}

std::optional<StoredRow> CliReadCurrent(const CliContext& context, std::string* storeName) {
  if (!CliOpenStore(context)) return std::nullopt;
  struct CloseAtEnd {
    ~CloseAtEnd() { CloseParameterStore(); }
  } closeAtEnd;
  StoredRow row = TheParameterStore().ReadCurrent();
  if (storeName != nullptr) *storeName = TheParameterStore().Name();
  return row;
}

void CliUsage(std::FILE* stream) {
  std::fputs(
      "usage: qelmora-cli [--store DIR | --store LOCATION] COMMAND [ARGS...]\n"
      "       qelmora-cli --help | -h | --version\n"
      "  init-store                  create DIR/dravo.mdb with table1; without --store\n"
      "                              beside this program, or when it is installed in\n"
      "                              $XDG_DATA_HOME/qelmora; with LOCATION, the lab store's\n"
      "                              table, triggers and member role\n"
      "  import [--again] [--no-outbox] FILE...\n"
      "                              import model files, one row each; with several\n"
      "                              files every message line begins with its file; a\n"
      "                              file whose content is this workstation's newest\n"
      "                              row from it is not imported again (exit 0) unless\n"
      "                              --again; a lab store that cannot be reached keeps\n"
      "                              the row in the outbox (exit 0) unless --no-outbox\n"
      "  history [--xlsx FILE [--force]]\n"
      "                              print every row of table1 as CSV, or write the\n"
      "                              history workbook with trend charts to FILE\n"
      "  report --csv | --xlsx FILE [--data DATAFILE] [--force]\n"
      "                              the report of the current parameter set; the\n"
      "                              measured spectrum of DATAFILE, else of the data file\n"
      "                              beside the model file, drawn beside the model; an\n"
      "                              existing FILE is replaced only with --force\n"
      "  spectrum [--data DATAFILE]  the modelled impedance spectrum of the current\n"
      "                              parameter set as CSV; with --data, the measured\n"
      "                              points of DATAFILE beside the model at their\n"
      "                              frequencies, with the residuals in %\n"
      "  quality [--data DATAFILE] [--json]\n"
      "                              how far the current parameter set can be trusted\n"
      "                              against DATAFILE, else the data file beside the\n"
      "                              model file: each value's standard error and 95 %\n"
      "                              interval, the T-P correlations, the data's\n"
      "                              Kramers-Kronig check; --json: one JSON object\n"
      "  backup FILE                 copy the store, consistently, into the new file FILE\n"
      "                              (never replaced)\n"
      "  handoff [--no-launch]       write the hand-off file, print its path and start\n"
      "                              sim/Kambrisolve.exe beside this program; exit 1 when\n"
      "                              the store or the file fails (nothing started) or the\n"
      "                              simulator cannot be started (the file stays written);\n"
      "                              a Windows simulator runs under wine and gets the\n"
      "                              file in its Wine prefix's temporary directory\n"
      "  associate                   register the program for .mdl files\n"
      "  shortcut                    put a launcher on the desktop\n"
      "  copy-history DIR            copy the rows of the store in DIR into the lab store\n"
      "                              of --store LOCATION (rows copied before are skipped)\n"
      "  outbox                      list, as CSV, the imports that wait in\n"
      "                              $XDG_DATA_HOME/qelmora/outbox.mdb for a lab store\n"
      "  sync                        send the imports that wait to the lab store now\n"
      "                              (every command that opens it sends them first)\n"
      "LOCATION is a lab store on a PostgreSQL server: postgresql://[user@]host[:port]/db\n"
      "[?sslmode=...] or service=NAME (passwords from ~/.pgpass, PGPASSWORD or the\n"
      "service file, never in LOCATION). Without --store, the store is the one that\n"
      "\"store = ...\" of $XDG_CONFIG_HOME/qelmora/qelmora.conf names, when that file exists;\n"
      "else DIR defaults to the program directory when it holds dravo.mdb, else to the\n"
      "user's data directory ($XDG_DATA_HOME/qelmora), where the store is created on\n"
      "first use.\n",
      stream);
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    CliUsage(stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("qelmora-cli %s\n", QELMORA_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  CliContext context;
  context.userStore = true;
  std::size_t i = 0;
  if (i < args.size() && args[i] == "--store") {
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      CliUsage();
      return 2;
    }
    context.storeDir = args[i + 1];
    context.userStore = false;
    i += 2;
  }
  if (i >= args.size()) {
    CliUsage();
    return 2;
  }
  if (context.userStore) {
    // The store of a run that names none: the one the configuration names, else the local store;
    // init-store makes the portable one beside a program run from its own folder, and the user's
    // store for an installed program (as the dialog does), never one that would override every user's.
    std::optional<std::string> configured;
    try {
      configured = ConfiguredStoreLocation();
    } catch (const StoreError& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 1;
    }
    if (configured) {
      context.storeDir = *configured;
      context.userStore = false;
    } else {
      context.storeDir = args[i] == "init-store" && !ProgramIsInstalled() ? ProgramDirectory() : StoreDirectory();
    }
  }
  context.storeDir = StoreLocationOf(context.storeDir);
  const std::string name = args[i];
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  for (const Command& command : kCommands) {
    if (name == command.name) return RunCommand(command, context, rest);
  }
  std::fprintf(stderr, "未知命令：%s\n", name.c_str());
  CliUsage();
  return 2;
}
