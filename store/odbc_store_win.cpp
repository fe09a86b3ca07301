// The lab store through ODBC (odbc_store_win.h). One connection per opened store, in autocommit: an
// import is one INSERT … RETURNING, which the server runs as a transaction of its own, so the table
// gains the whole row or nothing, also when the connection or the server dies on the way. Each
// import carries an id made here: an import whose answer was lost is sent again on a new
// connection, which the server takes once, and then looked up.
#include "store/odbc_store_win.h"

// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cctype>

#include "base/afx.h"
#include "store/lab_schema.h"
#include "store/odbc_win.h"
#include "store/store.h"

namespace {

// How long a connection may take, in seconds; how long the program waits for a statement beyond
// the server's own limit (lab::kStatementLimit).
constexpr unsigned long kLoginSeconds = 10;
constexpr unsigned long kQuerySeconds = lab::kStatementLimit / 1000 + 5;

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Whether a connection string carries a password anywhere: a keyword PWD or PASSWORD (in any case,
// also inside braces) given a value.
bool CarriesPassword(const std::string& location) {
  const std::string text = Lowercase(location);
  for (const char* key : {"pwd", "password"}) {
    for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
      const auto next = text.find_first_not_of(" \t\r\n", at + std::char_traits<char>::length(key));
      if (next != std::string::npos && text[next] == '=') return true;
    }
  }
  return false;
}

// The location's server as the user is shown it before a connection: host/database, or the data source.
std::string LocationName(const std::string& location) {
  const auto first = [&](std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
      if (std::optional<std::string> value = ConnectionStringProperty(location, key)) return *value;
    }
    return std::string();
  };
  const std::string host = first({"Server", "Servername", "Host"}), db = first({"Database", "DB"});
  const std::string dsn = ConnectionStringProperty(location, "DSN").value_or("");
  if (!dsn.empty() && host.empty() && db.empty()) return "dsn=" + dsn;
  return (host.empty() ? "localhost" : host) + "/" + db;
}

// A new import id: 128 bits from the system's random source.
std::string NewImportId() {
  std::array<unsigned char, 16> bits{};
  const NTSTATUS status = BCryptGenRandom(nullptr, bits.data(), static_cast<ULONG>(bits.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) throw StoreError(Format("无法生成导入编号（NTSTATUS 0x%08lX）", static_cast<unsigned long>(status)));
  return lab::ImportIdText(bits);
}

// The SHA-256 digest of the bytes an import read, in hexadecimal; empty when the system cannot make one.
std::string ContentDigest(const std::string& bytes) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return {};
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::array<unsigned char, 32> digest{};
  bool made = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  if (made) {
    made = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                          static_cast<ULONG>(bytes.size()), 0) >= 0 &&
           BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
    BCryptDestroyHash(hash);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  std::string text;
  if (made) {
    for (unsigned char byte : digest) text += Format("%02x", byte);
  }
  return text;
}

class OdbcStore final : public ParameterStore {
 public:
  explicit OdbcStore(const std::string& location) : m_location(location), m_workstation(OdbcWorkstationName()) {
    if (CarriesPassword(location)) {
      throw StoreError(
          "实验室数据库的连接串中写有密码：qelmora 不保存也不显示密码，请改用 ODBC 数据源（dsn=名称）或 "
          "%APPDATA%\\postgresql\\pgpass.conf");
    }
    m_name = LocationName(location);
    Connect();
    lab::RefuseOtherSchema(m_name, CheckSchema());
  }

  std::unique_ptr<PendingRow> StartRow() override {
    return std::make_unique<lab::ImportRow>(
        m_name,
        [this](lab::Import& import) {
          Insert(import);
          return std::string();
        },
        ContentDigest);
  }

  StoredRow ReadCurrent() override {
    std::optional<StoredRow> current;
    Run("无法读取当前参数", lab::CurrentSetQuery("?", "session_user"), {m_workstation},
        [&](const odbc::Row& row) { current = Stored(row); });
    if (!current) throw StoreError(lab::NoCurrentSetText(m_name, m_workstation, Role()));
    return *current;
  }

