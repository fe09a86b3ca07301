// The commands of qelmora-cli, one entry each, the usage text made from them, and what the
// commands share.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>

#include "app/cli.h"
#include "app/run_store.h"
#include "base/afx.h"
#include "base/platform.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

const CliCommand kCliCommands[] = {
    {"init-store", "",
     "create DIR/dravo.mdb with table1; without --store beside this program, or when it is installed in "
     "$XDG_DATA_HOME/qelmora; with LOCATION, the lab store's table, triggers and member role",
     CliInitStore},
    {"import", "[--again] [--no-outbox] FILE...",
     "import model files, one row each; with several files every message line begins with its file; a "
     "file whose content is this workstation's newest row from it is not imported again (exit 0) unless "
     "--again; a lab store that cannot be reached keeps the row in the outbox (exit 0) unless --no-outbox",
     CliImport},
    {"history", "[FILTERS] [--xlsx FILE [--force]]",
     "print the rows of table1 as CSV, or write the history workbook to FILE: trend charts with error "
     "bars, changes over twice the combined standard error flagged within each folder's series. FILTERS, "
     "combined: --source GLOB (the model file's path; '*' also matches '/'), --since DATE, --until DATE "
     "(YYYY-MM-DD, UTC import time; --until includes that whole day), --workstation USER@HOST, --by ROLE "
     "(both a lab store's only)",
     CliHistory},
    {"report", "--csv | --xlsx FILE [--data DATAFILE] [--force]",
     "the report of the current parameter set; the measured spectrum of DATAFILE, else of the data file "
     "beside the model file, drawn beside the model; an existing FILE is replaced only with --force",
     CliReport},
    {"spectrum", "[--data DATAFILE]",
     "the modelled impedance spectrum of the current parameter set as CSV; with --data, the measured points "
     "of DATAFILE beside the model at their frequencies, with the residuals in %",
     CliSpectrum},
    {"quality", "[--data DATAFILE] [--json]",
     "how far the current parameter set can be trusted against DATAFILE, else the data file beside the "
     "model file: each value's standard error and 95 % interval, the T-P correlations, the data's "
     "Kramers-Kronig check; --json: one JSON object",
     CliQuality},
    {"backup", "FILE", "copy the store, consistently, into the new file FILE (never replaced)", CliBackup},
    {"handoff", "[--no-launch]",
     "write the hand-off file, print its path and start sim/Kambrisolve.exe beside this program; exit 1 "
     "when the store or the file fails (nothing started) or the simulator cannot be started (the file "
     "stays written); a Windows simulator runs under wine and gets the file in its Wine prefix's "
     "temporary directory",
     CliHandoff},
    {"associate", "", "register the program for .mdl files", CliAssociate},
    {"shortcut", "", "put a launcher on the desktop", CliShortcut},
    {"copy-history", "DIR",
     "copy the rows of the store in DIR into the lab store of --store LOCATION (rows copied before are "
     "skipped)",
     CliCopyHistory},
    {"outbox", "",
     "list, as CSV, the imports that wait in $XDG_DATA_HOME/qelmora/outbox.mdb for a lab store", CliOutbox},
    {"sync", "", "send the imports that wait to the lab store now (every command that opens it sends them first)",
     CliSync},
};

// The usage's lines: a command and its arguments from the third column, what it does from the 31st,
// its words wrapped within 80 columns.
constexpr std::size_t kSummaryColumn = 30;
constexpr std::size_t kLineWidth = 80;

std::string CommandUsage(const CliCommand& command) {
  std::string text;
  std::string line = std::string("  ") + command.name + (*command.synopsis != '\0' ? " " : "") + command.synopsis;
  if (line.size() + 2 > kSummaryColumn) {
    text += line + "\n";
    line.clear();
  }
  line.resize(kSummaryColumn, ' ');
  std::istringstream words(command.summary);
  bool lineEmpty = true;
  for (std::string word; words >> word;) {
    if (!lineEmpty && line.size() + 1 + word.size() > kLineWidth) {
      text += line + "\n";
      line.assign(kSummaryColumn, ' ');
      lineEmpty = true;
    }
    line += (lineEmpty ? "" : " ") + word;
    lineEmpty = false;
  }
  return text + line + "\n";
}

}  // namespace

std::span<const CliCommand> CliCommands() { return kCliCommands; }

void CliUsage(std::FILE* stream) {
  std::string text =
      "usage: qelmora-cli [--store DIR | --store LOCATION] COMMAND [ARGS...]\n"
      "       qelmora-cli --help | -h | --version\n";
  for (const CliCommand& command : kCliCommands) text += CommandUsage(command);
  text +=
      "LOCATION is a lab store on a PostgreSQL server:\n"
      "postgresql://[user@]host[:port]/db[?sslmode=...] or service=NAME (passwords from\n"
      "~/.pgpass, PGPASSWORD or the service file, never in LOCATION). Without --store,\n"
      "the store is the one that \"store = ...\" of $XDG_CONFIG_HOME/qelmora/qelmora.conf\n"
      "names, when that file exists; else DIR defaults to the program directory when it\n"
      "holds dravo.mdb, else to the user's data directory ($XDG_DATA_HOME/qelmora),\n"
      "where the store is created on first use.\n";
  std::fputs(text.c_str(), stream);
}

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
  if (context.userStore) CreateUserStoreShown(context.storeDir);
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
