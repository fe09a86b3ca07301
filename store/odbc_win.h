// A thin layer over ODBC's wide entry points (SQLDriverConnectW, SQLExecDirectW, SQLBindParameter
// and SQLGetData with SQL_C_WCHAR): handles that free themselves, one statement at a time with text
// parameters, the driver's diagnostics as text. Texts cross in UTF-16; the program's own texts (code
// page 936) are converted at this edge, once, by Wide and Narrow.
#pragma once

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/parameter_store.h"

namespace odbc {

// The program's texts (the system code page) as UTF-16, and back.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
// UTF-16 as UTF-8, and back: what the server's texts are in.
std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

// A failed ODBC call: what() is the driver's diagnostics (SQLGetDiagRecW, their messages joined, in
// the program's code page), state() the first SQLSTATE. The store puts what it was doing before it.
class Error : public StoreError {
 public:
  Error(const std::string& text, std::string state) : StoreError(text), m_state(std::move(state)) {}
  const std::string& state() const { return m_state; }

 private:
  std::string m_state;
};

// One row of a result: each column's text, nullopt for NULL.
using Row = std::vector<std::optional<std::wstring>>;

class Connection {
 public:
  // Connects with the connection string as it stands (no dialog), within `loginSeconds`. Raises
  // Error.
  Connection(const std::wstring& connectionString, unsigned long loginSeconds);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // A value of SQLGetInfoW (SQL_SERVER_NAME, SQL_DATABASE_NAME, SQL_USER_NAME); empty when the
  // driver has none.
  std::wstring Info(SQLUSMALLINT what) const;

  // Runs one statement with text parameters (nullopt: NULL); `row` gets each row of its result in
  // turn. Statements run in autocommit. Raises Error.
  void Run(const std::wstring& sql, const std::vector<std::optional<std::wstring>>& params,
           const std::function<void(const Row&)>& row, unsigned long querySeconds);

 private:
  SQLHENV m_env = SQL_NULL_HENV;
  SQLHDBC m_dbc = SQL_NULL_HDBC;
};

}  // namespace odbc
