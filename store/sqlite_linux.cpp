#include "store/sqlite_linux.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "base/afx.h"

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

// The engine's own open(2), and the one it is given instead.
using OpenCall = int (*)(const char*, int, int);
OpenCall g_systemOpen = nullptr;

int SafeOpen(const char* path, int flags, int mode) {
  // O_NONBLOCK: a FIFO planted at a name must not hang the open; it is refused below.
  const int fd = g_systemOpen(path, flags | O_NOFOLLOW | O_NONBLOCK, mode);
  if (fd < 0) return fd;
  struct stat info {};
  bool refused = ::fstat(fd, &info) != 0;
  // The engine also opens the store's folder, read-only, to sync it: that one is a directory.
  const bool folder = !refused && S_ISDIR(info.st_mode) && (flags & O_ACCMODE) == O_RDONLY;
  if (!refused && !folder) refused = !S_ISREG(info.st_mode) || info.st_nlink != 1;
  if (refused) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

const char* Text(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text != nullptr ? text : "";
}

// A column of table1, or one of the extra ones that a file of another kind (the outbox) adds.
bool IsStoreColumn(const std::string& name, const std::vector<std::string>& extra) {
  const auto named = [&](const char* column) { return name == column; };
  return name == "id" || std::find(extra.begin(), extra.end(), name) != extra.end() || std::any_of(kParameterColumns.begin(), kParameterColumns.end(), named) ||
         std::any_of(kProvenanceColumns.begin(), kProvenanceColumns.end(), named) ||
         std::any_of(kQualityColumns.begin(), kQualityColumns.end(), named);
}

// A quoted identifier at sql[at] ("…", `…` or […]; a doubled closing quote stands for itself, except
// in brackets): its name, with at moved past it; nullopt when it does not end.
std::optional<std::string> QuotedIdentifier(const std::string& sql, std::size_t& at) {
  const char close = sql[at] == '[' ? ']' : sql[at];
  std::string name;
  for (++at; at < sql.size(); ++at) {
    if (sql[at] != close) {
      name += sql[at];
    } else if (close != ']' && at + 1 < sql.size() && sql[at + 1] == close) {
      name += sql[at++];
    } else {
      ++at;
      return name;
    }
  }
  return std::nullopt;
}

// Whether table1's CREATE TABLE text uses only what the program's own table (and ALTER TABLE ADD
// COLUMN on it) is written with: its names, bare or quoted, the types INTEGER and TEXT, the key's
// PRIMARY KEY AUTOINCREMENT, parentheses and commas. So no constraint, default, collation, conflict
// clause, comment, string, VIRTUAL table or WITHOUT ROWID.
bool IsPlainTableText(const std::string& sql, const std::vector<std::string>& extra) {
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
      const std::optional<std::string> quoted = QuotedIdentifier(sql, at);
      if (!quoted || (*quoted != "table1" && !IsStoreColumn(*quoted, extra))) return false;
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(c)) && c != '_') return false;
    while (at < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[at])) || sql[at] == '_')) name += sql[at++];
    const bool word = std::any_of(std::begin(kWords), std::end(kWords),
                                  [&](const char* w) { return strcasecmp(w, name.c_str()) == 0; });
    if (!word && name != "table1" && !IsStoreColumn(name, extra)) return false;
  }
  return true;
}

// The name of the table that a CREATE TABLE text makes: the identifier after its first two words,
// unquoted; empty when the text does not begin so.
std::string TableNameOf(const std::string& sql) {
  std::size_t at = 0;
  const auto skipSpace = [&] {
    while (at < sql.size() && std::isspace(static_cast<unsigned char>(sql[at]))) ++at;
  };
  const auto word = [&] {
    skipSpace();
    std::string text;
    if (at < sql.size() && (sql[at] == '"' || sql[at] == '`' || sql[at] == '[')) {
      return QuotedIdentifier(sql, at).value_or(std::string());
    }
    while (at < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[at])) || sql[at] == '_')) text += sql[at++];
    return text;
  };
  if (strcasecmp(word().c_str(), "CREATE") != 0 || strcasecmp(word().c_str(), "TABLE") != 0) return {};
  const std::string name = word();
  skipSpace();
  return at < sql.size() && sql[at] == '(' ? name : std::string();
}

}  // namespace

