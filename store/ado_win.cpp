#include "store/ado_win.h"

#include <initguid.h>  // the ADO GUIDs of adoid.h are defined in this file
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <adoid.h>
#include <adoint.h>
#include <adoctint.h>

#include "base/afx.h"
#include "base/win_support.h"

namespace ado {
namespace {

// ADOX's Catalog.
const CLSID kClsidCatalog = {0x00000602, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID kIidCatalog = {0x00000603, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

// The description of the error object the failed call left behind, for logs.
std::string TakeErrorDescription() {
  std::string description;
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
    BSTR text = nullptr;
    if (SUCCEEDED(info->GetDescription(&text)) && text != nullptr) {
      description = WideToAnsi(text, static_cast<int>(SysStringLen(text)));
      SysFreeString(text);
    }
    info->Release();
  }
  return description;
}

void Check(HRESULT hr) {
  if (FAILED(hr)) throw ComError(static_cast<HResult>(hr), TakeErrorDescription());
}

BSTR AllocText(const std::string& text) {
  const std::wstring wide = AnsiToWide(text);
  BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (bstr == nullptr) throw ComError(static_cast<HResult>(E_OUTOFMEMORY));
  return bstr;
}

// A BSTR owned for the length of one call.
class Bstr {
 public:
  explicit Bstr(const std::string& text) : m_bstr(AllocText(text)) {}
  ~Bstr() { SysFreeString(m_bstr); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return m_bstr; }

 private:
  BSTR m_bstr;
};

// A VARIANT cleared when it goes out of scope.
class Variant {
 public:
  Variant() { VariantInit(&m_v); }
  explicit Variant(const std::string& text) {
    VariantInit(&m_v);
    m_v.bstrVal = AllocText(text);
    m_v.vt = VT_BSTR;
  }
  ~Variant() { VariantClear(&m_v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* ptr() { return &m_v; }
  VARIANT& get() { return m_v; }

 private:
  VARIANT m_v;
};

// An argument left out (VT_ERROR with DISP_E_PARAMNOTFOUND).
VARIANT Missing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

std::string BstrText(BSTR text) { return WideToAnsi(text, static_cast<int>(SysStringLen(text))); }

void* CreateObject(REFCLSID clsid, REFIID iid) {
  IUnknown* unknown = nullptr;
  void* object = nullptr;
  if (SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&unknown)))) {
    if (SUCCEEDED(OleRun(unknown)) && FAILED(unknown->QueryInterface(iid, &object))) object = nullptr;
    unknown->Release();
  }
  return object;
}

_Connection* C(void* p) { return static_cast<_Connection*>(p); }
_Recordset* R(void* p) { return static_cast<_Recordset*>(p); }

}  // namespace

std::unique_ptr<ConnectionObject> ConnectionObject::Create() {
  void* p = CreateObject(CLSID_CADOConnection, IID_IADOConnection);
  if (p == nullptr) return nullptr;
  return std::unique_ptr<ConnectionObject>(new ConnectionObject(p));
}

ConnectionObject::~ConnectionObject() { C(m_p)->Release(); }

void ConnectionObject::Open(const std::string& connectionString, const std::string& userId,
                            const std::string& password, long options) {
  Bstr source(connectionString);
  Bstr user(userId);
  Bstr pass(password);
  Check(C(m_p)->Open(source.get(), user.get(), pass.get(), options));
}

void ConnectionObject::Close() { Check(C(m_p)->Close()); }

void ConnectionObject::ExecuteNoRecords(const std::string& sql) {
  Bstr text(sql);
  Check(C(m_p)->Execute(text.get(), nullptr, static_cast<long>(adCmdText) | static_cast<long>(adExecuteNoRecords),
                        nullptr));
}

std::unique_ptr<RecordsetObject> RecordsetObject::Create() {
  void* p = CreateObject(CLSID_CADORecordset, IID_IADORecordset);
  if (p == nullptr) return nullptr;
  return std::unique_ptr<RecordsetObject>(new RecordsetObject(p));
}

RecordsetObject::~RecordsetObject() { R(m_p)->Release(); }

void RecordsetObject::Open(const std::string& source, ConnectionObject& activeConnection, int cursorType,
                           int lockType, long options) {
  _Connection* connection = C(activeConnection.Interface());
  // ADO refuses a connection that is not open with adErrInvalidConnection; Wine's ADO would take
  // it and crash, so the refusal is made here for every ADO.
  LONG state = adStateClosed;
  if (SUCCEEDED(connection->get_State(&state)) && (state & adStateOpen) == 0) {
    throw ComError(static_cast<HResult>(0x800A0E7D), "connection not open");
  }
  Variant sourceArg(source);
  Variant connectionArg;
  connection->AddRef();  // released with the VARIANT
  connectionArg.get().vt = VT_DISPATCH;
  connectionArg.get().pdispVal = connection;
  Check(R(m_p)->Open(sourceArg.get(), connectionArg.get(), static_cast<CursorTypeEnum>(cursorType),
                     static_cast<LockTypeEnum>(lockType), options));
}

bool RecordsetObject::GetEOF() {
  VARIANT_BOOL eof = VARIANT_FALSE;
  Check(R(m_p)->get_EOF(&eof));
  return eof != VARIANT_FALSE;
}

void RecordsetObject::MoveNext() { Check(R(m_p)->MoveNext()); }
void RecordsetObject::MovePrevious() { Check(R(m_p)->MovePrevious()); }
void RecordsetObject::AddNew() { Check(R(m_p)->AddNew(Missing(), Missing())); }

std::optional<std::string> RecordsetObject::GetCollect(const std::string& column) {
  Variant index(column);
  Variant value;
  Check(R(m_p)->get_Collect(index.get(), value.ptr()));
  if (value.get().vt == VT_NULL) return std::nullopt;
  if (value.get().vt == VT_BSTR) return BstrText(value.get().bstrVal);
  // Numbers, dates and the like: the system's text form in the user's locale.
  Variant text;
  Check(VariantChangeType(text.ptr(), value.ptr(), 0, VT_BSTR));
  return BstrText(text.get().bstrVal);
}

void RecordsetObject::PutCollect(const std::string& column, const std::string& value) {
  Variant index(column);
  Variant text(value);
  Check(R(m_p)->put_Collect(index.get(), text.get()));
}

void RecordsetObject::Update() { Check(R(m_p)->Update(Missing(), Missing())); }
void RecordsetObject::CancelUpdate() { Check(R(m_p)->CancelUpdate()); }
void RecordsetObject::Close() { Check(R(m_p)->Close()); }

void CreateDatabase(const std::string& connectionString) {
  _ADOCatalog* catalog = nullptr;
  Check(CoCreateInstance(kClsidCatalog, nullptr, CLSCTX_INPROC_SERVER, kIidCatalog,
                         reinterpret_cast<void**>(&catalog)));
  Bstr text(connectionString);
  Variant connection;  // the catalog's own connection, released with the VARIANT
  const HRESULT hr = catalog->Create(text.get(), connection.ptr());
  const std::string description = FAILED(hr) ? TakeErrorDescription() : std::string();
  catalog->Release();
  if (FAILED(hr)) throw ComError(static_cast<HResult>(hr), description);
}

}  // namespace ado
