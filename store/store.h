// The parameter store: every imported parameter set is one row of table1 in the database file
// "dravo.mdb" in the store's folder; the row imported last is the current parameter set.
//
// Commands see the store only through ParameterStore (parameter_store.h). OpenParameterStoreAt makes
// one from a store location; the dialog and qelmora-cli keep the one they opened for the run
// (OpenRunStore, TheParameterStore). Backends: store_win.cpp (ADO with the Jet 4.0 provider)
// and store_linux.cpp (SQLCipher).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/afx.h"
#include "store/parameter_store.h"

// The store's file name, and the password the store is keyed with.
inline constexpr const char* kStoreFileName = "dravo.mdb";
inline constexpr const char* kStoreKey = "582046";

// The store at a location (today the folder that holds dravo.mdb, ending in the separator), opened.
// Raises StoreError with what the user is told when it cannot be opened.
std::unique_ptr<ParameterStore> OpenParameterStoreAt(const std::string& location);

// Backend: the store file in `directory` (ending in the separator), opened; raises StoreError.
std::unique_ptr<ParameterStore> OpenStoreFileIn(const std::string& directory);

// The run's store. OpenRunStore opens the store at `location` for the rest of the run (the dialog
// at start-up, each qelmora-cli command; OpenParameterStore in app/run_store.h tells the user of a
// failure). A failure raises StoreError; the run goes on without a store, and TheParameterStore
// names that failure.
void OpenRunStore(const std::string& location);
// Whether the last OpenRunStore opened its store.
bool ParameterStoreConnected();
// The store of the run. Without one (its open failed), every operation of what is returned fails:
// on Windows as ADO fails over a connection that is not open, elsewhere with a StoreError that says
// the store is not open and why.
ParameterStore& TheParameterStore();
// Lets the run's store go (Cancel, the end of a command of qelmora-cli). The Windows store closes
// its connection; a failure to close is not reported.
void CloseParameterStore() noexcept;

// Backend: what TheParameterStore gives while no store is open, or nullptr for a StoreError that
// names the failed open.
ParameterStore* UnopenedParameterStore();

// Backend: the system's message for an HRESULT (FormatMessageA), or nullopt when it has none.
std::optional<std::string> SystemMessageText(HResult hr);

// The COM error report text of an HRESULT.
std::string ComErrorText(HResult hr);

// Backend: creates a new, empty store "dravo.mdb" with table1 in the directory given (which ends in
// the separator). Refuses to overwrite. Raises OperationError with the user's message when it cannot.
void CreateParameterStore(const std::string& directory);

// The directory of the store for a run that names none, ending in the separator: the program
// directory when the store is there, else the user's data directory (DataDirectory).
std::string StoreDirectory();

// First use of the user's store: when `directory` (from StoreDirectory) is not the program directory
// and holds no store yet, the store is created there. Returns what the user is told:
// "已创建新的参数数据库：" and the store's path; nothing when there was nothing to do. Raises
// OperationError with why it could not be created. The store beside the program is never created here.
std::optional<std::string> CreateUserStoreOnFirstUse(const std::string& directory);

// The connection string for the store in the directory drive + dir (the Jet provider's).
std::string ConnectionString(const std::string& drive, const std::string& dir);

// The value of one property of a connection string ("Data Source", "Jet OLEDB:Database Password"):
// keywords match without regard to case, values may be quoted with ' or ". nullopt when absent.
std::optional<std::string> ConnectionStringProperty(const std::string& connectionString, const std::string& keyword);

// The connection string's properties that name the store's file and its password.
inline constexpr const char* kSourceKeyword = "Data Source";
inline constexpr const char* kKeyKeyword = "Jet OLEDB:Database Password";

// Backend: a consistent copy of the store in `directory` (ending in the separator) into the new file
// target, which it never replaces. Raises StoreError for the store, OperationError for the copy.
void BackupParameterStore(const std::string& directory, const std::string& target);
