#include "store/sqlite_linux.h"

#include <thread>

namespace sqlcipher {

namespace {

// How long a statement waits for a lock that another process holds before it fails.
constexpr int kBusyTimeoutMs = 5000;

}  // namespace

HResult HResultFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_NOTADB: return kHrWrongPassword;  // a wrong key reads as garbage
    case SQLITE_NOMEM: return kHrOutOfMemory;
    default: return kHrFail;  // missing file, busy, locked, read-only, full disk, ...
  }
}

[[noreturn]] void Fail(sqlite3* db, int rc) {
  std::string description = (db != nullptr) ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  throw ComError(HResultFromSqlite(rc), std::move(description));
}

std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

Statement::Statement(sqlite3* db, const std::string& sql) {
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    Fail(db, rc);
  }
}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(m_stmt);
    m_stmt = other.m_stmt;
    other.m_stmt = nullptr;
  }
  return *this;
}

void Execute(sqlite3* db, const std::string& sql) {
  Statement statement(db, sql);
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) Fail(db, rc);
}

int LockWait::Retry(void* context, int attempt) {
  auto& wait = *static_cast<LockWait*>(context);
  const auto now = std::chrono::steady_clock::now();
  if (attempt == 0) wait.since = now;
  if (now - wait.since >= std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

std::shared_ptr<Database> OpenDatabase(std::string path, const std::optional<std::string>& key) {
  // Without URI processing a name is a file name, but some builds turn it on for names that begin
  // with "file:"; such a relative name is made explicit.
  if (path.compare(0, 5, "file:") == 0) path = "./" + path;
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  auto database = std::make_shared<Database>(handle);
  if (rc != SQLITE_OK) Fail(handle, rc);
  if (key && !key->empty()) {
    const int keyed = sqlite3_key(handle, key->data(), static_cast<int>(key->size()));
    if (keyed != SQLITE_OK) Fail(handle, keyed);
  }
  database->WaitForLocks();
  Execute(handle, "SELECT count(*) FROM sqlite_master");
  return database;
}

}  // namespace sqlcipher
