// The lab store on a PostgreSQL server through libpq (lab_store_linux.h).
//
// One connection per opened store, in autocommit: an import is one INSERT … RETURNING, which the
// server runs as a transaction of its own, so the table gains the whole row or nothing also when
// the connection or the server dies on the way. The history streams in libpq's single-row mode, so
// memory stays flat whatever the table holds. A connection that broke is opened anew when a command
// needs it, and a new one first sends what waits in the outbox (outbox_linux.h); each import
// carries its id, so a row whose answer was lost is looked up rather than sent twice.
#include "store/lab_store_linux.h"

#include <glib.h>
#include <libpq-fe.h>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/afx.h"
#include "store/lab_schema.h"
#include "store/outbox_linux.h"
#include "store/store_location.h"

namespace {

using namespace lab;  // the table's SQL, shared with the Windows backend

// How long a connection may take unless the location says otherwise, in seconds.
constexpr const char* kConnectTimeout = "10";

// libpq's text without its trailing line ends, its lines joined (or kept, each without its indent).
std::string LibpqText(const char* text, bool keepLines = false) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  std::string joined;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') {
      joined += keepLines ? '\n' : ' ';
      while (i + 1 < s.size() && (s[i + 1] == '\t' || s[i + 1] == ' ')) ++i;
    } else {
      joined += s[i];
    }
  }
  return Printable(joined);
}

class Result {
 public:
  explicit Result(PGresult* result) : m_result(result) {}
  ~Result() { PQclear(m_result); }
  Result(Result&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  PGresult* get() const { return m_result; }
  ExecStatusType Status() const { return PQresultStatus(m_result); }
  int Rows() const { return PQntuples(m_result); }
  std::string Text(int row, int column) const {
    std::string text;
    Assign(row, column, text);
    return text;
  }
  void Assign(int row, int column, std::string& text) const {
    text.assign(PQgetvalue(m_result, row, column), static_cast<std::size_t>(PQgetlength(m_result, row, column)));
  }

 private:
  PGresult* m_result;
};

// A location's server as the user is shown it, before or without a connection: host and database.
std::string LocationName(const std::string& location) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(location.c_str(), &error);
  PQfreemem(error);
  std::string host, db, service;
  for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o) {
    const std::string value = o->val != nullptr ? o->val : "";
    if (std::strcmp(o->keyword, "host") == 0) host = value;
    if (std::strcmp(o->keyword, "dbname") == 0) db = value;
    if (std::strcmp(o->keyword, "service") == 0) service = value;
  }
  PQconninfoFree(options);
  if (!service.empty() && host.empty() && db.empty()) return Printable("service=" + service);
  return Printable((host.empty() ? "localhost" : host) + "/" + db);
}

