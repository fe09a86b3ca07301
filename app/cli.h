// qelmora-cli: the program's commands for batch and headless use. Each command lives beside the
// code it drives; this header names them for the dispatcher in cli_main.cpp.
#pragma once

#include <cstdio>
#include <optional>
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
int CliInitStore(const CliContext& context, const std::vector<std::string>& args);   // store/store_cli.cpp
int CliBackup(const CliContext& context, const std::vector<std::string>& args);      // store/store_cli.cpp
int CliHistory(const CliContext& context, const std::vector<std::string>& args);     // store/store_cli.cpp
int CliCopyHistory(const CliContext& context, const std::vector<std::string>& args); // store/copy_history_cli.cpp
int CliImport(const CliContext& context, const std::vector<std::string>& args);      // model/import_cli.cpp
int CliOutbox(const CliContext& context, const std::vector<std::string>& args);      // store/outbox_cli.cpp
int CliSync(const CliContext& context, const std::vector<std::string>& args);        // store/outbox_cli.cpp
int CliReport(const CliContext& context, const std::vector<std::string>& args);      // report/report_cli.cpp
int CliSpectrum(const CliContext& context, const std::vector<std::string>& args);    // report/spectrum_cli.cpp
int CliQuality(const CliContext& context, const std::vector<std::string>& args);     // report/quality_cli.cpp
int CliHandoff(const CliContext& context, const std::vector<std::string>& args);     // handoff/handoff_cli.cpp
int CliAssociate(const CliContext& context, const std::vector<std::string>& args);   // shell/shell_cli.cpp
int CliShortcut(const CliContext& context, const std::vector<std::string>& args);    // shell/shell_cli.cpp

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
