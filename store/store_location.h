// Where a run's store is when its command line names none, and the stores that live on a server.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <array>

#include "store/parameter_store.h"

// Linux: `store = …` of $XDG_CONFIG_HOME/qelmora/qelmora.conf (~/.config when unset), a lab store's
// location or a directory; blank lines and lines beginning with '#' are skipped. nullopt when the
// file does not exist or names no store. Raises StoreError naming the file when it cannot be read
// or holds a line of anything else. Windows reads no configuration: always nullopt.
std::optional<std::string> ConfiguredStoreLocation();

// The history's columns of a store that a lab shares (StoredRow::importedBy, ::workstation).
inline constexpr const char* kImportedByColumn = "imported_by";
inline constexpr const char* kWorkstationColumn = "workstation";

// A location as the program uses it: a store on a server as it stands, a folder ending in the
// separator.
std::string StoreLocationOf(const std::string& text);

// Whether a location names a store on a server rather than a folder (Linux: the lab store's libpq
// URI or service, store/lab_store_linux.h; Windows has none).
bool IsServerStoreLocation(const std::string& location);

// The store on a server, opened; raises StoreError.
std::unique_ptr<ParameterStore> OpenServerStore(const std::string& location);

// init-store for a server: makes its table (or finds it complete). Returns what the user is told;
// raises StoreError.
std::string InitServerStore(const std::string& location);

// copy-history: every row of `from` into the server's store `to`, rows copied before skipped.
// Returns what the user is told; raises StoreError, and then nothing was copied.
std::string CopyHistoryToServerStore(ParameterStore& to, ParameterStore& from);

// Whether an import may wait in the user's outbox when the store's server cannot be reached (the
// default); without, an unreachable server is the import's failure. Windows keeps no outbox.
void KeepImportsWhenAway(bool keep);

// sync: opens the store on a server, which first sends what waits in the outbox for it. Returns
// what the user is told; raises StoreError (the server is away, say).
std::string SendWaitingImports(const std::string& location);

// outbox: the imports that wait, oldest first, each as its store, id, time read and model file.
std::vector<std::array<std::string, 4>> WaitingImportList();
