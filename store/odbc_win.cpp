// ODBC's wide entry points (odbc_win.h). Only the W functions: Wine's odbc32 hands them to the
// host's unixODBC and has none of the ANSI ones, and on Windows they spare the driver manager a
// conversion that would depend on the driver.
#include "store/odbc_win.h"

#include <utility>

#include "store/lab_schema.h"

namespace odbc {

namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string FromWide(UINT codePage, const std::wstring& text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

SQLWCHAR* Sql(std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The diagnostics of a handle after a failed call, as an Error.
Error Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::wstring text;
  std::string firstState;
  for (SQLSMALLINT record = 1; record <= 8; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native, message, 1024, &length);
    if (!SQL_SUCCEEDED(rc)) break;
    // Each message without its trailing line ends, its further lines without their indent.
    std::wstring line;
    for (const wchar_t* c = reinterpret_cast<const wchar_t*>(message); *c != L'\0'; ++c) {
      if (!line.empty() && line.back() == L'\n' && (*c == L'\t' || *c == L' ')) continue;
      line += *c;
    }
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r' || line.back() == L' ')) line.pop_back();
    if (firstState.empty()) firstState = Narrow(reinterpret_cast<const wchar_t*>(state));
    text += (text.empty() ? L"" : L"；") + line;
  }
  if (text.empty()) text = L"ODBC 驱动程序没有说明原因";
  return Error(Narrow(FromUtf8(lab::Printable(Utf8(text)))), firstState);
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) {
  if (!SQL_SUCCEEDED(rc)) throw Diagnostics(type, handle);
}

// A statement handle that frees itself.
class Statement {
 public:
  explicit Statement(SQLHDBC dbc) { odbc::Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_stmt), SQL_HANDLE_DBC, dbc); }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, m_stmt); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT get() const { return m_stmt; }
  void Check(SQLRETURN rc) const { odbc::Check(rc, SQL_HANDLE_STMT, m_stmt); }

 private:
  SQLHSTMT m_stmt = SQL_NULL_HSTMT;
};

// One column of the current row as text, read in pieces (SQLGetData returns a long text in parts).
std::optional<std::wstring> ColumnText(const Statement& statement, SQLUSMALLINT column) {
  std::wstring text;
  for (;;) {
    SQLWCHAR buffer[2048];
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement.get(), column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    statement.Check(rc);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    // A part ends with a terminating NUL; the whole text fits when the length is known and short enough.
    const std::size_t room = sizeof buffer / sizeof buffer[0] - 1;
    std::size_t got = room;
    if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) <= room) {
      got = static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
    }
    text.append(reinterpret_cast<const wchar_t*>(buffer), got);
    if (rc == SQL_SUCCESS) break;
  }
  return text;
}

}  // namespace

std::wstring Wide(const std::string& text) { return ToWide(CP_ACP, text); }
std::string Narrow(const std::wstring& text) { return FromWide(CP_ACP, text); }
std::string Utf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
std::wstring FromUtf8(const std::string& text) { return ToWide(CP_UTF8, text); }

Connection::Connection(const std::wstring& connectionString, unsigned long loginSeconds) {
  Check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env), SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  try {
    Check(SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_HANDLE_ENV,
          m_env);
    Check(SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc), SQL_HANDLE_ENV, m_env);
    SQLSetConnectAttrW(m_dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginSeconds)),
                       0);  // a driver without its own limit keeps the system's
    std::wstring in = connectionString;
    SQLWCHAR out[1024];
    SQLSMALLINT outLength = 0;
    Check(SQLDriverConnectW(m_dbc, nullptr, Sql(in), static_cast<SQLSMALLINT>(in.size()), out, 1024, &outLength,
                            SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, m_dbc);
  } catch (...) {
    if (m_dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    throw;
  }
}

Connection::~Connection() {
  SQLDisconnect(m_dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

std::wstring Connection::Info(SQLUSMALLINT what) const {
  SQLWCHAR value[512] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(m_dbc, what, value, sizeof value, &length))) return {};
  return reinterpret_cast<const wchar_t*>(value);
}

void Connection::Run(const std::wstring& sql, const std::vector<std::optional<std::wstring>>& params,
                     const std::function<void(const Row&)>& row, unsigned long querySeconds) {
  Statement statement(m_dbc);
  // A driver that cannot limit the wait leaves it to the server's statement_timeout.
  SQLSetStmtAttrW(statement.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(querySeconds)),
                  0);
  std::vector<std::wstring> values;
  std::vector<SQLLEN> lengths(params.size());
  values.reserve(params.size());
  for (std::size_t i = 0; i < params.size(); ++i) {
    values.push_back(params[i].value_or(L""));
    lengths[i] = params[i] ? static_cast<SQLLEN>(values[i].size() * sizeof(SQLWCHAR)) : SQL_NULL_DATA;
    const SQLULEN size = values[i].empty() ? 1 : values[i].size();
    statement.Check(SQLBindParameter(statement.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR,
                                     SQL_WVARCHAR, size, 0, Sql(values[i]),
                                     static_cast<SQLLEN>((values[i].size() + 1) * sizeof(SQLWCHAR)), &lengths[i]));
  }
  std::wstring text = sql;
  const SQLRETURN rc = SQLExecDirectW(statement.get(), Sql(text), static_cast<SQLINTEGER>(text.size()));
  if (rc != SQL_NO_DATA) statement.Check(rc);
  SQLSMALLINT columns = 0;
  statement.Check(SQLNumResultCols(statement.get(), &columns));
  if (columns == 0) return;
  Row values_of_row(static_cast<std::size_t>(columns));
  for (SQLRETURN fetched; (fetched = SQLFetch(statement.get())) != SQL_NO_DATA;) {
    statement.Check(fetched);
    for (SQLSMALLINT c = 1; c <= columns; ++c) {
      values_of_row[static_cast<std::size_t>(c - 1)] = ColumnText(statement, static_cast<SQLUSMALLINT>(c));
    }
    row(values_of_row);
  }
}

}  // namespace odbc