std::string ConnectionName(PGconn* connection) {
  const char* host = PQhost(connection);
  const char* db = PQdb(connection);
  return Printable(std::string(host != nullptr && *host != '\0' ? host : "localhost") + "/" +
                   (db != nullptr ? db : ""));
}

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The text with its %XX escapes decoded (a bad one left as it is).
std::string PercentDecoded(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// Whether a text carries a password anywhere: a key ending in "password" given a value (password=,
// sslpassword=, in any case, percent-encoded or not, after a line end or inside a nested dbname)
// or a URI's user information with a password (scheme://user:…@).
bool CarriesPassword(std::string text) {
  for (int round = 0; round < 3; ++round) {
    text = Lowercase(text);
    for (auto at = text.find("password"); at != std::string::npos; at = text.find("password", at + 1)) {
      const auto next = text.find_first_not_of(" \t\r\n\v\f", at + 8);
      if (next != std::string::npos && text[next] == '=') return true;
    }
    for (auto at = text.find("://"); at != std::string::npos; at = text.find("://", at + 3)) {
      const std::string authority = text.substr(at + 3, text.find_first_of("/?#", at + 3) - (at + 3));
      const auto user = authority.rfind('@');
      if (user != std::string::npos && authority.find(':') < user) return true;
    }
    text = PercentDecoded(text);
  }
  return false;
}

// The length of a location's URI scheme when it is libpq's ("postgresql:" or "postgres:", in any
// case), else 0.
std::size_t SchemeLength(const std::string& location) {
  const std::string scheme = Lowercase(location.substr(0, location.find(':') + 1));
  return scheme == "postgresql:" || scheme == "postgres:" ? scheme.size() : 0;
}

// libpq's parse error without the parts of the location it quotes.
std::string ParseErrorText(const char* error, const std::string& location) {
  std::string text = LibpqText(error);
  for (auto open = text.find('"'); open != std::string::npos; open = text.find('"', open + 1)) {
    const auto close = text.find('"', open + 1);
    if (close == std::string::npos) break;
    const std::string quoted = text.substr(open + 1, close - open - 1);
    if (quoted.size() > 1 && location.find(quoted) != std::string::npos) {
      text.replace(open + 1, quoted.size(), "…");
      open = text.find('"', open + 1);
    } else {
      open = close;
    }
  }
  return text;
}

// The location as libpq is to read it (the scheme in lower case). Refuses, without repeating the
// location, one libpq cannot read or one that carries a password.
std::string CheckedLocation(const std::string& location) {
  std::string target = location;
  const std::size_t scheme = SchemeLength(location);
  std::transform(target.begin(), target.begin() + static_cast<std::ptrdiff_t>(scheme), target.begin(),
                 [](char c) { return static_cast<char>(std::tolower(c)); });
  const StoreError withPassword(
      "实验室数据库的连接串中写有密码：qelmora 不保存也不显示密码，请改用 ~/.pgpass、PGPASSWORD 或服务文件");
  if (CarriesPassword(target)) throw withPassword;
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(target.c_str(), &error);
  if (options == nullptr) {
    const std::string reason = ParseErrorText(error, target);
    PQfreemem(error);
    throw StoreError("实验室数据库的连接串无效：" + reason);
  }
  bool password = false;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    const std::string value = o->val != nullptr ? o->val : "";
    const bool secret = std::strcmp(o->keyword, "password") == 0 || std::strcmp(o->keyword, "sslpassword") == 0;
    if ((secret && !value.empty()) || CarriesPassword(value)) password = true;
  }
  PQconninfoFree(options);
  if (password) throw withPassword;
  return target;
}

// The server could not be reached, or the connection broke before an answer came: what the user
// is told, and the import keeps its row in the outbox.
class ServerAway : public StoreError {
 public:
  using StoreError::StoreError;
};

// Whether libpq's reason for a failed connection says that the server is not there for now (not
// running, starting or stopping, the network or the name service away) rather than that the
// location, the role or its authentication is wrong.
bool IsAwayReason(const std::string& reason) {
  static const char* const kAway[] = {"No such file or directory", "Connection refused", "timeout expired",
                                      "could not translate host name", "the database system is",
                                      "server closed the connection", "Network is unreachable", "No route to host",
                                      "Connection timed out", "Connection reset", "could not receive data",
                                      "could not send data", "not yet accepting connections"};
  return std::any_of(std::begin(kAway), std::end(kAway),
                     [&](const char* said) { return reason.find(said) != std::string::npos; });
}

class Connection {
 public:
  explicit Connection(const std::string& location) {
    const std::string target = CheckedLocation(location);
    // The location first, so that its own connect_timeout and keepalives win; the encoding the
    // program's texts use last. Keepalives notice a network that vanished while a statement runs.
    const char* keywords[] = {"connect_timeout",           "keepalives",       "keepalives_idle",
                              "keepalives_interval",       "keepalives_count", "dbname",
                              "fallback_application_name", "client_encoding",  nullptr};
    const char* values[] = {kConnectTimeout, "1", "10", "5", "3", target.c_str(), "qelmora", "UTF8", nullptr};
    m_connection = PQconnectdbParams(keywords, values, 1);
    if (m_connection == nullptr) throw StoreError("无法连接实验室数据库 " + LocationName(target) + "：内存不足");
    if (PQstatus(m_connection) != CONNECTION_OK) {
      // A service that could not be read names no database yet: then the location names the server.
      const char* db = PQdb(m_connection);
      const std::string name = db != nullptr && *db != '\0' ? ConnectionName(m_connection) : LocationName(target);
      const std::string reason = LibpqText(PQerrorMessage(m_connection), true);
      const std::string text = "无法连接实验室数据库 " + name + "：" + reason;
      PQfinish(m_connection);
      if (IsAwayReason(reason)) throw ServerAway(text);
      throw StoreError(text);
    }
    m_name = ConnectionName(m_connection);
    Pin();
  }
  ~Connection() { PQfinish(m_connection); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  const std::string& Name() const { return m_name; }
  std::string Role() const { return PQuser(m_connection); }
  // Closed after no answer came in time, or broken: a new connection is needed.
  bool Broken() const { return m_connection == nullptr || PQstatus(m_connection) == CONNECTION_BAD; }

  // Runs one statement with text parameters (nullopt: NULL); a failure raises StoreError led by `what`.
  Result Run(const std::string& what, const std::string& sql, const std::vector<std::optional<std::string>>& params = {}) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    Send(what, PQsendQueryParams(m_connection, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                                 nullptr, nullptr, 0));
    std::optional<Result> result;
    while (PGresult* next = Next(what)) {
      if (!result)
        result.emplace(next);
      else
        PQclear(next);
    }
    if (!result) Raise(what, Result(nullptr));
    if (result->Status() != PGRES_COMMAND_OK && result->Status() != PGRES_TUPLES_OK) Raise(what, *result);
    return std::move(*result);
  }

