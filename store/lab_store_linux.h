// The lab store: the parameter history of a whole lab in table1 of a PostgreSQL database, reached
// through libpq. A location is a libpq connection URI ("postgresql://[user@]host[:port]/dbname[?…]")
// or "service=NAME" (the user's pg_service.conf); passwords come only from libpq's own means
// (~/.pgpass, PGPASSWORD, a service file, client certificates), never from the location.
//
// Rows are only ever inserted: the server stamps each with its time (imported_at), the importing
// role (imported_by), and the importer gives its "user@host" (workstation). The current parameter
// set is the newest row of this workstation; the history is every row of the lab.
#pragma once

#include <memory>
#include <string>

#include "store/parameter_store.h"

// Whether a store location names a lab store rather than a directory.
bool IsLabStoreLocation(const std::string& location);

// Connects (within libpq's connect_timeout, 10 s unless the location says otherwise) and checks
// that table1 is exactly what InitLabStore makes. Raises StoreError with the user's message; a
// server that is away is none while imports may wait in the outbox (KeepImportsWhenAway,
// store_location.h): the store then says so (TakeNotice) and connects when a command needs it.
std::unique_ptr<ParameterStore> OpenLabStore(const std::string& location);

// Creates table1, its indexes and triggers and the members' role; on a database where that schema
// is already complete it changes nothing. Returns what the user is told; raises StoreError when it
// refuses (anything else of the name table1) or fails.
std::string InitLabStore(const std::string& location);

// Copies every row of `from` (a local store, named `fromName`) into the lab store with its import
// time and source, in one transaction; rows copied by an earlier run are not copied again. Returns
// what the user is told. Raises StoreError; then nothing was copied.
std::string CopyHistoryToLabStore(ParameterStore& lab, ParameterStore& from, const std::string& fromName);

// The members' group role that init-store makes: it may insert and read table1, nothing else.
inline constexpr const char* kLabMemberRole = "qelmora_member";

// "user@host" of this process: the effective user's name and the host name.
std::string WorkstationName();
