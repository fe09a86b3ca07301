// A thin wrapper over SQLCipher for the Linux store: the database handle, prepared statements, the
// wait for a lock that another process holds, the checks a store passes before anything touches
// table1, and the library's failures as StoreError in the program's words. The store
// (store_linux.cpp), a new store and its backup (create_store_linux.cpp) are built on it.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/store.h"

namespace sqlcipher {

// Makes the engine open every file (the store, its -wal, -shm and journal) without following a link,
// and only when it is a regular file with one name (no hard link to another file, no FIFO, no
// device): anything else fails to open.
// Called before the first handle is opened; later calls do nothing.
void UseSafeFileOpens();

// Raises StoreError for a failed call on the store at path: what happened, in the program's words.
[[noreturn]] void Fail(sqlite3* db, int rc, const std::string& path);

// An identifier in double quotes, inner quotes doubled.
std::string QuoteIdentifier(const std::string& name);

// A prepared statement, finalized on destruction. Raises StoreError when it cannot be prepared.
class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const std::string& sql, const std::string& path = {});
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(Statement&& other) noexcept : m_stmt(other.m_stmt) { other.m_stmt = nullptr; }
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* get() const { return m_stmt; }
  explicit operator bool() const { return m_stmt != nullptr; }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

// Steps a statement once, within the bound on the work of one call into the engine: a statement that
// goes past it (a runaway query: something the schema check below did not foresee) is interrupted
// and fails with SQLITE_INTERRUPT. The bound holds on the handles that OpenDatabase opened.
int Step(sqlite3_stmt* statement);

// Runs a statement without results to its end.
void Execute(sqlite3* db, const std::string& sql, const std::string& path = {});

// Refuses a store whose schema holds anything the program did not make: raises StoreError naming
// `path` and what was found, having run no statement against table1. Accepted are table1 as the
// program creates it (the key `id`, the eleven parameter columns, the provenance and the quality
// columns, which stores of earlier releases lack), and sqlite_sequence; nothing else (no view, trigger, index,
// virtual or WITHOUT ROWID table, no other column, no constraint, default or collation). Every row of
// sqlite_master must say what its SQL makes, each on a page of its own within the file, and the text
// encoding must be UTF-8. Returns table1's columns in table order; none when the store has no table1.
// A file of another kind names the columns it adds (`extra`): each must be there.
std::vector<std::string> CheckStoreSchema(sqlite3* db, const std::string& path,
                                          const std::vector<std::string>& extra = {});

// Puts the store into write-ahead logging, so that readers and one writer do not block each other;
// called before a write. A store that cannot be switched (another process has it open, it cannot be
// written) stays in its journal mode; the write then goes on, or fails on its own account.
void UseWriteAheadLog(sqlite3* db);

// Waits for a lock that another process holds, for kBusyTimeoutMs in all. It looks again every
// millisecond: the library's own wait backs off to 100 ms naps, and two programs importing at the
// same time then let the busier one take the lock again and again until the other gives up.
struct LockWait {
  std::chrono::steady_clock::time_point since;

  // The busy handler: context is the LockWait; 0 gives up, 1 tries again.
  static int Retry(void* context, int attempt);
};

// One open database, closed when the last holder lets it go.
class Database {
 public:
  explicit Database(sqlite3* db, std::string path = {}) : m_db(db), m_path(std::move(path)) {}
  ~Database() { Close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* Handle() const { return m_db; }
  const std::string& Path() const { return m_path; }
  // Lock waits of this handle go through m_lockWait, which lives as long as the handle.
  void WaitForLocks() { sqlite3_busy_handler(m_db, &LockWait::Retry, &m_lockWait); }
  void Close() {
    if (m_db != nullptr) sqlite3_close_v2(m_db);
    m_db = nullptr;
  }

 private:
  sqlite3* m_db;
  std::string m_path;
  LockWait m_lockWait;
};

// Opens an existing store file (never creates one) and applies the key; the first read shows whether
// the key fits, then the schema is checked (CheckStoreSchema). Raises StoreError: a folder without a
// store is named with how to create one.
std::shared_ptr<Database> OpenDatabase(std::string path, const std::optional<std::string>& key,
                                       const std::vector<std::string>& extra = {});

// Creates a new store file at path with table1 and the extra columns of its kind, keyed with `key`;
// never replaces a file. Raises OperationError (create_store_linux.cpp).
void CreateStoreFile(const std::string& path, const std::string& key, const std::vector<std::string>& extra = {});

}  // namespace sqlcipher