  // Raises the failure of a statement; a broken connection as ServerAway.
  [[noreturn]] void Raise(const std::string& what, const Result& result) const {
    const StoreError failure = Failure(what, result);
    if (m_connection != nullptr && PQstatus(m_connection) == CONNECTION_BAD) throw ServerAway(failure.what());
    throw failure;
  }

  // What the user is told of a failed statement: the server's own words, the connection's state.
  StoreError Failure(const std::string& what, const Result& result) const {
    if (m_connection == nullptr || PQstatus(m_connection) == CONNECTION_BAD) {
      const std::string reason = m_connection != nullptr ? LibpqText(PQerrorMessage(m_connection)) : "";
      return StoreError(what + "：与实验室数据库 " + m_name + " 的连接中断（" + reason + "），这一操作没有完成");
    }
    const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY);
    const std::string reason = LibpqText(primary != nullptr ? primary : PQerrorMessage(m_connection));
    if (state != nullptr && std::strcmp(state, "42501") == 0) {
      return StoreError(what + "：数据库角色 " + Role() + " 在实验室数据库 " + m_name + " 中没有这一权限（" + reason + "）");
    }
    // The server's own limits (statement_timeout, lock_timeout): the statement was undone.
    if (state != nullptr && (std::strcmp(state, "57014") == 0 || std::strcmp(state, "55P03") == 0)) {
      const long limit = std::strcmp(state, "55P03") == 0 ? m_lockLimit : m_statementLimit;
      return StoreError(what + "：实验室数据库 " + m_name + Format(" 在 %ld 秒内没有回答（", Seconds(limit)) + reason +
                        "），这一操作没有完成");
    }
    return StoreError(what + "：实验室数据库 " + m_name + " 报告：" + reason);
  }

  // Runs a query whose rows come one at a time, as the server sends them (libpq's single-row mode),
  // so that memory stays flat whatever the table holds. When `row` raises, the query is cancelled,
  // what the server still sends is let go, and that exception goes on.
  void Stream(const std::string& what, const std::string& sql, const std::function<void(const Result&)>& row) {
    Send(what, PQsendQueryParams(m_connection, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
    if (PQsetSingleRowMode(m_connection) == 0) throw Failure(what, Result(nullptr));
    std::exception_ptr error;
    try {
      while (PGresult* next = Next(what)) {
        const Result result(next);
        if (error) continue;
        if (result.Status() == PGRES_SINGLE_TUPLE) {
          try {
            row(result);
          } catch (...) {
            error = std::current_exception();
            if (PGcancel* cancel = PQgetCancel(m_connection)) {
              char reason[256];
              PQcancel(cancel, reason, sizeof reason);
              PQfreeCancel(cancel);
            }
          }
        } else if (result.Status() != PGRES_TUPLES_OK) {
          error = std::make_exception_ptr(Failure(what, result));
        }
      }
    } catch (const StoreError&) {
      if (!error) throw;  // no answer in time: said so; an earlier failure comes first
    }
    if (error) std::rethrow_exception(error);
  }

  // Rolls an open transaction back, quietly: the failure that led here is what the user is told.
  void RollBackQuietly() noexcept {
    if (m_connection != nullptr && PQtransactionStatus(m_connection) != PQTRANS_IDLE) {
      PQclear(PQexec(m_connection, "ROLLBACK"));
    }
  }

 private:
  static long Seconds(long milliseconds) { return (milliseconds + 999) / 1000; }

  // Before anything else runs: names resolve in pg_catalog alone, so that no function or operator
  // a member made elsewhere (one that matches better than pg_catalog's) can run as this session;
  // every statement then names qelmora.table1. Then the time limits: a statement runs and waits
  // for a lock at most as long as the location or the role allows and never longer than ours.
  void Pin() {
    const std::string what = "无法连接实验室数据库 " + m_name;
    Run(what, "SELECT pg_catalog.set_config('search_path', 'pg_catalog', false)");
    const Result limits = Run(what,
                              "SELECT setting FROM pg_catalog.pg_settings WHERE name IN ('lock_timeout', "
                              "'statement_timeout') ORDER BY name");
    const auto Limit = [&](int row, long ours) {
      const long theirs = limits.Rows() > row ? std::atol(limits.Text(row, 0).c_str()) : 0;
      return theirs > 0 ? std::min(theirs, ours) : ours;
    };
    m_statementLimit = Limit(1, kStatementLimit);
    m_lockLimit = Limit(0, std::min(kLockLimit, m_statementLimit));
    Run(what,
        "SELECT pg_catalog.set_config('statement_timeout', $1, false),"
        " pg_catalog.set_config('lock_timeout', $2, false)",
        {std::to_string(m_statementLimit), std::to_string(m_lockLimit)});
  }

  void Send(const std::string& what, int sent) {
    if (m_connection == nullptr || sent == 0) Raise(what, Result(nullptr));
  }

  // The next result of the statement sent, waiting for it at most a little longer than the server's
  // own limit: a server process that stopped, or a network that vanished, then ends the wait. The
  // connection is then closed, since its statement may still end either way.
  PGresult* Next(const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(m_statementLimit + std::min(m_statementLimit, 5000L));
    while (PQisBusy(m_connection) != 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd wait{PQsocket(m_connection), POLLIN, 0};
      const int ready = left > 0 ? ::poll(&wait, 1, static_cast<int>(left)) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        PQfinish(std::exchange(m_connection, nullptr));
        throw StoreError(what + "：实验室数据库 " + m_name + Format(" 在 %ld 秒内没有回答", Seconds(m_statementLimit)) +
                         "，qelmora 已断开连接；这一操作是否已在服务器上完成无法确知，请先查看历史再决定是否重做");
      }
      if (ready < 0 || PQconsumeInput(m_connection) == 0) break;  // PQgetResult reports the broken connection
    }
    return PQgetResult(m_connection);
  }

  PGconn* m_connection = nullptr;
  std::string m_name;
  long m_statementLimit = kStatementLimit;  // milliseconds
  long m_lockLimit = kLockLimit;
};

