// A new, empty store on Linux: an SQLCipher file with table1, keyed as the connection string says.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/afx.h"
#include "app/safe_write_linux.h"
#include "store/sqlite_linux.h"
#include "store/store.h"

void CreateParameterStore(const std::string& directory) {
  // The file and its key come from the connection string, the one place that holds them.
  const std::string connectionString = ConnectionString("", directory);
  const std::string path = ConnectionStringProperty(connectionString, kSourceKeyword).value_or("");
  const std::optional<std::string> key = ConnectionStringProperty(connectionString, kKeyKeyword);
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) throw OperationError(Format("数据库文件已存在，未覆盖：%s", path.c_str()));

  // Built under a temporary name beside it, then moved into place only if the name is still free:
  // never a half-made store under the real name, never an existing one overwritten. SQLite opens files
  // by name only (its journal too), so the new file is made in a folder only this user can enter.
  struct SqliteFailure {
    std::string message;
  };
  try {
    const SafeWriteOptions file{.mode = CreationMode(0666), .replace = false, .privateDirectory = true};
    WriteFileSafelyWith(path, file, [&](int, const std::string& scratch) {
      sqlite3* handle = nullptr;
      int rc = sqlite3_open_v2(scratch.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
      sqlcipher::Database database(handle);
      if (rc == SQLITE_OK && key && !key->empty()) rc = sqlite3_key(handle, key->data(), static_cast<int>(key->size()));
      if (rc != SQLITE_OK) throw SqliteFailure{handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc)};
      // Write-ahead logging from the start: readers and one writer do not block each other.
      std::string sql = "PRAGMA journal_mode=WAL; BEGIN; CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT";
      for (const char* column : kParameterColumns) sql += ", " + sqlcipher::QuoteIdentifier(column) + " TEXT";
      for (const char* column : kProvenanceColumns) sql += ", " + sqlcipher::QuoteIdentifier(column) + " TEXT";
      sql += "); COMMIT;";
      char* message = nullptr;
      if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        SqliteFailure failure{message != nullptr ? message : "?"};
        sqlite3_free(message);
        throw failure;
      }
    });
  } catch (const SqliteFailure& failure) {
    throw OperationError(Format("无法创建数据库文件 %s：%s", path.c_str(), failure.message.c_str()));
  } catch (const FileSystemError& e) {
    if (e.step() == FileSystemError::Step::rename && e.error() == EEXIST) {
      throw OperationError(Format("数据库文件已存在，未覆盖：%s", path.c_str()));
    }
    throw OperationError(Format("无法创建数据库文件 %s：%s", path.c_str(), std::strerror(e.error())));
  }
}