void UseSafeFileOpens() {
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
    if (vfs == nullptr || vfs->iVersion < 3) return;
    g_systemOpen = reinterpret_cast<OpenCall>(vfs->xGetSystemCall(vfs, "open"));
    if (g_systemOpen == nullptr) return;
    vfs->xSetSystemCall(vfs, "open", reinterpret_cast<sqlite3_syscall_ptr>(&SafeOpen));
  });
}

[[noreturn]] void Fail(sqlite3* db, int rc, const std::string& path) {
  const std::string detail = (db != nullptr) ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const char* file = path.c_str();
  switch (rc & 0xFF) {
    case SQLITE_NOTADB:
      throw StoreError(Format("无法打开参数数据库 %s：密码不符，或者这个文件不是参数数据库。", file));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw StoreError("数据库正忙：另一个程序正在使用参数数据库，请稍后再试。");
    case SQLITE_NOMEM:
      throw StoreError("内存不足，参数数据库的操作未完成。");
    case SQLITE_READONLY:
      throw StoreError(Format("参数数据库 %s 只能读取，无法写入（%s）。", file, detail.c_str()));
    case SQLITE_FULL:
      throw StoreError(Format("磁盘已满，无法写入参数数据库 %s。", file));
    case SQLITE_CANTOPEN:
      throw StoreError(Format("无法打开参数数据库 %s 或它旁边的 -wal、-shm、-journal 文件（%s）：它们必须能够读写，"
                              "必须是普通文件，不能是链接。",
                              file, detail.c_str()));
    case SQLITE_CORRUPT:
      throw StoreError(Format("参数数据库 %s 已损坏（%s）。", file, detail.c_str()));
    default:
      throw StoreError(Format("参数数据库 %s 操作失败：%s", file, detail.c_str()));
  }
}