SchemaState CheckSchema(Connection& connection) {
  const Result result = connection.Run("无法检查实验室数据库中的 table1", SchemaQuery("qelmora.table1"));
  SchemaState state;
  state.present = result.Text(0, 0) == "t";
  if (!state.present) {
    const Result earlier = connection.Run("无法检查实验室数据库中的 table1", SchemaQuery(kEarlierTable));
    state.earlier = earlier.Text(0, 0) == "t" && earlier.Text(0, kColumnsFact + 1) == kEarlierColumns;
    return state;
  }
  CompareSchema(
      [&](std::size_t column) -> std::optional<std::string> {
        if (PQgetisnull(result.get(), 0, static_cast<int>(column))) return std::nullopt;
        return result.Text(0, static_cast<int>(column));
      },
      state);
  return state;
}

// Refuses a text the server could not hold as it is: one with a NUL (libpq would cut it there) or
// bytes that are no UTF-8.
void CheckText(const std::string& what, const std::string& text) {
  if (text.find('\0') != std::string::npos) throw StoreError(what + " 含有 NUL 字符，qelmora 不保存它");
  if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) == FALSE)
    throw StoreError(what + " 不是 UTF-8 文本，qelmora 不保存它");
}

// The SHA-256 digest of the bytes an import read, in hexadecimal.
std::string ContentDigest(const std::string& bytes) {
  return std::unique_ptr<char, decltype(&g_free)>(
             g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(bytes.data()), bytes.size()),
             &g_free)
      .get();
}

