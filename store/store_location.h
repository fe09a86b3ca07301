// Where a run's store is when its command line names none, and the stores that live on a server.
#pragma once

#include <memory>
#include <optional>
#include <string>

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

// Whether a location names a store on a server rather than a folder (its kind's OnServer,
// store/store_kind.h; Linux: the lab store's libpq URI or service; Windows has none).
bool IsServerStoreLocation(const std::string& location);