std::string QuoteIdentifier(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

Statement::Statement(sqlite3* db, const std::string& sql, const std::string& path) {
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &m_stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    Fail(db, rc, path);
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

void Execute(sqlite3* db, const std::string& sql, const std::string& path) {
  Statement statement(db, sql, path);
  int rc;
  while ((rc = Step(statement.get())) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) Fail(db, rc, path);
}

std::vector<std::string> CheckStoreSchema(sqlite3* db, const std::string& path, const std::vector<std::string>& extra) {
  const auto refuse = [&](const std::string& what) {
    throw StoreError(Format("数据库结构不符：%s 含有本程序未建立的内容（%s），未执行任何操作。", path.c_str(),
                            what.c_str()));
  };
  // Texts in any other encoding would be turned into UTF-8 on the way out, losing what is not valid.
  {
    Statement encoding(db, "PRAGMA encoding", path);
    if (Step(encoding.get()) != SQLITE_ROW) Fail(db, sqlite3_errcode(db), path);
    const std::string name = Text(encoding.get(), 0);
    if (name != "UTF-8") refuse("文本编码 " + name);
  }
  sqlite3_int64 pages = 0;
  {
    Statement count(db, "PRAGMA page_count", path);
    if (Step(count.get()) != SQLITE_ROW) Fail(db, sqlite3_errcode(db), path);
    pages = sqlite3_column_int64(count.get(), 0);
  }
  // Reading the schema parses it, but runs none of it. The engine builds its objects from the SQL
  // alone, so each row's type and names must be what its SQL makes, and each object has a page of
  // its own: page 1 is the schema's.
  Statement objects(db, "SELECT type, name, tbl_name, rootpage, sql FROM sqlite_master", path);
  bool table1 = false;
  std::set<sqlite3_int64> rootPages;
  int rc;
  while ((rc = Step(objects.get())) == SQLITE_ROW) {
    const std::string type = Text(objects.get(), 0);
    const std::string name = Text(objects.get(), 1);
    const std::string table = Text(objects.get(), 2);
    const sqlite3_int64 root = sqlite3_column_int64(objects.get(), 3);
    const std::string sql = Text(objects.get(), 4);
    if (type == "table" && name == "sqlite_sequence" && table == name &&
        sql == "CREATE TABLE sqlite_sequence(name,seq)") {
    } else if (type == "table" && name == "table1" && table == name) {
      if (TableNameOf(sql) != "table1" || !IsPlainTableText(sql, extra)) refuse("table1 的定义：" + sql);
      table1 = true;
    } else {
      refuse(type + " " + name);
    }
    if (sqlite3_column_type(objects.get(), 3) != SQLITE_INTEGER || root < 2 || root > pages ||
        !rootPages.insert(root).second) {
      refuse(Format("%s 的页号 %lld", name.c_str(), static_cast<long long>(root)));
    }
  }
  if (rc != SQLITE_DONE) Fail(db, rc, path);
  if (!table1) return {};

  // The columns: the key, all eleven parameters, the provenance columns or none of them.
  Statement info(db, "PRAGMA table_info(table1)", path);
  std::vector<std::string> columns;
  while ((rc = Step(info.get())) == SQLITE_ROW) {
    const std::string name = Text(info.get(), 1);
    const bool key = name == "id";
    if (!IsStoreColumn(name, extra)) refuse("table1 的列 " + name);
    if (strcasecmp(Text(info.get(), 2), key ? "INTEGER" : "TEXT") != 0 || sqlite3_column_int(info.get(), 5) != (key ? 1 : 0) ||
        sqlite3_column_type(info.get(), 4) != SQLITE_NULL) {
      refuse("table1 的列 " + name + " 的类型");
    }
    columns.push_back(name);
  }
  if (rc != SQLITE_DONE) Fail(db, rc, path);
  const auto lacks = [&](const char* column) { return std::find(columns.begin(), columns.end(), column) == columns.end(); };
  if (lacks("id") || std::any_of(kParameterColumns.begin(), kParameterColumns.end(), lacks) ||
      std::any_of(extra.begin(), extra.end(), [&](const std::string& column) { return lacks(column.c_str()); })) {
    refuse("table1 缺少列");
  }
  return columns;
}

void UseWriteAheadLog(sqlite3* db) {
  try {
    Statement mode(db, "PRAGMA journal_mode=WAL");
    Step(mode.get());
  } catch (const StoreError&) {
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

std::shared_ptr<Database> OpenDatabase(std::string path, const std::optional<std::string>& key,
                                       const std::vector<std::string>& extra) {
  UseSafeFileOpens();
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    throw StoreError(Format("文件夹 %s 中没有参数数据库 %s。新建一个：qelmora-cli --store %s init-store",
                            folder.c_str(), kStoreFileName, folder.c_str()));
  }
  // The engine resolves a link at the store's own name before it opens it: refused here.
  if (S_ISLNK(info.st_mode)) Fail(nullptr, SQLITE_CANTOPEN, path);
  // Without URI processing a name is a file name, but some builds turn it on for names that begin
  // with "file:"; such a relative name is made explicit.
  const std::string shown = path;
  if (path.compare(0, 5, "file:") == 0) path = "./" + path;
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  auto database = std::make_shared<Database>(handle, shown);
  if (rc != SQLITE_OK) Fail(handle, rc, shown);
  sqlite3_progress_handler(handle, kProgressPeriod, &ProgressBound, nullptr);
  if (key && !key->empty()) {
    const int keyed = sqlite3_key(handle, key->data(), static_cast<int>(key->size()));
    if (keyed != SQLITE_OK) Fail(handle, keyed, shown);
  }
  database->WaitForLocks();
  Execute(handle, "SELECT count(*) FROM sqlite_master", shown);
  CheckStoreSchema(handle, shown, extra);
  return database;
}

}  // namespace sqlcipher
