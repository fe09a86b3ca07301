// The store on Windows: ADO with the Jet 4.0 OLE DB provider (ado_win.cpp) behind the Connection
// and Recordset of store_win.h, and the parameter store the commands use over them: the read rule
// (a forward walk to the end, one step back), the import's AddNew, put_Collect as each block is read
// and Update, CancelUpdate and Close on the failure paths; the system's message texts for
// ComErrorText.
#include "store/store_win.h"

#include <windows.h>

#include "store/ado_win.h"

ComPtr<Connection> g_pConnection;
ComPtr<Recordset> g_pRecordset;

namespace {

std::string g_strStoreFile;  // the Data Source of the last open

// A failed ADO call as the user is told it: ComErrorText of its HRESULT.
StoreError StoreFailure(const ComError& error) { return StoreError(ComErrorText(error.Error()), error.Error()); }

// Closes the recordset after a failed operation so that the next one can open it again; a pending
// row is cancelled first. A recordset that is not open has nothing to close: that is not reported.
void CloseRecordsetQuietly(bool cancel) {
  if (cancel) {
    try {
      g_pRecordset->CancelUpdate();
    } catch (const ComError&) {
    }
  }
  try {
    g_pRecordset->Close();
  } catch (const ComError&) {
  }
}

// The provenance columns of the current row; a table without them (a store of the earlier program)
// reads them as empty texts.
Provenance ReadProvenance(std::array<bool, kProvenanceCount>& present) {
  Provenance provenance;
  for (std::size_t i = 0; i < kProvenanceCount; ++i) {
    if (!present[i]) continue;
    try {
      provenance[i] = g_pRecordset->GetCollect(kProvenanceColumns[i]).value_or("");
    } catch (const ComError& e) {
      if (e.Error() != kHrItemNotFound) throw;
      present[i] = false;
    }
  }
  return provenance;
}

// The new row, pending in the open recordset until Update saves it.
class AdoRow final : public PendingRow {
 public:
  ~AdoRow() override { Drop(); }

  void Put(const std::string& column, const std::string& value) override {
    try {
      g_pRecordset->PutCollect(column, value);
    } catch (const ComError& e) {
      throw StoreFailure(e);
    }
  }

  void Save(const Provenance& provenance) override {
    try {
      // When and from which file, after the file's values (a file's element of the same name does not
      // win). A table without these columns (a store of the earlier program) saves the row without.
      for (std::size_t i = 0; i < kProvenanceCount; ++i) {
        try {
          g_pRecordset->PutCollect(kProvenanceColumns[i], provenance[i]);
        } catch (const ComError& e) {
          if (e.Error() != kHrItemNotFound) throw;
        }
      }
      g_pRecordset->Update();
    } catch (const ComError& e) {
      throw StoreFailure(e);
    }
    m_pending = false;
    try {
      g_pRecordset->Close();
    } catch (const ComError& e) {
      // The row is saved; only the recordset stays as it is.
      AfxMessageBox(ComErrorText(e.Error()));
    }
  }

  void Drop() noexcept override {
    if (!m_pending) return;
    m_pending = false;
    CloseRecordsetQuietly(true);
  }

 private:
  bool m_pending = true;
};

class AdoStore final : public ParameterStore {
 public:
  // The store that OpenStoreFileIn opened closes its connection when it goes; the one that stands in
  // while none is open does not.
  explicit AdoStore(bool ownsConnection) : m_ownsConnection(ownsConnection) {}
  ~AdoStore() override {
    if (!m_ownsConnection) return;
    try {
      g_pConnection->Close();
    } catch (const ComError&) {
    }
  }

