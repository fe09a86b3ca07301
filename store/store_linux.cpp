// The store on Linux: an SQLCipher database (sqlite_linux.h) keyed with the store's password, read and
// written with plain SQL. The current parameter set is the row with the greatest key, the history one
// forward statement in key order, an import one INSERT in one transaction.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "store/sqlite_linux.h"
#include "store/store.h"

namespace {

using sqlcipher::Database;
using sqlcipher::Execute;
using sqlcipher::Fail;
using sqlcipher::QuoteIdentifier;
using sqlcipher::Statement;
using sqlcipher::Step;

constexpr const char* kEmptyHistoryText = "参数历史中还没有数据，请先导入模型文件";

bool Has(const std::vector<std::string>& columns, const std::string& column) {
  return std::find(columns.begin(), columns.end(), column) != columns.end();
}

// table1's columns as the schema check found them; a store without table1 is refused here.
std::vector<std::string> TableColumns(const Database& database) {
  // The schema may have changed since the store was opened.
  std::vector<std::string> columns = sqlcipher::CheckStoreSchema(database.Handle(), database.Path());
  if (columns.empty()) {
    throw StoreError(Format("参数数据库 %s 中没有表 table1，未执行任何操作。", database.Path().c_str()));
  }
  return columns;
}

// The SELECT of the eleven values, then of the provenance and the quality columns the table has (NULL
// for the others).
// where: a condition on the rows, or empty.
std::string SelectRows(const std::vector<std::string>& columns, const char* order, const std::string& where = {}) {
  std::string sql = "SELECT ";
  for (const char* column : kParameterColumns) sql += QuoteIdentifier(column) + ",";
  for (const char* column : kProvenanceColumns) sql += (Has(columns, column) ? QuoteIdentifier(column) : "NULL") + ",";
  for (const char* column : kQualityColumns) sql += (Has(columns, column) ? QuoteIdentifier(column) : "NULL") + ",";
  sql.pop_back();
  return sql + " FROM table1" + (where.empty() ? "" : " WHERE " + where) + " ORDER BY id " + order;
}

StoredRow RowOf(sqlite3_stmt* statement) {
  StoredRow row;
  const auto text = [&](int column) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes == nullptr ? std::string()
                            : std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  };
  for (std::size_t i = 0; i < kParameterCount; ++i) row.parameters[i] = text(static_cast<int>(i));
  for (std::size_t i = 0; i < kProvenanceCount; ++i) row.provenance[i] = text(static_cast<int>(kParameterCount + i));
  for (std::size_t i = 0; i < kQualityCount; ++i) {
    row.quality[i] = text(static_cast<int>(std::size_t{kParameterCount} + kProvenanceCount + i));
  }
  return row;
}

// A store made by an earlier release lacks the provenance or the quality columns: before its first
// write they are added, in the write's transaction (its rows keep NULL there).
void AddMissingColumns(const Database& database, std::vector<std::string>& columns) {
  const auto add = [&](const char* column) {
    if (Has(columns, column)) return;
    Execute(database.Handle(), "ALTER TABLE table1 ADD COLUMN " + QuoteIdentifier(column) + " TEXT", database.Path());
    columns.emplace_back(column);
  };
  for (const char* column : kProvenanceColumns) add(column);
  for (const char* column : kQualityColumns) add(column);
}

// A column the import fills itself: a value the model file gave under its name does not win.
bool IsImportColumn(const std::string& column) {
  return std::find(kProvenanceColumns.begin(), kProvenanceColumns.end(), column) != kProvenanceColumns.end() ||
         std::find(kQualityColumns.begin(), kQualityColumns.end(), column) != kQualityColumns.end();
}

// An INSERT that failed for want of a key: the table's sequence has reached the greatest key.
bool KeysUsedUp(const Database& database) {
  try {
    Statement sequence(database.Handle(), "SELECT seq FROM sqlite_sequence WHERE name = 'table1'", database.Path());
    return Step(sequence.get()) == SQLITE_ROW &&
           sqlite3_column_int64(sequence.get(), 0) == std::numeric_limits<sqlite3_int64>::max();
  } catch (const StoreError&) {
    return false;
  }
}

// A name from a model file as a message shows it: control bytes (a NUL would end the text) as \xNN.
std::string Shown(const std::string& name) {
  std::string text;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    text += byte < 0x20 || byte == 0x7F ? Format("\\x%02X", byte) : std::string(1, c);
  }
  return text;
}

class SqlCipherRow final : public PendingRow {
 public:
  SqlCipherRow(std::shared_ptr<Database> database, std::vector<std::string> columns)
      : m_database(std::move(database)), m_columns(std::move(columns)) {}

  void Put(const std::string& column, const std::string& value) override {
    if (column == "id") throw StoreError("table1 的列 id 由参数数据库自动编号，不能写入，未插入任何数据!");
    if (!Has(m_columns, column)) {
      throw StoreError("参数数据库的 table1 中没有列 " + Shown(column) + "，未插入任何数据!");
    }
    for (auto& [name, text] : m_values) {
      if (name == column) {
        text = value;
        return;
      }
    }
    m_values.emplace_back(column, value);
  }

