// The store on Windows: ADO with the Jet 4.0 provider, as the program has always driven it. One
// connection and one recordset object, application-wide (g_pConnection, g_pRecordset); the store of
// store_win.cpp opens the recordset over table1 for each operation. Every failed call raises ComError
// with ADO's HRESULT. Only the Windows backend and its tests see this header.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/afx.h"
#include "store/store.h"

// The query over the whole table, without ORDER BY.
inline constexpr const char* kTableQuery = "SELECT * FROM table1";

// Further codes ADO and the Jet provider give.
constexpr HResult kHrIllegalOperation = MakeHResult(0x800A0C93);     // adErrIllegalOperation: e.g. Close with a pending row
constexpr HResult kHrFeatureNotAvailable = MakeHResult(0x800A0CB3);  // adErrFeatureNotAvailable: e.g. writing the key
constexpr HResult kHrInvalidConnection = MakeHResult(0x800A0E7D);    // adErrInvalidConnection: connection closed

// ADO constants used with Recordset::Open.
enum : int { adOpenDynamic = 2, adLockOptimistic = 3, adCmdText = 1 };

// A column value as read: std::nullopt for NULL, otherwise its text in the system code page.
using FieldValue = std::optional<std::string>;

class Connection {
 public:
  virtual ~Connection() = default;
  virtual void Open(const std::string& connectionString, const std::string& userId, const std::string& password,
                    long options) = 0;
  virtual void Close() = 0;
};

class Recordset {
 public:
  virtual ~Recordset() = default;
  virtual void Open(const std::string& source, Connection& activeConnection, int cursorType, int lockType,
                    long options) = 0;
  virtual bool GetEOF() = 0;
  virtual void MoveNext() = 0;
  virtual void MovePrevious() = 0;
  virtual void AddNew() = 0;
  virtual FieldValue GetCollect(const std::string& column) = 0;
  virtual void PutCollect(const std::string& column, const std::string& value) = 0;
  virtual void Update() = 0;
  virtual void CancelUpdate() = 0;
  virtual void Close() = 0;
};

// A COM-style smart pointer: a call through an empty one raises ComError(E_POINTER).
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::unique_ptr<T> p) : m_p(std::move(p)) {}  // NOLINT(google-explicit-constructor)
  T* operator->() const {
    if (!m_p) throw ComError(kHrPointer);
    return m_p.get();
  }
  T& operator*() const { return *operator->(); }
  T* get() const noexcept { return m_p.get(); }
  explicit operator bool() const noexcept { return static_cast<bool>(m_p); }
  void Release() noexcept { m_p.reset(); }
  ComPtr& operator=(std::unique_ptr<T> p) {
    m_p = std::move(p);
    return *this;
  }

 private:
  std::unique_ptr<T> m_p;
};

extern ComPtr<Connection> g_pConnection;
extern ComPtr<Recordset> g_pRecordset;

// Create the connection and recordset objects (nullptr when the provider cannot be created; the
// failure is not reported).
std::unique_ptr<Connection> CreateConnectionObject();
std::unique_ptr<Recordset> CreateRecordsetObject();

// Opens g_pRecordset over table1 on the shared connection (E_POINTER when the connection object
// was never created: the empty pointer is never used as the active connection).
void OpenTableRecordset();