std::optional<std::string> Present(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return text;
}

// The first row of a result of ReadColumns into `stored`.
void ReadRow(const Result& result, StoredRow& stored) {
  for (std::size_t i = 0; i < kReadColumnCount; ++i) result.Assign(0, static_cast<int>(i), ReadField(stored, i));
}

// What copy-history knows a row by, before the count of the rows with the same content ahead of
// it: the values, the time and the source, each with its length.
std::string CopyContent(const std::vector<std::optional<std::string>>& valuesTimeSource) {
  std::string content;
  for (const auto& value : valuesTimeSource) content += value ? std::to_string(value->size()) + ":" + *value + ";" : "-;";
  return content;
}

// Whether this process may keep an import in the outbox when the server is away.
bool g_keepWhenAway = true;

class LabStore final : public ParameterStore {
 public:
  // A server that is away at the opening is no failure while imports may wait in the outbox: the
  // store connects when a command needs it.
  explicit LabStore(const std::string& location)
      : m_location(location),
        m_name(LocationName(CheckedLocation(location))),
        m_outboxKey(m_name),
        m_workstation(WorkstationName()) {
    try {
      Connected();
    } catch (const ServerAway& away) {
      if (!g_keepWhenAway) throw;
      m_notice = std::string(away.what()) + "\r\n导入的参数将暂存在本机，恢复连接后自动上传。";
    }
  }

  std::string TakeNotice() override { return std::exchange(m_notice, std::string()); }

  // The connection, opened anew when there is none or it broke (the server was restarted, say);
  // a new one first sends what waits in the outbox, oldest first.
  Connection& Connected() {
    if (m_connection && !m_connection->Broken()) return *m_connection;
    m_connection.reset();
    auto connection = std::make_unique<Connection>(m_location);
    RefuseOtherSchema(connection->Name(), CheckSchema(*connection));
    m_connection = std::move(connection);
    m_name = m_connection->Name();
    const std::vector<WaitingImport> waiting = WaitingImports(m_outboxKey);
    for (const WaitingImport& import : waiting) {
      Deliver(import);
      RemoveFromOutbox(import.importId);
    }
    if (!waiting.empty()) {
      m_sent += static_cast<long>(waiting.size());
      m_notice += Format("已将本机暂存的 %zu 次导入上传到实验室数据库 %s", waiting.size(), m_name.c_str());
    }
    return *m_connection;
  }

  long Sent() const { return m_sent; }

  // An import on its way: the server holds it once, whether the answer came or was lost (the
  // id is looked up on a new connection), or it raises ServerAway.
  void Deliver(const lab::Import& import) {
    try {
      InsertOnce(*m_connection, import);
    } catch (const ServerAway& broken) {
      m_connection.reset();
      try {
        InsertOnce(Connected(), import);
      } catch (const ServerAway&) {
        throw broken;  // what the user is to know: the connection broke on the way
      }
    }
  }

  // A new import: delivered, else kept in the outbox when the server is away. Returns what the
  // user is told instead of the plain success; empty when the server holds it.
  std::string Import(lab::Import& import) {
    import.importId = NewImportId();
    try {
      Connected();
      Deliver(import);
      return {};
    } catch (const ServerAway&) {
      if (!g_keepWhenAway) throw;
    }
    WaitingImport waiting;
    static_cast<lab::Import&>(waiting) = import;
    waiting.labStore = m_outboxKey;
    const std::string outbox = KeepInOutbox(waiting);
    return std::string(kOutboxText) + "\r\n本机暂存：" + outbox;
  }

  std::unique_ptr<PendingRow> StartRow() override {
    return std::make_unique<ImportRow>(
        Name(), [this](lab::Import& import) { return Import(import); }, ContentDigest);
  }

  // The newest import of this workstation, the outbox's first: what waits there was read later
  // than anything the server holds of it.
  StoredRow ReadCurrent() override {
    const std::vector<WaitingImport> waiting = WaitingImports(m_outboxKey);
    if (!waiting.empty()) return WaitingRow(waiting.back());
    Connection& connection = Connected();
    const Result result = connection.Run(
        "无法读取当前参数",
        CurrentSetQuery("$1", "$2"),
        {m_workstation, connection.Role()});  // the role logged in: session_user, as the stamp has it
    if (result.Rows() == 0) {
      throw StoreError(NoCurrentSetText(connection.Name(), Printable(m_workstation), Printable(connection.Role())));
    }
    StoredRow row;
    ReadRow(result, row);
    return row;
  }

