// The store on Linux: an SQLCipher database (sqlite_linux.h) keyed with the password of the connection
// string, behind a connection and a recordset that behave as ADO's do for the calls the program makes.
//
// The recordset is a cursor over table1 in rowid order (the order of "SELECT * FROM table1" on a rowid
// table): walking forward steps one prepared statement, every other move re-queries by rowid, so no
// more than one row is ever held in memory.
#include <strings.h>

#include <algorithm>
#include <vector>

#include "store/sqlite_linux.h"
#include "store/store.h"

namespace {

using sqlcipher::Database;
using sqlcipher::Execute;
using sqlcipher::Fail;
using sqlcipher::OpenDatabase;
using sqlcipher::QuoteIdentifier;
using sqlcipher::Statement;
using sqlcipher::Step;

bool LacksProvenanceColumns(const std::vector<std::string>& columns) {
  for (const char* column : kProvenanceColumns) {
    if (std::find(columns.begin(), columns.end(), column) == columns.end()) return true;
  }
  return false;
}

// A store made by the earlier release lacks the provenance columns: before its first write they are
// added, in one transaction (its rows keep NULL there). A store that cannot be written is still read,
// as nothing else changes it.
void AddProvenanceColumns(sqlite3* db, const std::vector<std::string>& columns) {
  Execute(db, "BEGIN IMMEDIATE");
  try {
    for (const char* column : kProvenanceColumns) {
      if (std::find(columns.begin(), columns.end(), column) != columns.end()) continue;
      Execute(db, "ALTER TABLE table1 ADD COLUMN " + QuoteIdentifier(column) + " TEXT");
    }
    Execute(db, "COMMIT");
  } catch (...) {
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
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
      // The schema may have changed since the connection was opened.
      sqlcipher::CheckStoreSchema(database->Handle(), database->Path());
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
    // The write begins: the read statements let go of the table (the cursor stays where it is), so
    // that the store can move to write-ahead logging and, if it lacks them, gain the provenance
    // columns, which only the statements need to learn.
    ReleaseRowStatement();
    m_cache.clear();
    sqlite3_reset(m_first.get());
    sqlite3_reset(m_after.get());
    sqlcipher::UseWriteAheadLog(m_database->Handle());
    if (LacksProvenanceColumns(m_columns)) {
      AddProvenanceColumns(m_database->Handle(), m_columns);
      m_columns.clear();
      m_readOnlyColumn.reset();
      Prepare(m_database->Handle());
    }
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
      const int rc = Step(insert.get());
      if (rc != SQLITE_DONE) Fail(db, rc);
      // Exactly the one row, or the save fails: nothing in the store may drop or multiply it.
      if (sqlite3_changes(db) != 1) throw ComError(kHrStoreSchema, "the insert did not add exactly one row");
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
    while ((rc = Step(info.get())) == SQLITE_ROW) {
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
    const int rc = Step(statement);
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
    const int rc = Step(statement);
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
