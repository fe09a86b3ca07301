// qelmora-cli: the program's commands for batch and headless use. Each command is one entry of the
// table in cli_commands.cpp (name, arguments, what it does, the function), from which the dispatcher
// in cli_main.cpp runs it and the usage text is made; its function lives in its own app/*_cli.cpp.
// What the commands share (the helpers below) is in cli_commands.cpp, beside the table.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "store/store.h"

struct CliContext {
  // The store's location: a directory ending in the separator (--store DIR, the configured one, else
  // StoreDirectory()) or a store on a server (--store LOCATION or the configured one).
  std::string storeDir;
  // No --store: the user's store is created on first use.
  bool userStore = false;
};

// Each returns the process exit status: 0 success, 1 failure, 2 bad arguments (after printing usage).
int CliInitStore(const CliContext& context, const std::vector<std::string>& args);   // app/store_cli.cpp
int CliBackup(const CliContext& context, const std::vector<std::string>& args);      // app/store_cli.cpp
int CliHistory(const CliContext& context, const std::vector<std::string>& args);     // app/store_cli.cpp
int CliCopyHistory(const CliContext& context, const std::vector<std::string>& args); // app/copy_history_cli.cpp
int CliImport(const CliContext& context, const std::vector<std::string>& args);      // app/import_cli.cpp
int CliOutbox(const CliContext& context, const std::vector<std::string>& args);      // app/outbox_cli.cpp
int CliSync(const CliContext& context, const std::vector<std::string>& args);        // app/outbox_cli.cpp
int CliReport(const CliContext& context, const std::vector<std::string>& args);      // app/report_cli.cpp
int CliSpectrum(const CliContext& context, const std::vector<std::string>& args);    // app/spectrum_cli.cpp
int CliQuality(const CliContext& context, const std::vector<std::string>& args);     // app/quality_cli.cpp
int CliHandoff(const CliContext& context, const std::vector<std::string>& args);     // app/handoff_cli.cpp
int CliAssociate(const CliContext& context, const std::vector<std::string>& args);   // app/shell_cli.cpp
int CliShortcut(const CliContext& context, const std::vector<std::string>& args);    // app/shell_cli.cpp

// One command: its name, its arguments as the usage shows them, what it does (one sentence, wrapped
// by the usage), and the function that runs it.
struct CliCommand {
  const char* name;
  const char* synopsis;
  const char* summary;
  int (*run)(const CliContext& context, const std::vector<std::string>& args);
};

// Every command, in the order of the usage text.
std::span<const CliCommand> CliCommands();

// Opens the store in context.storeDir as the run's store (TheParameterStore; the failure is
// printed). Returns false when it could not be opened.
bool CliOpenStore(const CliContext& context);

// The current parameter set of the store in context.storeDir with its provenance, the store closed
// again; storeName, when given, receives the store's Name(). nullopt when the store could not be
// opened (printed); a failed read raises StoreError.
std::optional<StoredRow> CliReadCurrent(const CliContext& context, std::string* storeName = nullptr);

// Prints the usage text, by default to standard error (after bad arguments).
void CliUsage(std::FILE* stream = stderr);

// Takes "--force" out of args; true when it was there.
bool CliTakeForce(std::vector<std::string>* args);

// The rule of the commands that write a file the user names: an existing file is never replaced
// unless --force was given. False, after saying so, when path exists and force is false.
bool CliMayWrite(const std::string& path, bool force);