  // The time of this workstation's newest import from `source` when its content digest is that of `bytes`.
  std::optional<std::string> ImportedBefore(const std::string& source, const std::string& bytes) override {
    const std::string digest = ContentDigest(bytes);
    const std::vector<WaitingImport> waiting = WaitingImports(m_outboxKey);
    for (auto at = waiting.rbegin(); at != waiting.rend(); ++at) {
      if (at->source == source) return at->contentSha256 == digest ? std::optional(at->readAt) : std::nullopt;
    }
    // A path the server cannot hold is refused by the import itself.
    if (source.find('\0') != std::string::npos ||
        g_utf8_validate(source.data(), static_cast<gssize>(source.size()), nullptr) == FALSE) {
      return std::nullopt;
    }
    // A server that is away cannot say; the import then goes on to the outbox.
    try {
      Connection& connection = Connected();
      const Result result = connection.Run("无法读取参数历史", SourceImportQuery("$1", "$2", "$3"),
                                           {m_workstation, connection.Role(), source});
      if (result.Rows() == 1 && result.Text(0, 0) == digest) return result.Text(0, 1);
    } catch (const ServerAway&) {
      if (!g_keepWhenAway) throw;
    }
    return std::nullopt;
  }

  void ReadHistory(const std::function<void(const StoredRow&)>& visit) override {
    StoredRow row;  // its texts keep their room from row to row
    Connected().Stream("无法读取参数历史", HistoryQuery(), [&](const Result& result) {
      ReadRow(result, row);
      visit(row);
    });
  }

  std::string Name() const override { return m_name; }
  bool Shared() const override { return true; }

  // One import as one statement. The server holds it when the id comes back, or when the id was
  // already there (sent before, its answer lost).
  void InsertOnce(Connection& connection, const lab::Import& import) {
    const std::vector<std::optional<std::string>> params = ImportValues(import, m_workstation);
    for (std::size_t i = 0; i < params.size(); ++i) {
      if (params[i]) CheckText("无法保存参数：" + ImportValueName(i), *params[i]);
    }
    const std::string what = "无法保存参数";
    const auto mark = [](std::size_t number) { return "$" + std::to_string(number); };
    if (connection.Run(what, ImportStatement(mark), params).Rows() == 1) return;
    if (connection.Run(what, ImportIdQuery("$1"), {import.importId}).Rows() != 1)
      throw StoreError("无法保存参数：实验室数据库 " + connection.Name() + " 没有确认这一行");
  }

  // copy-history: every row of `from` in one transaction, its time as recorded_at. A row is known
  // by its content (the values, the time, the source, and how many rows before it had the same),
  // never by its place in the store or the store's path: a store restored from a backup, or named
  // another way, brings only the rows the lab does not have.
  std::string CopyFrom(ParameterStore& from, const std::string& fromName) {
    const std::string what = "无法复制参数历史";
    Connection& connection = Connected();
    std::string sql = "INSERT INTO qelmora.table1 (" + ParameterColumnList() +
                      ", recorded_at, source, workstation, copied_from, " + QualityColumnList() + ") VALUES (";
    for (std::size_t i = 1; i <= kParameterCount + 3; ++i) {
      sql += (i > 1 ? ", $" : "$") + std::to_string(i) + (i == kParameterCount + 1 ? "::pg_catalog.timestamptz" : "");
    }
    sql += Format(", 'copy:' || pg_catalog.md5($%zu)", kParameterCount + 4);
    for (std::size_t i = kParameterCount + 5; i < kParameterCount + 5 + kQualityCount; ++i) sql += Format(", $%zu", i);
    sql += ") ON CONFLICT (copied_from) DO NOTHING RETURNING id";
    std::map<std::string, long> seen;  // each content's rows so far
    long rows = 0;
    long copied = 0;
    CheckText(what + "：本工作站的名称", m_workstation);
    connection.Run(what, "BEGIN");
    try {
      from.ReadHistory([&](const StoredRow& row) {
        ++rows;
        std::vector<std::optional<std::string>> params;
        for (const std::string& value : row.parameters) params.push_back(Present(value));
        params.push_back(Present(row.provenance[kImportedAt]));
        params.push_back(Present(row.provenance[kSource]));
        for (std::size_t i = 0; i < params.size(); ++i) {
          const std::string column =
              i < kParameterCount ? kParameterColumns[i] : kProvenanceColumns[i - kParameterCount];
          if (params[i]) CheckText(Format("%s：本地第 %ld 行的 %s", what.c_str(), rows, column.c_str()), *params[i]);
        }
        std::string content = CopyContent(params);
        content += "#" + std::to_string(++seen[content]);
        params.push_back(m_workstation);
        params.push_back(content);
        for (std::size_t i = 0; i < kQualityCount; ++i) {
          CheckText(Format("%s：本地第 %ld 行的 %s", what.c_str(), rows, kQualityColumns[i]), row.quality[i]);
          params.push_back(Present(row.quality[i]));
        }
        copied += connection.Run(what, sql, params).Rows();
      });
      connection.Run(what, "COMMIT");
    } catch (...) {
      connection.RollBackQuietly();
      throw;
    }
    return Format("已从 %s 向实验室数据库 %s 复制 %ld 行（%ld 行此前已复制过）", fromName.c_str(),
                  connection.Name().c_str(), copied, rows - copied);
  }

