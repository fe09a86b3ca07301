// ADO's Connection and Recordset objects, called through their _Connection and _Recordset vtables
// (early binding). Kept apart from store.h, whose Connection and Recordset names ADO's headers take
// for themselves. Every failed call raises ComError with the call's HRESULT.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace ado {

class ConnectionObject {
 public:
  // CoCreateInstance for IUnknown (CLSCTX_ALL), OleRun, then _Connection; nullptr on any failure.
  static std::unique_ptr<ConnectionObject> Create();
  ~ConnectionObject();
  ConnectionObject(const ConnectionObject&) = delete;
  ConnectionObject& operator=(const ConnectionObject&) = delete;

  void Open(const std::string& connectionString, const std::string& userId, const std::string& password,
            long options);
  void Close();
  // A statement without rows (adCmdText | adExecuteNoRecords).
  void ExecuteNoRecords(const std::string& sql);

  // The _Connection pointer (not owned by the caller).
  void* Interface() const { return m_p; }

 private:
  explicit ConnectionObject(void* p) : m_p(p) {}
  void* m_p;
};

class RecordsetObject {
 public:
  static std::unique_ptr<RecordsetObject> Create();
  ~RecordsetObject();
  RecordsetObject(const RecordsetObject&) = delete;
  RecordsetObject& operator=(const RecordsetObject&) = delete;

  // Source as VT_BSTR, the connection as VT_DISPATCH.
  void Open(const std::string& source, ConnectionObject& activeConnection, int cursorType, int lockType,
            long options);
  bool GetEOF();
  void MoveNext();
  void MovePrevious();
  void AddNew();  // both arguments missing
  // nullopt for VT_NULL; other non-text values converted with VariantChangeType to VT_BSTR.
  std::optional<std::string> GetCollect(const std::string& column);
  void PutCollect(const std::string& column, const std::string& value);  // value as VT_BSTR
  void Update();                                                         // both arguments missing
  void CancelUpdate();
  void Close();

 private:
  explicit RecordsetObject(void* p) : m_p(p) {}
  void* m_p;
};

// ADOX Catalog.Create with the connection string: a new, empty database file.
void CreateDatabase(const std::string& connectionString);

}  // namespace ado
