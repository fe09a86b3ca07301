// Where a run's store is when its command line names none, and the stores that live on a server.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <array>

#include "store/parameter_store.h"

// `store = …` of the user's qelmora.conf, a store on a server or a directory: on Linux in
// $XDG_CONFIG_HOME/qelmora/ (~/.config when unset), on Windows in %APPDATA%\qelmora\. nullopt when
// the file does not exist or names no store. Raises StoreError naming the file when it cannot be
// read or holds a line of anything else.
std::optional<std::string> ConfiguredStoreLocation();

// The store that the text of a qelmora.conf (read from `file`) names: its last `store = …` line;
// blank lines and lines beginning with '#' are skipped, a byte-order mark at the start too.
// nullopt when it names none; raises StoreError naming the file and the line of anything else.
std::optional<std::string> StoreLocationInConfig(std::string content, const std::string& file);

// The history's columns of a store that a lab shares (StoredRow::importedBy, ::workstation).
inline constexpr const char* kImportedByColumn = "imported_by";
inline constexpr const char* kWorkstationColumn = "workstation";

// A location as the program uses it: a store on a server as it stands, a folder ending in the
// separator.
std::string StoreLocationOf(const std::string& text);

// Whether a location names a store on a server rather than a folder (its kind's OnServer,
// store/store_kind.h; Linux: the lab store's libpq URI or service; Windows: an ODBC connection string
// or DSN).
bool IsServerStoreLocation(const std::string& location);

// Whether an import may wait in the user's outbox when the store's server cannot be reached (the
// default); without, an unreachable server is the import's failure. Windows keeps no outbox.
void KeepImportsWhenAway(bool keep);

// sync: opens the store on a server, which first sends what waits in the outbox for it. Returns
// what the user is told; raises StoreError (the server is away, say).
std::string SendWaitingImports(const std::string& location);

// outbox: the imports that wait, oldest first, each as its store, id, time read and model file.
std::vector<std::array<std::string, 4>> WaitingImportList();