  void Save(const Provenance& provenance) override {
    if (!m_database) throw StoreError("这一行已经保存或放弃。");
    const Database& database = *m_database;
    sqlite3* db = database.Handle();
    sqlcipher::UseWriteAheadLog(db);
    Execute(db, "BEGIN IMMEDIATE", database.Path());
    try {
      std::vector<std::string> columns = TableColumns(database);
      AddMissingColumns(database, columns);
      // The provenance and the quality are the import's own.
      std::vector<std::pair<std::string, std::string>> values;
      for (const auto& value : m_values) {
        if (!IsImportColumn(value.first)) values.push_back(value);
      }
      for (std::size_t i = 0; i < kProvenanceCount; ++i) values.emplace_back(kProvenanceColumns[i], provenance[i]);
      // Quality only where there was some: a row without measured data keeps NULL there.
      for (std::size_t i = 0; i < kQualityCount; ++i) {
        if (!m_quality[i].empty()) values.emplace_back(kQualityColumns[i], m_quality[i]);
      }
      std::string names;
      std::string marks;
      for (const auto& [name, text] : values) {
        names += (names.empty() ? "" : ",") + QuoteIdentifier(name);
        marks += marks.empty() ? "?" : ",?";
      }
      Statement insert(db, "INSERT INTO table1 (" + names + ") VALUES (" + marks + ")", database.Path());
      for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string& text = values[i].second;
        const int rc = sqlite3_bind_text(insert.get(), static_cast<int>(i) + 1, text.data(), static_cast<int>(text.size()),
                                         SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) Fail(db, rc, database.Path());
      }
      const int rc = Step(insert.get());
      if (rc == SQLITE_FULL && KeysUsedUp(database)) {
        throw StoreError(Format("参数数据库 %s 的行号已用尽（table1 的序号已是最大值），未插入任何数据! "
                                "请用 qelmora-cli backup 保存历史，再用 init-store 在另一个文件夹新建参数数据库。",
                                database.Path().c_str()));
      }
      if (rc != SQLITE_DONE) Fail(db, rc, database.Path());
      // Exactly the one row, or the save fails: nothing in the store may drop or multiply it.
      if (sqlite3_changes(db) != 1) {
        throw StoreError(Format("参数数据库 %s 没有正好增加一行，未插入任何数据!", database.Path().c_str()));
      }
      Execute(db, "COMMIT", database.Path());
    } catch (...) {
      if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    m_database.reset();
  }

  void PutQuality(const QualityTexts& quality) override { m_quality = quality; }

  void Drop() noexcept override {
    m_database.reset();
    m_values.clear();
  }

 private:
  std::shared_ptr<Database> m_database;  // empty once saved or dropped
  QualityTexts m_quality;
  std::vector<std::string> m_columns;
  std::vector<std::pair<std::string, std::string>> m_values;  // in the order first put
};

class SqlCipherStore final : public ParameterStore {
 public:
  explicit SqlCipherStore(std::shared_ptr<Database> database) : m_database(std::move(database)) {}

  std::unique_ptr<PendingRow> StartRow() override {
    return std::make_unique<SqlCipherRow>(m_database, TableColumns(*m_database));
  }

  StoredRow ReadCurrent() override {
    Statement last(m_database->Handle(), SelectRows(TableColumns(*m_database), "DESC LIMIT 1"), m_database->Path());
    const int rc = Step(last.get());
    if (rc == SQLITE_DONE) throw StoreError(kEmptyHistoryText);
    if (rc != SQLITE_ROW) Fail(m_database->Handle(), rc, m_database->Path());
    return RowOf(last.get());
  }

  void ReadHistory(const std::function<void(const StoredRow&)>& visit) override { ReadHistory(visit, Days{}); }

  // The days by the texts of imported_at ("YYYY-MM-DDThh:mm:ssZ" begins with its day): a row of
  // another form may pass, never one of those days is left out.
  void ReadHistory(const std::function<void(const StoredRow&)>& visit, const Days& days) override {
    const std::vector<std::string> columns = TableColumns(*m_database);
    std::string where;
    if (Has(columns, kProvenanceColumns[kImportedAt])) {
      const std::string at = QuoteIdentifier(kProvenanceColumns[kImportedAt]);
      if (!days.from.empty()) where = at + " >= ?1";
      if (!days.to.empty()) where += (where.empty() ? "" : " AND ") + ("substr(" + at + ", 1, 10) <= ?2");
    }
    Statement rows(m_database->Handle(), SelectRows(columns, "ASC", where), m_database->Path());
    for (const auto& [index, day] : {std::pair{1, &days.from}, std::pair{2, &days.to}}) {
      if (where.empty() || day->empty()) continue;
      const int rc = sqlite3_bind_text(rows.get(), index, day->data(), static_cast<int>(day->size()), SQLITE_TRANSIENT);
      if (rc != SQLITE_OK) Fail(m_database->Handle(), rc, m_database->Path());
    }
    int rc;
    while ((rc = Step(rows.get())) == SQLITE_ROW) visit(RowOf(rows.get()));
    if (rc != SQLITE_DONE) Fail(m_database->Handle(), rc, m_database->Path());
  }

  std::string Name() const override { return m_database->Path(); }

 private:
  std::shared_ptr<Database> m_database;
};

}  // namespace

std::unique_ptr<ParameterStore> OpenStoreFileIn(const std::string& directory) {
  return std::make_unique<SqlCipherStore>(sqlcipher::OpenDatabase(directory + kStoreFileName, std::string(kStoreKey)));
}

ParameterStore* UnopenedParameterStore() { return nullptr; }