  void ReadHistory(const std::function<void(const StoredRow&)>& visit) override {
    Run("无法读取参数历史", lab::HistoryQuery(), {}, [&](const odbc::Row& row) { visit(Stored(row)); });
  }

  std::string Name() const override { return m_name; }
  bool Shared() const override { return true; }

 private:
  // A new connection, its session pinned (Pin); the old one, if any, is let go.
  void Connect() {
    m_connection.reset();
    m_lost = false;
    try {
      m_connection = std::make_unique<odbc::Connection>(odbc::Wide(m_location), kLoginSeconds);
    } catch (const odbc::Error& e) {
      throw StoreError("无法连接实验室数据库 " + m_name + "：" + e.what());
    }
    const std::string server = odbc::Narrow(m_connection->Info(SQL_SERVER_NAME));
    const std::string database = odbc::Narrow(m_connection->Info(SQL_DATABASE_NAME));
    if (!database.empty()) m_name = (server.empty() ? "localhost" : server) + "/" + database;
    Pin();
  }

  // The role logged in (the session's user, as the stamp trigger records it).
  std::string Role() {
    std::string role;
    Run("无法读取数据库角色", "SELECT session_user", {}, [&](const odbc::Row& row) { role = odbc::Narrow(row[0].value_or(L"")); });
    return role;
  }

  // Runs one statement; a failure raises StoreError led by `what`, with the driver's message.
  void Run(const std::string& what, const std::string& sql, const std::vector<std::optional<std::string>>& params,
           const std::function<void(const odbc::Row&)>& row = [](const odbc::Row&) {}) {
    std::vector<std::optional<std::wstring>> wide;
    for (const auto& p : params) wide.push_back(p ? std::optional(odbc::Wide(*p)) : std::nullopt);
    try {
      m_connection->Run(odbc::Wide(sql), wide, row, kQuerySeconds);
    } catch (const odbc::Error& e) {
      const std::string& state = e.state();
      // The connection broke or the driver stopped waiting: the statement's answer is lost.
      m_lost = state.rfind("08", 0) == 0 || state == "HYT00";
      if (state.rfind("08", 0) == 0) {
        throw StoreError(what + "：与实验室数据库 " + m_name + " 的连接中断（" + e.what() + "），这一操作没有完成");
      }
      if (state == "42501") {
        throw StoreError(what + "：数据库角色 " + Role() + " 在实验室数据库 " + m_name + " 中没有这一权限（" + e.what() + "）");
      }
      // The server's own limits (statement_timeout, lock_timeout): the statement was undone.
      if (state == "57014" || state == "55P03") {
        throw StoreError(what + "：实验室数据库 " + m_name +
                         Format(" 在 %ld 秒内没有回答（", (state == "55P03" ? lab::kLockLimit : lab::kStatementLimit) / 1000) +
                         e.what() + "），这一操作没有完成");
      }
      // The driver stopped waiting: whether the server completed the statement is not known.
      if (state == "HYT00") {
        throw StoreError(what + "：实验室数据库 " + m_name + Format(" 在 %lu 秒内没有回答", kQuerySeconds) +
                         "，这一操作是否已在服务器上完成无法确知，请先查看历史再决定是否重做");
      }
      throw StoreError(what + "：实验室数据库 " + m_name + " 报告：" + e.what());
    }
  }

  // Before anything else: names resolve in pg_catalog alone, so that no function or operator a
  // member made elsewhere runs in this session; then the time limits, never longer than ours nor
  // than the location's or the role's.
  void Pin() {
    const std::string what = "无法连接实验室数据库 " + m_name;
    Run(what, "SELECT pg_catalog.set_config('search_path', 'pg_catalog', false)", {});
    Run(what,
        Format("SELECT pg_catalog.set_config('statement_timeout', s::text, false),"
               " pg_catalog.set_config('lock_timeout', LEAST(l, s)::text, false) FROM (SELECT"
               " CASE WHEN st > 0 AND st < %ld THEN st ELSE %ld END AS s, CASE WHEN lt > 0 AND lt < %ld THEN lt ELSE %ld END AS l"
               " FROM (SELECT (SELECT setting::int8 FROM pg_catalog.pg_settings WHERE name = 'statement_timeout') AS st,"
               " (SELECT setting::int8 FROM pg_catalog.pg_settings WHERE name = 'lock_timeout') AS lt) given) limits",
               lab::kStatementLimit, lab::kStatementLimit, lab::kLockLimit, lab::kLockLimit),
        {});
  }

