// The outbox (outbox_linux.h): table1 of a store file with three columns more, the import id, the
// digest of the bytes read and the lab store the import is for; imported_at holds the time read.
#include "store/outbox_linux.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/afx.h"
#include "base/xdg_linux.h"
#include "store/sqlite_linux.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

using sqlcipher::Database;
using sqlcipher::Execute;
using sqlcipher::QuoteIdentifier;
using sqlcipher::Statement;

const std::vector<std::string> kOutboxColumns = {"import_id", "content_sha256", "lab_store"};

// The outbox, opened as the local store is and only when it is the user's own; nullptr when there
// is none and `create` is false.
std::shared_ptr<Database> OpenOutbox(bool create) {
  const std::string path = OutboxPath();
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) throw StoreError(Format("无法打开本机暂存库 %s：%s", path.c_str(), std::strerror(errno)));
    if (!create) return nullptr;
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    try {
      sqlcipher::CreateStoreFile(path, kOutboxKey, kOutboxColumns);
    } catch (const OperationError& e) {
      // Another importer may have made it meanwhile; anything else is the failure.
      if (::lstat(path.c_str(), &info) != 0) throw StoreError(e.what());
    }
    ::lstat(path.c_str(), &info);
  }
  if (!S_ISLNK(info.st_mode) && info.st_uid != ::geteuid()) {
    throw StoreError(Format("本机暂存库 %s 不属于当前用户，qelmora 不使用它。", path.c_str()));
  }
  return sqlcipher::OpenDatabase(path, std::string(kOutboxKey), kOutboxColumns);
}

void Bind(const Database& database, sqlite3_stmt* statement, int index, const std::optional<std::string>& text) {
  const int rc = text ? sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT)
                      : sqlite3_bind_null(statement, index);
  if (rc != SQLITE_OK) sqlcipher::Fail(database.Handle(), rc, database.Path());
}

std::optional<std::string> Column(sqlite3_stmt* statement, int column) {
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (bytes == nullptr) return std::nullopt;
  return std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// The columns an import fills, in the order of WaitingImport.
std::vector<std::string> ImportColumns() {
  std::vector<std::string> columns = {"lab_store", "import_id", kProvenanceColumns[kImportedAt],
                                      kProvenanceColumns[kSource], "content_sha256"};
  columns.insert(columns.end(), kParameterColumns.begin(), kParameterColumns.end());
  columns.insert(columns.end(), kQualityColumns.begin(), kQualityColumns.end());
  return columns;
}

}  // namespace

std::string NewImportId() {
  std::array<unsigned char, 16> bits{};
  for (std::size_t got = 0; got < bits.size();) {
    const ssize_t n = ::getrandom(bits.data() + got, bits.size() - got, 0);
    if (n < 0 && errno != EINTR) throw StoreError(Format("无法生成导入编号：%s", std::strerror(errno)));
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  return lab::ImportIdText(bits);
}

std::string OutboxPath() { return freedesktop::DataHome() + "/qelmora/" + kOutboxFileName; }

std::string KeepInOutbox(const WaitingImport& import) {
  const std::shared_ptr<Database> database = OpenOutbox(true);
  sqlite3* db = database->Handle();
  std::string names, marks;
  for (const std::string& column : ImportColumns()) {
    names += (names.empty() ? "" : ",") + QuoteIdentifier(column);
    marks += marks.empty() ? "?" : ",?";
  }
  std::vector<std::optional<std::string>> values = {import.labStore, import.importId, import.readAt, import.source,
                                                    import.contentSha256};
  values.insert(values.end(), import.values.begin(), import.values.end());
  for (const std::string& quality : import.quality) values.push_back(quality.empty() ? std::nullopt : std::optional(quality));
  Execute(db, "BEGIN IMMEDIATE", database->Path());
  try {
    Statement insert(db, "INSERT INTO table1 (" + names + ") VALUES (" + marks + ")", database->Path());
    for (std::size_t i = 0; i < values.size(); ++i) Bind(*database, insert.get(), static_cast<int>(i) + 1, values[i]);
    const int rc = sqlcipher::Step(insert.get());
    if (rc != SQLITE_DONE) sqlcipher::Fail(db, rc, database->Path());
    Execute(db, "COMMIT", database->Path());
  } catch (...) {
    if (sqlite3_get_autocommit(db) == 0) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  return database->Path();
}

std::vector<WaitingImport> WaitingImports(const std::string& labStore) {
  const std::shared_ptr<Database> database = OpenOutbox(false);
  std::vector<WaitingImport> imports;
  if (!database) return imports;
  std::string sql = "SELECT ";
  for (const std::string& column : ImportColumns()) sql += QuoteIdentifier(column) + ",";
  sql.back() = ' ';
  sql += "FROM table1" + std::string(labStore.empty() ? "" : " WHERE lab_store = ?") + " ORDER BY id";
  Statement rows(database->Handle(), sql, database->Path());
  if (!labStore.empty()) Bind(*database, rows.get(), 1, labStore);
  int rc;
  while ((rc = sqlcipher::Step(rows.get())) == SQLITE_ROW) {
    WaitingImport import;
    int column = 0;
    for (std::string* text : {&import.labStore, &import.importId, &import.readAt, &import.source, &import.contentSha256}) {
      *text = Column(rows.get(), column++).value_or("");
    }
    for (auto& value : import.values) value = Column(rows.get(), column++);
    for (auto& quality : import.quality) quality = Column(rows.get(), column++).value_or("");
    imports.push_back(std::move(import));
  }
  if (rc != SQLITE_DONE) sqlcipher::Fail(database->Handle(), rc, database->Path());
  return imports;
}

void RemoveFromOutbox(const std::string& importId) {
  const std::shared_ptr<Database> database = OpenOutbox(false);
  if (!database) return;
  Statement remove(database->Handle(), "DELETE FROM table1 WHERE import_id = ?", database->Path());
  Bind(*database, remove.get(), 1, importId);
  const int rc = sqlcipher::Step(remove.get());
  if (rc != SQLITE_DONE) sqlcipher::Fail(database->Handle(), rc, database->Path());
}

std::vector<std::array<std::string, 4>> WaitingImportList() {
  std::vector<std::array<std::string, 4>> list;
  for (const WaitingImport& import : WaitingImports()) list.push_back({import.labStore, import.importId, import.readAt, import.source});
  return list;
}