 private:
  // An import of the outbox as the history shows this workstation's rows.
  StoredRow WaitingRow(const WaitingImport& import) const {
    StoredRow row;
    for (std::size_t i = 0; i < kParameterCount; ++i) row.parameters[i] = import.values[i].value_or("");
    row.provenance = {import.readAt, import.source};
    row.workstation = m_workstation;
    row.quality = import.quality;
    return row;
  }

  std::string m_location;
  std::unique_ptr<Connection> m_connection;
  std::string m_name;  // the server's host and database
  // What the outbox knows the store by: its host and database (or service) as the location names
  // them, the same whether the server was reached or not.
  std::string m_outboxKey;
  std::string m_workstation;
  std::string m_notice;
  long m_sent = 0;
};

// Inside init-store's transaction, with the new table made: every row of the release before's
// table1, oldest first, keeping its time, role and workstation. A row that release copied from a PC
// gets today's copy key (its old time as recorded_at), so that copy-history does not bring it again.
long BringEarlierRows(Connection& connection, const std::string& what) {
  connection.Run(what, "ALTER TABLE qelmora.table1 DISABLE TRIGGER table1_stamp");
  const Result rows = connection.Run(
      what, "SELECT " + ParameterColumnList() + ", " + ProgramTime("imported_at") +
                ", source, imported_by, workstation, copied_from IS NOT NULL FROM " + kEarlierTable +
                " ORDER BY imported_at NULLS FIRST, id");
  std::string sql = "INSERT INTO qelmora.table1 (" + ParameterColumnList() +
                    ", imported_at, recorded_at, source, imported_by, workstation, copied_from) VALUES (";
  for (std::size_t i = 1; i <= kParameterCount; ++i) sql += "$" + std::to_string(i) + ", ";
  sql += Format(
      "COALESCE($%zu::pg_catalog.timestamptz, pg_catalog.now()), CASE WHEN $%zu THEN $%zu::pg_catalog.timestamptz END,"
      " $%zu, $%zu, $%zu, CASE WHEN $%zu THEN 'copy:' || pg_catalog.md5($%zu) END)",
      kParameterCount + 1, kParameterCount + 5, kParameterCount + 1, kParameterCount + 2, kParameterCount + 3,
      kParameterCount + 4, kParameterCount + 5, kParameterCount + 6);
  std::map<std::string, long> seen;
  for (int r = 0; r < rows.Rows(); ++r) {
    std::vector<std::optional<std::string>> params;
    for (int c = 0; c < static_cast<int>(kParameterCount) + 5; ++c) {
      params.push_back(PQgetisnull(rows.get(), r, c) ? std::nullopt : std::optional<std::string>(rows.Text(r, c)));
    }
    const bool copied = params.back() == "t";
    params.back() = copied ? "true" : "false";
    std::vector<std::optional<std::string>> content(params.begin(), params.begin() + kParameterCount + 2);
    std::string key = CopyContent(content);
    key += "#" + std::to_string(++seen[key]);
    params.push_back(key);
    connection.Run(what, sql, params);
  }
  connection.Run(what, "ALTER TABLE qelmora.table1 ENABLE ALWAYS TRIGGER table1_stamp");
  return rows.Rows();
}

}  // namespace