  lab::SchemaState CheckSchema() {
    const std::string what = "无法检查实验室数据库中的 table1";
    const auto present = [](const odbc::Row& row) { return row[0] == L"1" || row[0] == L"t" || row[0] == L"true"; };
    lab::SchemaState state;
    odbc::Row facts;
    Run(what, lab::SchemaQuery("qelmora.table1"), {}, [&](const odbc::Row& row) { facts = row; });
    state.present = !facts.empty() && present(facts);
    if (!state.present) {
      Run(what, lab::SchemaQuery(lab::kEarlierTable), {}, [&](const odbc::Row& row) {
        state.earlier = present(row) && row[lab::kColumnsFact + 1] == odbc::FromUtf8(lab::kEarlierColumns);
      });
      return state;
    }
    lab::CompareSchema(
        [&](std::size_t column) -> std::optional<std::string> {
          if (column >= facts.size() || !facts[column]) return std::nullopt;
          return odbc::Utf8(*facts[column]);
        },
        state);
    return state;
  }

  static StoredRow Stored(const odbc::Row& row) {
    StoredRow stored;
    for (std::size_t i = 0; i < lab::kReadColumnCount && i < row.size(); ++i) {
      lab::ReadField(stored, i) = odbc::Narrow(row[i].value_or(L""));
    }
    return stored;
  }

  // One row, as one statement with its import id: the id it returns shows that the server holds it.
  // When the answer was lost, the same import goes again on a new connection (the server takes an
  // id once) and, when no id comes back, the id is looked up.
  void Insert(lab::Import& import) {
    const std::string what = "无法保存参数";
    import.importId = NewImportId();
    const std::vector<std::optional<std::string>> params = lab::ImportValues(import, m_workstation);
    const std::string insert = lab::ImportStatement([](std::size_t) { return std::string("?"); });
    int rows = 0;
    const auto count = [&](const odbc::Row&) { ++rows; };
    try {
      Run(what, insert, params, count);
    } catch (const StoreError&) {
      if (!m_lost) throw;
      const std::exception_ptr lost = std::current_exception();
      try {
        Connect();
        rows = 0;
        Run(what, insert, params, count);
      } catch (const StoreError&) {
        std::rethrow_exception(lost);  // what the user is to know: the connection broke on the way
      }
    }
    if (rows == 1) return;
    Run(what, lab::ImportIdQuery("?"), {import.importId}, count);
    if (rows != 1) throw StoreError("无法保存参数：实验室数据库 " + m_name + " 没有确认这一行");
  }

  std::string m_location;
  bool m_lost = false;  // the last statement's answer was lost with the connection
  std::unique_ptr<odbc::Connection> m_connection;
  std::string m_name;
  std::string m_workstation;
};

std::wstring EnvironmentOr(const wchar_t* name, BOOL (*system)(LPWSTR, LPDWORD)) {
  wchar_t buffer[256] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, 256);
  if (length > 0 && length < 256) return buffer;
  DWORD size = 256;
  if (system(buffer, &size)) return buffer;
  return L"unknown";
}

}  // namespace

bool IsOdbcStoreLocation(const std::string& location) {
  const auto equals = location.find('=');
  if (equals == std::string::npos) return false;
  const std::string key = Lowercase(Trimmed(location.substr(0, equals)));
  return key == "driver" || key == "dsn" || key == "filedsn" || CarriesPassword(location);
}

std::unique_ptr<ParameterStore> OpenOdbcStore(const std::string& location) {
  return std::make_unique<OdbcStore>(location);
}

std::string OdbcWorkstationName() {
  const auto userName = [](LPWSTR buffer, LPDWORD size) { return GetUserNameW(buffer, size); };
  const auto computerName = [](LPWSTR buffer, LPDWORD size) { return GetComputerNameW(buffer, size); };
  return odbc::Narrow(EnvironmentOr(L"USERNAME", userName) + L"@" + EnvironmentOr(L"COMPUTERNAME", computerName));
}
