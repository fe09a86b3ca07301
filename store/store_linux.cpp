// The store on Linux: an SQLCipher database keyed with the password of the connection string, behind
// a connection and a recordset that behave as ADO's do for the calls the program makes.
//
// The recordset is a cursor over table1 in rowid order (the order of "SELECT * FROM table1" on a rowid
// table): walking forward steps one prepared statement, every other move re-queries by rowid, so no
// more than one row is ever held in memory.
#include <fcntl.h>
#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <thread>
#include <vector>

#include "app/safe_write_linux.h"
#include "store/store.h"

namespace {

// How long a statement waits for a lock that another process holds before it fails.
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kKeyKeyword = "Jet OLEDB:Database Password";
constexpr const char* kSourceKeyword = "Data Source";

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

// An identifier in double quotes, inner quotes doubled.
std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

// A prepared statement, finalized on destruction.
class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const std::string& sql) {
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_finalize(m_stmt);
      m_stmt = nullptr;
      Fail(db, rc);
    }
  }
  ~Statement() { sqlite3_finalize(m_stmt); }
  Statement(Statement&& other) noexcept : m_stmt(other.m_stmt) { other.m_stmt = nullptr; }
  Statement& operator=(Statement&& other) noexcept {
    if (this != &other) {
      sqlite3_finalize(m_stmt);
      m_stmt = other.m_stmt;
      other.m_stmt = nullptr;
    }
    return *this;
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  sqlite3_stmt* get() const { return m_stmt; }
  explicit operator bool() const { return m_stmt != nullptr; }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

// Runs a statement without results to its end.
void Execute(sqlite3* db, const std::string& sql) {
  Statement statement(db, sql);
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) Fail(db, rc);
}

// Waits for a lock that another process holds, for kBusyTimeoutMs in all. It looks again every
// millisecond: the library's own wait backs off to 100 ms naps, and two programs importing at the
// same time then let the busier one take the lock again and again until the other gives up.
struct LockWait {
  std::chrono::steady_clock::time_point since;

  static int Retry(void* context, int attempt) {
    auto& wait = *static_cast<LockWait*>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) wait.since = now;
    if (now - wait.since >= std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
  }
};