bool IsLabStoreLocation(const std::string& location) {
  if (SchemeLength(location) != 0) return true;
  // A connection string: its first word one of libpq's keywords, followed by "=".
  const auto first = location.find_first_not_of(" \t\r\n");
  const auto end = location.find_first_of(" \t\r\n=", first);
  if (first != std::string::npos && end != std::string::npos &&
      location.find_first_not_of(" \t\r\n", end) == location.find('=', first)) {
    const std::string key = location.substr(first, end - first);
    PQconninfoOption* defaults = PQconndefaults();
    bool known = false;
    for (PQconninfoOption* o = defaults; o != nullptr && o->keyword != nullptr; ++o) known = known || key == o->keyword;
    PQconninfoFree(defaults);
    if (known) return true;
  }
  // Whatever else carries a password is the lab store's to refuse, not a folder to name.
  return CarriesPassword(location);
}

std::unique_ptr<ParameterStore> OpenLabStore(const std::string& location) {
  return std::make_unique<LabStore>(location);
}

std::string InitLabStore(const std::string& location) {
  Connection connection(location);
  const SchemaState schema = CheckSchema(connection);
  if (schema.present && schema.withoutImportIds) {
    // The columns of the import id, the time read and the digest, and their indexes, at once.
    const std::string what = "无法升级实验室数据库 " + connection.Name() + " 中的 table1";
    connection.Run(what, "BEGIN");
    try {
      for (const std::string& statement : ImportIdUpgradeStatements()) connection.Run(what, statement);
      connection.Run(what, "COMMIT");
    } catch (...) {
      connection.RollBackQuietly();
      throw;
    }
    return "已升级实验室数据库 " + connection.Name() + " 中的 table1：加入了导入编号（import_id）、读取时间和内容摘要的列";
  }
  if (schema.present) {
    if (!schema.difference.empty()) {
      throw StoreError("实验室数据库 " + connection.Name() + " 中已有另一种 table1（" + schema.difference +
                       "与 init-store 建立的不同）：init-store 不改动它");
    }
    return "实验室数据库 " + connection.Name() + " 中的 table1 已是 init-store 建立的结构，未做任何改动";
  }
  const std::string what = "无法在实验室数据库 " + connection.Name() + " 中建立 table1";
  long brought = 0;
  connection.Run(what, "BEGIN");
  try {
    for (const std::string& statement : CreateStatements()) connection.Run(what, statement);
    if (schema.earlier) brought = BringEarlierRows(connection, what);
    connection.Run(what, "COMMIT");
  } catch (...) {
    connection.RollBackQuietly();
    throw;
  }
  const std::string made = "已在实验室数据库 " + connection.Name() + " 中建立 table1；实验室成员的角色请加入 " +
                           kLabMemberRole + "（只能导入和读取）";
  if (!schema.earlier) return made;
  return made + Format("；较早版本的 %s 中的 %ld 行已带入新表（原表未改动，可由管理员删除）", kEarlierTable, brought);
}

std::string CopyHistoryToLabStore(ParameterStore& lab, ParameterStore& from, const std::string& fromName) {
  auto* store = dynamic_cast<LabStore*>(&lab);
  if (store == nullptr) throw StoreError("copy-history 的目标必须是实验室数据库（--store 连接串）");
  return store->CopyFrom(from, fromName);
}

void KeepImportsWhenAway(bool keep) { g_keepWhenAway = keep; }

std::string SendWaitingImports(const std::string& location) {
  g_keepWhenAway = false;  // a server that is away is this command's failure
  LabStore store(location);
  return Format("已将本机暂存的 %ld 次导入上传到实验室数据库 %s；暂存库中还有 %zu 次导入等待上传", store.Sent(),
                store.Name().c_str(), WaitingImports().size());
}

std::string WorkstationName() {
  std::string user;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    user = found->pw_name;
  } else {
    user = std::to_string(geteuid());
  }
  std::array<char, 256> host{};
  if (gethostname(host.data(), host.size() - 1) != 0) host[0] = '\0';
  return user + "@" + (host[0] != '\0' ? host.data() : "localhost");
}
