#include "store/sqlite_linux.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <thread>
#include <vector>

#include "app/afx.h"

namespace sqlcipher {

namespace {

// How long a statement waits for a lock that another process holds before it fails.
constexpr int kBusyTimeoutMs = 5000;

// The bound on one call into the engine: the progress handler runs every kProgressPeriod virtual
// machine instructions and interrupts the call at the kProgressChecks-th time (20 million
// instructions, well under a second). A step of the store's own statements stays far below it.
constexpr int kProgressPeriod = 1000;
constexpr long kProgressChecks = 20000;

// The checks of the call under way: the store is used from one thread at a time, and each thread
// makes one call into the engine at a time.
thread_local long t_progressChecks = 0;

int ProgressBound(void*) { return ++t_progressChecks > kProgressChecks ? 1 : 0; }

const char* Text(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? text : "";
}

bool IsStoreColumn(const std::string& name) {
  const auto named = [&](const char* column) { return name == column; };
  return name == "id" || std::any_of(kParameterColumns.begin(), kParameterColumns.end(), named) ||
         std::any_of(kProvenanceColumns.begin(), kProvenanceColumns.end(), named);
}

// Whether table1's CREATE TABLE text uses only what the program's own table (and ALTER TABLE ADD
// COLUMN on it) is written with: its names, bare or quoted, the types INTEGER and TEXT, the key's
// PRIMARY KEY AUTOINCREMENT, parentheses and commas. So no constraint, default, collation, conflict
// clause, comment, string, VIRTUAL table or WITHOUT ROWID.
bool IsPlainTableText(const std::string& sql) {
  static const char* const kWords[] = {"CREATE", "TABLE", "INTEGER", "TEXT", "PRIMARY", "KEY", "AUTOINCREMENT"};
  std::size_t at = 0;
  while (at < sql.size()) {
    const char c = sql[at];
    if (std::isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')' || c == ',') {
      ++at;
      continue;
    }
    std::string name;
    if (c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      for (++at;; ++at) {
        if (at >= sql.size()) return false;
        if (sql[at] != close) {
          name += sql[at];
        } else if (close != ']' && at + 1 < sql.size() && sql[at + 1] == close) {
          name += sql[at++];
        } else {
          ++at;
          break;
        }
      }
      if (name != "table1" && !IsStoreColumn(name)) return false;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(c)) && c != '_') return false;
    while (at < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[at])) || sql[at] == '_')) name += sql[at++];
    const bool word = std::any_of(std::begin(kWords), std::end(kWords),
                                  [&](const char* w) { return strcasecmp(w, name.c_str()) == 0; });
    if (!word && name != "table1" && !IsStoreColumn(name)) return false;
  }
  return true;
}

}  // namespace

HResult HResultFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_NOTADB: return kHrWrongPassword;  // a wrong key reads as garbage
    case SQLITE_NOMEM: return kHrOutOfMemory;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return kHrStoreBusy;  // another process holds the store past the wait
    default: return kHrFail;  // missing file, read-only, full disk, ...
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

int Step(sqlite3_stmt* statement) {
  t_progressChecks = 0;
  return sqlite3_step(statement);
}

void Execute(sqlite3* db, const std::string& sql) {
  Statement statement(db, sql);
  int rc;
  while ((rc = Step(statement.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) Fail(db, rc);
}

void CheckStoreSchema(sqlite3* db, const std::string& path) {
  const auto refuse = [&](const std::string& what) {
    throw ComError(kHrStoreSchema, Format("数据库结构不符：%s 含有本程序未建立的内容（%s），未执行任何操作。",
                                          path.c_str(), what.c_str()));
  };
  // Reading the schema parses it, but runs none of it.
  Statement objects(db, "SELECT type, name, tbl_name, sql FROM sqlite_master");
  bool table1 = false;
  int rc;
  while ((rc = Step(objects.get())) == SQLITE_ROW) {
    const std::string type = Text(objects.get(), 0);
    const std::string name = Text(objects.get(), 1);
    const std::string sql = Text(objects.get(), 3);
    if (type == "table" && name == "sqlite_sequence" && sql == "CREATE TABLE sqlite_sequence(name,seq)") continue;
    if (type == "table" && name == "table1" && std::string(Text(objects.get(), 2)) == name) {
      if (!IsPlainTableText(sql)) refuse("table1 的定义：" + sql);
      table1 = true;
      continue;
    }
    refuse(type + " " + name);
  }
  if (rc != SQLITE_DONE) Fail(db, rc);
  if (!table1) return;

  // The columns: the key, all eleven parameters, the provenance columns or none of them.
  Statement info(db, "PRAGMA table_info(table1)");
  std::vector<std::string> columns;
  while ((rc = Step(info.get())) == SQLITE_ROW) {
    const std::string name = Text(info.get(), 1);
    const bool key = name == "id";
    if (!IsStoreColumn(name)) refuse("table1 的列 " + name);
    if (strcasecmp(Text(info.get(), 2), key ? "INTEGER" : "TEXT") != 0 || sqlite3_column_int(info.get(), 5) != (key ? 1 : 0) ||
        sqlite3_column_type(info.get(), 4) != SQLITE_NULL) {
      refuse("table1 的列 " + name + " 的类型");
    }
    columns.push_back(name);
  }
  if (rc != SQLITE_DONE) Fail(db, rc);
  const auto lacks = [&](const char* column) { return std::find(columns.begin(), columns.end(), column) == columns.end(); };
  if (lacks("id") || std::any_of(kParameterColumns.begin(), kParameterColumns.end(), lacks)) refuse("table1 缺少列");
}

void UseWriteAheadLog(sqlite3* db) {
  try {
    Statement mode(db, "PRAGMA journal_mode=WAL");
    Step(mode.get());
  } catch (const ComError&) {
    // Not switched: the store keeps its journal mode.
  }
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
  auto database = std::make_shared<Database>(handle, path);
  if (rc != SQLITE_OK) Fail(handle, rc);
  sqlite3_progress_handler(handle, kProgressPeriod, &ProgressBound, nullptr);
  if (key && !key->empty()) {
    const int keyed = sqlite3_key(handle, key->data(), static_cast<int>(key->size()));
    if (keyed != SQLITE_OK) Fail(handle, keyed);
  }
  database->WaitForLocks();
  Execute(handle, "SELECT count(*) FROM sqlite_master");
  CheckStoreSchema(handle, path);
  return database;
}

}  // namespace sqlcipher