  std::unique_ptr<PendingRow> StartRow() override {
    // The recordset over table1. A failure is reported and the import goes on with the recordset as
    // it is: one that an earlier command left open serves as if opened here.
    std::optional<ComError> openFailure;
    try {
      OpenTableRecordset();
    } catch (const ComError& e) {
      openFailure = e;
    }
    // Behind the last row. A recordset that did not open fails here with the same cause, told once.
    try {
      while (!g_pRecordset->GetEOF()) g_pRecordset->MoveNext();
    } catch (const ComError& e) {
      CloseRecordsetQuietly(true);
      throw StoreFailure(openFailure ? *openFailure : e);
    }
    if (openFailure) AfxMessageBox(ComErrorText(openFailure->Error()));
    try {
      g_pRecordset->AddNew();
    } catch (const ComError& e) {
      CloseRecordsetQuietly(true);
      throw StoreFailure(e);
    }
    return std::make_unique<AdoRow>();
  }

  StoredRow ReadCurrent() override {
    // Only the Open is guarded: its failure is reported and the walk goes on over the recordset as
    // it is (one that an earlier command left open is walked back to its last row).
    try {
      OpenTableRecordset();
    } catch (const ComError& e) {
      AfxMessageBox(ComErrorText(e.Error()), kMbOk);
    }
    StoredRow row;
    try {
      long steps = 0;
      while (!g_pRecordset->GetEOF()) {
        g_pRecordset->MoveNext();
        ++steps;
      }
      if (steps > 0) g_pRecordset->MovePrevious();
      for (std::size_t i = 0; i < kParameterCount; ++i) {
        row.parameters[i] = g_pRecordset->GetCollect(kParameterColumns[i]).value_or("");
      }
      std::array<bool, kProvenanceCount> present;
      present.fill(true);
      row.provenance = ReadProvenance(present);
      g_pRecordset->Close();
    } catch (const ComError& e) {
      CloseRecordsetQuietly(false);
      throw StoreFailure(e);
    }
    return row;
  }

  void ReadHistory(const std::function<void(const StoredRow&)>& visit) override {
    try {
      OpenTableRecordset();
    } catch (const ComError& e) {
      throw StoreFailure(e);
    }
    try {
      StoredRow row;
      // Whether table1 has the provenance columns shows at the first row that asks for them.
      std::array<bool, kProvenanceCount> present;
      present.fill(true);
      while (!g_pRecordset->GetEOF()) {
        for (std::size_t i = 0; i < kParameterCount; ++i) {
          row.parameters[i] = g_pRecordset->GetCollect(kParameterColumns[i]).value_or("");
        }
        row.provenance = ReadProvenance(present);
        visit(row);
        g_pRecordset->MoveNext();
      }
      g_pRecordset->Close();
    } catch (const ComError& e) {
      CloseRecordsetQuietly(false);
      throw StoreFailure(e);
    } catch (...) {
      CloseRecordsetQuietly(false);
      throw;
    }
  }

  std::string Name() const override { return g_strStoreFile; }

 private:
  bool m_ownsConnection;
};

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

void OpenTableRecordset() {
  // Dereferencing the connection pointer raises E_POINTER when it is empty, so an empty pointer
  // never becomes the active connection.
  Connection& connection = *g_pConnection;
  g_pRecordset->Open(kTableQuery, connection, adOpenDynamic, adLockOptimistic, adCmdText);
}

std::unique_ptr<ParameterStore> OpenStoreFileIn(const std::string& directory) {
  const std::string connectionString = ConnectionString("", directory);
  g_strStoreFile = ConnectionStringProperty(connectionString, kSourceKeyword).value_or("");
  g_pConnection.Release();
  g_pConnection = CreateConnectionObject();
  g_pRecordset.Release();
  g_pRecordset = CreateRecordsetObject();
  try {
    g_pConnection->Open(connectionString, "", "", 0);
  } catch (const ComError& e) {
    throw StoreFailure(e);
  }
  return std::make_unique<AdoStore>(true);
}

ParameterStore* UnopenedParameterStore() {
  // Every call then fails as ADO fails: over a connection that is not open, or E_POINTER when its
  // object could not be created.
  static AdoStore unopened(false);
  return &unopened;
}

void BackupParameterStore(const std::string&, const std::string&) {
  throw OperationError("qelmora-cli backup 只用于 Linux 的参数数据库；在 Windows 上，请在程序关闭后复制 dravo.mdb。");
}

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
  const std::string path = directory + kStoreFileName;
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
