// The parameter store: every imported parameter set is one row of table1 in the database file
// "dravo.mdb" in the program directory; the last row is the current parameter set.
//
// Access is ADO-shaped: one connection and one recordset object, application-wide. Each backend
// (store_linux.cpp: SQLCipher; store_win.cpp: ADO with the Jet 4.0 provider) implements the two
// interfaces below with ADO's observable behaviour; every failure raises ComError with an HRESULT.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/afx.h"
#include "store/parameter_store.h"

// The query over the whole table, without ORDER BY.
inline constexpr const char* kTableQuery = "SELECT * FROM table1";

// Further codes the store reports (ADO's and the Jet provider's codes for the same failures).
constexpr HResult kHrIllegalOperation = MakeHResult(0x800A0C93);     // adErrIllegalOperation: e.g. Close with a pending row
constexpr HResult kHrFeatureNotAvailable = MakeHResult(0x800A0CB3);  // adErrFeatureNotAvailable: e.g. writing the key
constexpr HResult kHrInvalidConnection = MakeHResult(0x800A0E7D);    // adErrInvalidConnection: connection closed
constexpr HResult kHrCommandError = MakeHResult(0x80040E14);         // DB_E_ERRORSINCOMMAND: a query other than the table's
constexpr HResult kHrNoSuchTable = MakeHResult(0x80040E37);          // DB_E_NOTABLE: table1 is missing
constexpr HResult kHrStoreBusy = MakeHResult(0x80030021);            // STG_E_LOCKVIOLATION: another process holds the store past the wait
constexpr HResult kHrStoreSchema = MakeHResult(0x80030109);          // STG_E_DOCFILECORRUPT: the store holds objects it must not

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
  // Fails with kHrObjectOpen when already open.
  virtual void Open(const std::string& source, Connection& activeConnection, int cursorType, int lockType,
                    long options) = 0;
  virtual bool GetEOF() = 0;
  virtual void MoveNext() = 0;
  virtual void MovePrevious() = 0;
  virtual void AddNew() = 0;
  // Fails with kHrItemNotFound for a column table1 lacks, kHrNoCurrentRecord without a current row.
  virtual FieldValue GetCollect(const std::string& column) = 0;
  virtual void PutCollect(const std::string& column, const std::string& value) = 0;
  virtual void Update() = 0;
  virtual void CancelUpdate() = 0;
  // Fails while a new row is pending (CancelUpdate first) and when already closed.
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

// Backend factories: create the connection and recordset objects (nullptr when the provider cannot
// be created; the failure is not reported).
std::unique_ptr<Connection> CreateConnectionObject();
std::unique_ptr<Recordset> CreateRecordsetObject();

// Backend: the system's message for an HRESULT (FormatMessageA), or nullopt when it has none.
std::optional<std::string> SystemMessageText(HResult hr);

// Backend: creates a new, empty store "dravo.mdb" with table1 in the directory given (which ends in
// the separator). Refuses to overwrite. Raises OperationError with the user's message when it cannot.
void CreateParameterStore(const std::string& directory);

// The store's file name.
inline constexpr const char* kStoreFileName = "dravo.mdb";

// The directory of the store for a run that names none, ending in the separator: the program
// directory when the store is there, else the user's data directory (DataDirectory).
std::string StoreDirectory();

// First use of the user's store: when `directory` (from StoreDirectory) is not the program directory
// and holds no store yet, the store is created there. Returns what the user is told:
// "已创建新的参数数据库：" and the store's path, or why it could not be created; empty when there was
// nothing to do. The store beside the program is never created here.
std::string CreateUserStoreOnFirstUse(const std::string& directory);

// The connection string for the store in the directory drive + dir.
std::string ConnectionString(const std::string& drive, const std::string& dir);

// The value of one property of a connection string ("Data Source", "Jet OLEDB:Database Password"):
// keywords match without regard to case, values may be quoted with ' or ". nullopt when absent.
std::optional<std::string> ConnectionStringProperty(const std::string& connectionString, const std::string& keyword);

// The connection string's properties that name the store's file and its password.
inline constexpr const char* kSourceKeyword = "Data Source";
inline constexpr const char* kKeyKeyword = "Jet OLEDB:Database Password";

// Initialises OLE, creates the two objects and opens the connection; reports its own failure
// ("连接数据库失败!\r\n错误信息：" + ComErrorText) with AfxMessageBox.
void OpenParameterStore(const std::string& drive, const std::string& dir);

// Whether the last OpenParameterStore opened its connection.
bool ParameterStoreConnected();

// Close on the connection (may raise ComError).
void CloseParameterStore();

// Opens g_pRecordset over table1 on the shared connection (E_POINTER when the connection object
// was never created: the empty pointer is never used as the active connection).
void OpenTableRecordset();

// The read rule: opens the recordset, walks to the end, one step back, reads the eleven columns.
// Leaves the recordset open. Only the Open is guarded: its failure is reported with ComErrorText
// and the walk goes on over the recordset as it is. Later failures raise ComError.
ParameterSet ReadCurrentParameterSet();

// The provenance of the row ReadCurrentParameterSet left current (the recordset stays open). NULL,
// and a column the table lacks, read as an empty text; other failures raise ComError.
Provenance ReadCurrentProvenance();

// The store file of the last OpenParameterStore (its Data Source).
std::string ParameterStoreFile();

using HistoryRow = StoredRow;

// Walks table1 in read order: opens the recordset, gives each row to visit, closes the recordset.
// Failures raise ComError.
void ReadHistory(const std::function<void(const HistoryRow&)>& visit);

// Closes g_pRecordset after a failed command so that the next one can open it again. A recordset that
// is not open (or no object at all) has nothing to close; that is not reported.
void CloseTableRecordsetQuietly();

// The COM error report text of an HRESULT.
std::string ComErrorText(HResult hr);
