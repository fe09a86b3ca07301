// A new, empty store on Linux: an SQLCipher file with table1, keyed with the store's password; and
// the copy of a store through the engine's online backup.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "base/afx.h"
#include "base/safe_write_linux.h"
#include "store/sqlite_linux.h"
#include "store/store.h"

namespace {

// The engine's reason, which WriteNewDatabase puts into the message that names the file.
struct SqliteFailure : OperationError {
  using OperationError::OperationError;
};

void Exec(sqlite3* handle, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    SqliteFailure failure(message != nullptr ? message : "?");
    sqlite3_free(message);
    throw failure;
  }
}

// Makes the new keyed database file path, filled by fill, and moves it into place only if the name
// is still free: never a half-made file under the real name, never an existing one overwritten.
// SQLite opens files by name only (its journal too), so the file is made in a folder only this user
// can enter. failure is the message's format for the path and the reason; taken, for a name that is
// already there.
void WriteNewDatabase(const std::string& path, mode_t mode, const char* failure, const char* taken,
                      const std::function<void(sqlite3*)>& fill, const std::string& key = kStoreKey) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) throw OperationError(Format(taken, path.c_str()));
  try {
    const SafeWriteOptions file{.mode = CreationMode(mode), .replace = false, .privateDirectory = true};
    WriteFileSafelyWith(path, file, [&](int, const std::string& scratch) {
      sqlite3* handle = nullptr;
      int rc = sqlite3_open_v2(scratch.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
      sqlcipher::Database database(handle);
      if (rc == SQLITE_OK) rc = sqlite3_key(handle, key.data(), static_cast<int>(key.size()));
      if (rc != SQLITE_OK) throw SqliteFailure(handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(rc));
      fill(handle);
    });
  } catch (const SqliteFailure& e) {
    throw OperationError(Format(failure, path.c_str(), e.what()));
  } catch (const FileSystemError& e) {
    if (e.step() == FileSystemError::Step::rename && e.error() == EEXIST) {
      throw OperationError(Format(taken, path.c_str()));
    }
    throw OperationError(Format(failure, path.c_str(), std::strerror(e.error())));
  }
}

}  // namespace

void CreateParameterStore(const std::string& directory) {
  sqlcipher::CreateStoreFile(directory + kStoreFileName, kStoreKey);
}

void sqlcipher::CreateStoreFile(const std::string& path, const std::string& key, const std::vector<std::string>& extra) {
  sqlcipher::UseSafeFileOpens();
  // The store of one user (the outbox) is that user's alone.
  WriteNewDatabase(path, extra.empty() ? 0666 : 0600, "无法创建数据库文件 %s：%s", "数据库文件已存在，未覆盖：%s",
                   [&](sqlite3* handle) {
                     // Write-ahead logging from the start: readers and one writer do not block each other.
                     std::string sql =
                         "PRAGMA journal_mode=WAL; BEGIN; CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT";
                     for (const char* column : kParameterColumns) sql += ", " + sqlcipher::QuoteIdentifier(column) + " TEXT";
                     for (const char* column : kProvenanceColumns) sql += ", " + sqlcipher::QuoteIdentifier(column) + " TEXT";
                     for (const char* column : kQualityColumns) sql += ", " + sqlcipher::QuoteIdentifier(column) + " TEXT";
                     for (const std::string& column : extra) sql += ", " + sqlcipher::QuoteIdentifier(column) + " TEXT";
                     Exec(handle, sql + "); COMMIT;");
                   },
                   key);
}

void BackupParameterStore(const std::string& directory, const std::string& target) {
  const std::shared_ptr<sqlcipher::Database> source =
      sqlcipher::OpenDatabase(directory + kStoreFileName, std::string(kStoreKey));
  WriteNewDatabase(target, 0600, "无法写入备份文件 %s：%s", "文件已存在，未覆盖：%s", [&](sqlite3* handle) {
    // One step over every page: a reader's consistent view of the store, its -wal included.
    sqlite3_backup* backup = sqlite3_backup_init(handle, "main", source->Handle(), "main");
    if (backup == nullptr) throw SqliteFailure(sqlite3_errmsg(handle));
    const int rc = sqlite3_backup_step(backup, -1);
    sqlite3_backup_finish(backup);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlcipher::Fail(nullptr, rc, source->Path());
    if (rc != SQLITE_DONE) throw SqliteFailure(sqlite3_errstr(rc));
    // The copy stands alone: its log is folded into the file before it is moved into place.
    Exec(handle, "PRAGMA journal_mode=DELETE");
    sqlcipher::CheckStoreSchema(handle, target);
  });
}
