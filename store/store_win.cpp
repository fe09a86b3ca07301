// The store on Windows: ADO with the Jet 4.0 OLE DB provider (ado_win.cpp), behind the store's
// Connection and Recordset interfaces; the system's message texts for ComErrorText.
#include <windows.h>

#include "store/ado_win.h"
#include "store/store.h"

namespace {

class AdoConnection final : public Connection {
 public:
  explicit AdoConnection(std::unique_ptr<ado::ConnectionObject> object) : m_object(std::move(object)) {}

  void Open(const std::string& connectionString, const std::string& userId, const std::string& password,
            long options) override {
    m_object->Open(connectionString, userId, password, options);
  }
  void Close() override { m_object->Close(); }

  ado::ConnectionObject& Object() { return *m_object; }

 private:
  std::unique_ptr<ado::ConnectionObject> m_object;
};

class AdoRecordset final : public Recordset {
 public:
  explicit AdoRecordset(std::unique_ptr<ado::RecordsetObject> object) : m_object(std::move(object)) {}

  void Open(const std::string& source, Connection& activeConnection, int cursorType, int lockType,
            long options) override {
    auto* connection = dynamic_cast<AdoConnection*>(&activeConnection);
    if (connection == nullptr) throw ComError(kHrInvalidArg);
    m_object->Open(source, connection->Object(), cursorType, lockType, options);
  }
  bool GetEOF() override { return m_object->GetEOF(); }
  void MoveNext() override { m_object->MoveNext(); }
  void MovePrevious() override { m_object->MovePrevious(); }
  void AddNew() override { m_object->AddNew(); }
  FieldValue GetCollect(const std::string& column) override { return m_object->GetCollect(column); }
  void PutCollect(const std::string& column, const std::string& value) override {
    m_object->PutCollect(column, value);
  }
  void Update() override { m_object->Update(); }
  void CancelUpdate() override { m_object->CancelUpdate(); }
  void Close() override { m_object->Close(); }

 private:
  std::unique_ptr<ado::RecordsetObject> m_object;
};

}  // namespace

std::unique_ptr<Connection> CreateConnectionObject() {
  std::unique_ptr<ado::ConnectionObject> object = ado::ConnectionObject::Create();
  if (!object) return nullptr;
  return std::make_unique<AdoConnection>(std::move(object));
}

std::unique_ptr<Recordset> CreateRecordsetObject() {
  std::unique_ptr<ado::RecordsetObject> object = ado::RecordsetObject::Create();
  if (!object) return nullptr;
  return std::make_unique<AdoRecordset>(std::move(object));
}

std::optional<std::string> SystemMessageText(HResult hr) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                                      static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                      reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) {
    if (buffer != nullptr) LocalFree(buffer);
    return std::nullopt;
  }
  std::string text(buffer, length);
  LocalFree(buffer);
  return text;
}

void CreateParameterStore(const std::string& directory) {
  const std::string path = directory + "dravo.mdb";
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    throw OperationError(Format("数据库文件已存在，未覆盖：%s", path.c_str()));
  }
  // The program's own connection string, so the file gets the password the program opens it with.
  const std::string connectionString = ConnectionString("", directory);

  const HRESULT init = OleInitialize(nullptr);
  std::string failure;
  bool created = false;
  try {
    ado::CreateDatabase(connectionString);
    created = true;
    std::unique_ptr<ado::ConnectionObject> connection = ado::ConnectionObject::Create();
    if (!connection) throw ComError(static_cast<HResult>(REGDB_E_CLASSNOTREG));
    connection->Open(connectionString, "", "", 0);
    // A counter key keeps the rows in the order of their import.
    std::string sql = "CREATE TABLE table1 (ID COUNTER PRIMARY KEY";
    for (const char* column : kParameterColumns) sql += Format(", [%s] TEXT(255)", column);
    // The import time, and the model file's path, which may be longer than a short text holds.
    sql += Format(", [%s] TEXT(20), [%s] MEMO", kProvenanceColumns[kImportedAt], kProvenanceColumns[kSource]);
    sql += ")";
    try {
      connection->ExecuteNoRecords(sql);
    } catch (const ComError&) {
      try {
        connection->Close();
      } catch (const ComError&) {
      }
      throw;
    }
    connection->Close();
  } catch (const ComError& e) {
    failure = ComErrorText(e.Error());
    if (!e.Description().empty()) failure += " (" + e.Description() + ")";
  }
  if (SUCCEEDED(init)) OleUninitialize();
  if (!failure.empty()) {
    // Never leave a store without its table behind: the name was free when we began.
    if (created) DeleteFileA(path.c_str());
    throw OperationError(Format("无法创建数据库文件 %s：%s", path.c_str(), failure.c_str()));
  }
}