// One open database. Connection::Close closes it while recordsets may still refer to it; they
// notice and close themselves (their statements keep the handle alive until they are finalized).
class Database {
 public:
  explicit Database(sqlite3* db) : m_db(db) {}
  ~Database() { Close(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* Handle() const { return m_db; }
  bool IsOpen() const { return m_db != nullptr; }
  // Lock waits of this handle go through m_lockWait, which lives as long as the handle.
  void WaitForLocks() { sqlite3_busy_handler(m_db, &LockWait::Retry, &m_lockWait); }
  void Close() {
    if (m_db != nullptr) sqlite3_close_v2(m_db);
    m_db = nullptr;
  }

 private:
  sqlite3* m_db;
  LockWait m_lockWait;
};

// Opens an existing database file (never creates one) and applies the key; the first read shows
// whether the key fits.
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

class SqlCipherConnection final : public Connection {
 public:
  void Open(const std::string& connectionString, const std::string&, const std::string&, long) override {
    if (m_database) throw ComError(kHrObjectOpen, "connection already open");
    const std::optional<std::string> source = ConnectionStringProperty(connectionString, kSourceKeyword);
    if (!source || source->empty()) throw ComError(kHrFail, "no data source in the connection string");
    m_database = OpenDatabase(*source, ConnectionStringProperty(connectionString, kKeyKeyword));
  }

  void Close() override {
    if (!m_database) throw ComError(kHrObjectClosed, "connection not open");
    m_database->Close();
    m_database.reset();
  }

  const std::shared_ptr<Database>& Session() const { return m_database; }

 private:
  std::shared_ptr<Database> m_database;
};

class SqlCipherRecordset final : public Recordset {
 public:
  void Open(const std::string& source, Connection& activeConnection, int, int, long) override {
    DropIfConnectionClosed();
    if (m_database) throw ComError(kHrObjectOpen, "recordset already open");
    if (source != kTableQuery) throw ComError(kHrCommandError, "only the table query is supported");
    auto* connection = dynamic_cast<SqlCipherConnection*>(&activeConnection);
    if (connection == nullptr || !connection->Session()) {
      throw ComError(kHrInvalidConnection, "the connection is not open");
    }
    const std::shared_ptr<Database> database = connection->Session();
    try {
      Prepare(database->Handle());
      if (StepForward(m_first.get())) {
        m_position = Position::Row;
      } else {
        m_position = Position::Eof;
      }
    } catch (...) {
      Reset();
      throw;
    }
    m_database = database;
  }

  bool GetEOF() override {
    CheckOpen();
    return !m_pending && m_position == Position::Eof;
  }

  void MoveNext() override {
    CheckOpen();
    CheckNotPending();
    switch (m_position) {
      case Position::Eof:
        throw ComError(kHrNoCurrentRecord, "MoveNext at the end");
      case Position::Bof:
        sqlite3_reset(m_first.get());
        m_lastSeen.reset();
        m_position = StepForward(m_first.get()) ? Position::Row : Position::Eof;
        return;
      case Position::Row: {
        sqlite3_stmt* statement = m_rowStatement;
        if (statement == nullptr) {
          statement = m_after.get();
          sqlite3_reset(statement);
          sqlite3_bind_int64(statement, 1, m_rowid);
        }
        const sqlite3_int64 from = m_rowid;
        if (!StepForward(statement)) {
          m_lastSeen = from;
          m_position = Position::Eof;
        }
        return;
      }
    }
  }

  void MovePrevious() override {
    CheckOpen();
    CheckNotPending();
    switch (m_position) {
      case Position::Bof:
        throw ComError(kHrNoCurrentRecord, "MovePrevious at the beginning");
      case Position::Eof:
        // Back to the row the cursor left last; the last row of the table when it has seen none.
        if (m_lastSeen && LoadRow(m_at.get(), *m_lastSeen)) return;
        if (LoadRow(m_last.get(), std::nullopt)) return;
        throw ComError(kHrNoCurrentRecord, "MovePrevious on an empty table");
      case Position::Row:
        if (!LoadRow(m_before.get(), m_rowid)) {
          ReleaseRowStatement();
          m_cache.clear();
          m_position = Position::Bof;
        }
        return;
    }
  }

  void AddNew() override {
    CheckOpen();
    CheckNotPending();
    m_pending = true;
    m_newRow.assign(m_columns.size(), std::nullopt);
  }

  FieldValue GetCollect(const std::string& column) override {
    CheckOpen();
    const std::size_t index = ColumnIndex(column);
    if (m_pending) return m_newRow[index];
    if (m_position != Position::Row) throw ComError(kHrNoCurrentRecord, "no current record");
    if (m_rowStatement != nullptr) return ColumnValue(m_rowStatement, static_cast<int>(index) + 1);
    if (m_cache.empty() && !LoadRow(m_at.get(), m_rowid)) {
      throw ComError(kHrNoCurrentRecord, "the current row is gone");
    }
    return m_cache[index];
  }

  void PutCollect(const std::string& column, const std::string& value) override {
    CheckOpen();
    const std::size_t index = ColumnIndex(column);
    if (m_readOnlyColumn && *m_readOnlyColumn == index) {
      throw ComError(kHrFeatureNotAvailable, "the key column is set by the store");
    }
    if (!m_pending) {
      // Rows are only ever appended: an existing row is never changed.
      if (m_position != Position::Row) throw ComError(kHrNoCurrentRecord, "no current record");
      throw ComError(kHrIllegalOperation, "existing rows cannot be changed");
    }
    m_newRow[index] = value;
  }

  void Update() override {
    CheckOpen();
    if (!m_pending) {
      if (m_position != Position::Row) throw ComError(kHrNoCurrentRecord, "no current record");
      return;  // nothing changed
    }
    sqlite3* db = m_database->Handle();
    // The read statements let go of the table before it is written.
    ReleaseRowStatement();
    sqlite3_reset(m_first.get());
    sqlite3_reset(m_after.get());

    std::string names;
    std::string values;
    std::vector<const std::string*> bound;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
      if (!m_newRow[i]) continue;
      if (!bound.empty()) {
        names += ',';
        values += ',';
      }
      names += QuoteIdentifier(m_columns[i]);
      values += '?';
      bound.push_back(&*m_newRow[i]);
    }
    const std::string sql = bound.empty() ? "INSERT INTO table1 DEFAULT VALUES"
                                          : "INSERT INTO table1 (" + names + ") VALUES (" + values + ")";

    // One transaction: the whole row or nothing.
    Execute(db, "BEGIN IMMEDIATE");
    try {
      Statement insert(db, sql);
      for (std::size_t i = 0; i < bound.size(); ++i) {
        const int rc = sqlite3_bind_text(insert.get(), static_cast<int>(i) + 1, bound[i]->data(),
                                         static_cast<int>(bound[i]->size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) Fail(db, rc);
      }
      const int rc = sqlite3_step(insert.get());
      if (rc != SQLITE_DONE) Fail(db, rc);
      const sqlite3_int64 rowid = sqlite3_last_insert_rowid(db);
      Execute(db, "COMMIT");
      m_rowid = rowid;
    } catch (...) {
      if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;  // the row stays pending, as ADO leaves it
    }
    // The saved row becomes the current one.
    m_pending = false;
    m_newRow.clear();
    m_cache.clear();
    m_position = Position::Row;
  }

  void CancelUpdate() override {
    CheckOpen();
    m_pending = false;
    m_newRow.clear();
  }

  void Close() override {
    CheckOpen();
    if (m_pending) throw ComError(kHrIllegalOperation, "a new row is pending");
    Reset();
  }

 private:
  enum class Position { Bof, Row, Eof };

  void CheckOpen() {
    DropIfConnectionClosed();
    if (!m_database) throw ComError(kHrObjectClosed, "recordset not open");
  }

  void CheckNotPending() const {
    if (m_pending) throw ComError(kHrIllegalOperation, "a new row is pending: Update or CancelUpdate first");
  }

  // Closing the connection closes its recordsets (and drops their pending rows).
  void DropIfConnectionClosed() {
    if (m_database && !m_database->IsOpen()) Reset();
  }

  void Reset() {
    m_rowStatement = nullptr;
    m_first = {};
    m_after = {};
    m_at = {};
    m_before = {};
    m_last = {};
    m_columns.clear();
    m_readOnlyColumn.reset();
    m_cache.clear();
    m_newRow.clear();
    m_pending = false;
    m_lastSeen.reset();
    m_position = Position::Eof;
    m_database.reset();
  }

  void Prepare(sqlite3* db) {
    const std::string select = "SELECT rowid, * FROM table1";
    try {
      m_first = Statement(db, select + " ORDER BY rowid");
    } catch (const ComError& e) {
      if (e.Description().rfind("no such table", 0) == 0) throw ComError(kHrNoSuchTable, e.Description());
      throw;
    }
    m_after = Statement(db, select + " WHERE rowid > ?1 ORDER BY rowid");
    m_at = Statement(db, select + " WHERE rowid = ?1");
    m_before = Statement(db, select + " WHERE rowid < ?1 ORDER BY rowid DESC LIMIT 1");
    m_last = Statement(db, select + " ORDER BY rowid DESC LIMIT 1");

    // The table's own column names: the only names that ever reach SQL text.
    const int count = sqlite3_column_count(m_first.get());
    for (int i = 1; i < count; ++i) m_columns.emplace_back(sqlite3_column_name(m_first.get(), i));

    // An INTEGER PRIMARY KEY is the rowid itself: the store assigns it, nobody writes it.
    Statement info(db, "PRAGMA table_info(table1)");
    int rc;
    int keyColumns = 0;
    std::optional<std::string> keyName;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
      if (sqlite3_column_int(info.get(), 5) == 0) continue;
      ++keyColumns;
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2));
      if (type != nullptr && strcasecmp(type, "INTEGER") == 0) {
        keyName = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1));
      }
    }
    if (rc != SQLITE_DONE) Fail(db, rc);
    if (keyColumns == 1 && keyName) {
      for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i] == *keyName) m_readOnlyColumn = i;
      }
    }
  }

  std::size_t ColumnIndex(const std::string& column) const {
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
      if (m_columns[i] == column) return i;
    }
    throw ComError(kHrItemNotFound, "no column of that name");
  }

  static FieldValue ColumnValue(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (text == nullptr) return std::string();
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  }

  void ReleaseRowStatement() {
    if (m_rowStatement != nullptr) sqlite3_reset(m_rowStatement);
    m_rowStatement = nullptr;
  }

  // Steps a forward statement: true and the row current when it gives one; false (statement reset)
  // at its end. A failure leaves the position as it was, its values to be read again.
  bool StepForward(sqlite3_stmt* statement) {
    if (m_rowStatement != nullptr && m_rowStatement != statement) ReleaseRowStatement();
    m_cache.clear();
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
      m_rowid = sqlite3_column_int64(statement, 0);
      m_rowStatement = statement;
      return true;
    }
    sqlite3_reset(statement);
    m_rowStatement = nullptr;
    if (rc != SQLITE_DONE) Fail(sqlite3_db_handle(statement), rc);
    return false;
  }

  // Runs a one-row query (bound to the rowid given) and makes its row current, its values copied so
  // that the statement lets go of the table at once. False when it finds no row.
  bool LoadRow(sqlite3_stmt* statement, std::optional<sqlite3_int64> rowid) {
    ReleaseRowStatement();
    sqlite3_reset(m_first.get());
    sqlite3_reset(m_after.get());
    sqlite3_reset(statement);
    if (rowid) sqlite3_bind_int64(statement, 1, *rowid);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW) {
      sqlite3_reset(statement);
      if (rc != SQLITE_DONE) Fail(sqlite3_db_handle(statement), rc);
      return false;
    }
    std::vector<FieldValue> values;
    values.reserve(m_columns.size());
    for (std::size_t i = 0; i < m_columns.size(); ++i) values.push_back(ColumnValue(statement, static_cast<int>(i) + 1));
    m_rowid = sqlite3_column_int64(statement, 0);
    sqlite3_reset(statement);
    m_cache = std::move(values);
    m_position = Position::Row;
    return true;
  }

  std::shared_ptr<Database> m_database;  // empty while closed; declared first, released last
  Statement m_first;   // every row, in order
  Statement m_after;   // the rows after a rowid, in order
  Statement m_at;      // the row of a rowid
  Statement m_before;  // the row before a rowid
  Statement m_last;    // the last row
  std::vector<std::string> m_columns;            // table1's columns in table order
  std::optional<std::size_t> m_readOnlyColumn;   // the key column, if any

  Position m_position = Position::Eof;
  sqlite3_int64 m_rowid = 0;                    // the current row, at Position::Row
  sqlite3_stmt* m_rowStatement = nullptr;       // a forward statement standing on that row, if any
  std::vector<FieldValue> m_cache;              // else its values, once read
  std::optional<sqlite3_int64> m_lastSeen;      // the row left when the cursor stepped to the end

  bool m_pending = false;                        // AddNew was called; Update or CancelUpdate ends it
  std::vector<FieldValue> m_newRow;             // the pending row's values by column
};

}  // namespace

