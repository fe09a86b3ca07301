// A thin wrapper over SQLCipher for the Linux store: the database handle, prepared statements, the
// wait for a lock that another process holds, and the library's failures as ComError. The ADO-shaped
// connection and recordset (store_linux.cpp) and the creation of a new store (create_store_linux.cpp)
// are built on it.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "store/store.h"

namespace sqlcipher {

// The HRESULT that ADO gives for a failure of this kind.
HResult HResultFromSqlite(int rc);

// Raises ComError for a failed call: the HRESULT of rc, the handle's message.
[[noreturn]] void Fail(sqlite3* db, int rc);

// An identifier in double quotes, inner quotes doubled.
std::string QuoteIdentifier(const std::string& name);

// A prepared statement, finalized on destruction. Raises ComError when it cannot be prepared.
class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const std::string& sql);
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
void Execute(sqlite3* db, const std::string& sql);

// Refuses a store whose schema holds anything the program did not make: raises ComError
// (kHrStoreSchema) naming `path` and what was found, having run no statement against table1.
// Accepted are table1 as the program creates it (the key `id`, the eleven parameter columns and the
// provenance columns, which a store of the earlier release lacks), and sqlite_sequence; nothing else
// (no view, trigger, index, virtual or WITHOUT ROWID table, no other column, no constraint, default
// or collation). A store without table1 passes: opening the table then says that it is missing.
void CheckStoreSchema(sqlite3* db, const std::string& path);

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

// One open database. Connection::Close closes it while recordsets may still refer to it; they
// notice and close themselves (their statements keep the handle alive until they are finalized).
class Database {
 public:
  explicit Database(sqlite3* db, std::string path = {}) : m_db(db), m_path(std::move(path)) {}
  ~Database() { Close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* Handle() const { return m_db; }
  const std::string& Path() const { return m_path; }
  bool IsOpen() const { return m_db != nullptr; }
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

// Opens an existing database file (never creates one) and applies the key; the first read shows
// whether the key fits, then the schema is checked (CheckStoreSchema). Raises ComError.
std::shared_ptr<Database> OpenDatabase(std::string path, const std::optional<std::string>& key);

}  // namespace sqlcipher