std::unique_ptr<Connection> CreateConnectionObject() { return std::make_unique<SqlCipherConnection>(); }

std::unique_ptr<Recordset> CreateRecordsetObject() { return std::make_unique<SqlCipherRecordset>(); }

std::optional<std::string> SystemMessageText(HResult hr) {
  static const std::map<std::uint32_t, const char*> kMessages = {
      {0x80004005u, "未指定的错误\r\n"}, {0x80004003u, "无效指针\r\n"},   {0x8007000Eu, "内存不足\r\n"},
      {0x80070057u, "参数错误\r\n"},     {0x80004001u, "未实现\r\n"},     {0x80070005u, "拒绝访问。\r\n"},
      {0x8000FFFFu, "灾难性故障\r\n"},
  };
  const auto found = kMessages.find(static_cast<std::uint32_t>(hr));
  if (found == kMessages.end()) return std::nullopt;
  return std::string(found->second);
}

std::string CreateParameterStore(const std::string& directory) {
  // The file and its key come from the connection string, the one place that holds them.
  const std::string connectionString = ConnectionString("", directory);
  const std::string path = ConnectionStringProperty(connectionString, kSourceKeyword).value_or("");
  const std::optional<std::string> key = ConnectionStringProperty(connectionString, kKeyKeyword);
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return Format("数据库文件已存在，未覆盖：%s", path.c_str());

  // Built under a temporary name beside it, then moved into place only if the name is still free:
  // never a half-made store under the real name, never an existing one overwritten. SQLite opens files
  // by name only, so it is given the new file's name.
  struct SqliteFailure {
    std::string message;
  };
  std::string journal;
  try {
    WriteFileSafelyWith(path, {.mode = CreationMode(0666), .replace = false}, [&](int, const std::string& scratch) {
      journal = scratch + "-journal";
      sqlite3* handle = nullptr;
      int rc = sqlite3_open_v2(scratch.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
      Database database(handle);
      if (rc == SQLITE_OK && key && !key->empty()) rc = sqlite3_key(handle, key->data(), static_cast<int>(key->size()));
      if (rc != SQLITE_OK) throw SqliteFailure{handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc)};
      std::string sql = "BEGIN; CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT";
      for (const char* column : kParameterColumns) sql += ", " + QuoteIdentifier(column) + " TEXT";
      sql += "); COMMIT;";
      char* message = nullptr;
      if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        SqliteFailure failure{message != nullptr ? message : "?"};
        sqlite3_free(message);
        throw failure;
      }
    });
  } catch (const SqliteFailure& failure) {
    std::remove(journal.c_str());
    return Format("无法创建数据库文件 %s：%s", path.c_str(), failure.message.c_str());
  } catch (const FileSystemError& e) {
    if (e.step() == FileSystemError::Step::rename && e.error() == EEXIST) {
      return Format("数据库文件已存在，未覆盖：%s", path.c_str());
    }
    return Format("无法创建数据库文件 %s：%s", path.c_str(), std::strerror(e.error()));
  }
  return {};
}
