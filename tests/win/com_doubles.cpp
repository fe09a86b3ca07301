// Test doubles of the COM servers the Windows program talks to, as one in-process server DLL that
// the end-to-end tests register in their own Wine prefix:
//
// - ADO's Connection and Recordset classes, reduced to the calls the store makes, over table1 kept
//   in memory and saved into the data source file at each Update. Each call checks what ADO demands
//   of it (argument types, missing arguments as DISP_E_PARAMNOTFOUND, cursor and lock types, the
//   column names, the states in which ADO refuses it) and answers with ADO's codes. Any other member
//   of the interfaces ends the process, noting which slot was called.
// - A spreadsheet server for "Excel.Application" that accepts the report's dispatch ids and the
//   members the report calls by name (sheets added, ranges, formats, page setup, charts), checks
//   their argument types, and notes the calls and the cells written.
//
// Every call is appended as one UTF-8 line to the file named by QELMORA_COM_DOUBLES_LOG.
//
// The data source file (a stand-in for dravo.mdb) is UTF-8 text, one record per line, fields
// separated by tabs ("\\", "\t", "\n", "\r" escaped; "\N" is NULL):
//   password<TAB>582046
//   columns<TAB>ID<TAB>L0<TAB>...   (a column named ID is a counter the provider fills)
//   row<TAB>1<TAB>1e-7<TAB>...
#include <initguid.h>
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <adoid.h>
#include <adoint.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// The call record

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

void Note(const std::wstring& line) {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QELMORA_COM_DOUBLES_LOG", path, MAX_PATH) == 0) return;
  const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string bytes = Utf8(line) + "\n";
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::wstring Hex(HRESULT hr) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// A VARIANT as the record shows it: its type and, for the types the program sends, its value.
std::wstring Describe(const VARIANT& v) {
  switch (V_VT(&v)) {
    case VT_BSTR:
      return L"BSTR:" + (V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L"<null>");
    case VT_ERROR:
      return L"ERROR:" + Hex(V_ERROR(&v));
    case VT_DISPATCH:
      return L"DISPATCH";
    case VT_EMPTY:
      return L"EMPTY";
    case VT_I4:
      return L"I4:" + std::to_wstring(V_I4(&v));
    case VT_R8:
      return L"R8:" + std::to_wstring(V_R8(&v));
    case VT_I2:
      return L"I2:" + std::to_wstring(V_I2(&v));
    case VT_BOOL:
      return V_BOOL(&v) ? L"BOOL:true" : L"BOOL:false";
    default:
      return L"VT" + std::to_wstring(V_VT(&v));
  }
}

HRESULT Done(const std::wstring& call, HRESULT hr) {
  Note(L"ado " + call + L" -> " + Hex(hr));
  return hr;
}

bool IsMissing(const VARIANT& v) { return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND; }

std::wstring Text(const VARIANT& v) { return V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L""; }

// The doubles implement a handful of the many members of _Connection and _Recordset. Their
// vtables are built here: each slot the program may call gets its function, found by the slot of
// the interface's member (GCC's pointer to a virtual member holds 1 + the slot's byte offset); every
// other slot gets a trap that ends the process, noting the slot: the program must not call it. A
// trap never returns, so the arguments it was called with do not matter.
constexpr std::size_t kMaxSlots = 128;

template <std::size_t Slot>
void STDMETHODCALLTYPE Unexpected() {
  Note(L"unexpected call of vtable slot " + std::to_wstring(Slot));
  ExitProcess(97);
}

template <std::size_t... Slots>
std::array<void*, kMaxSlots> Traps(std::index_sequence<Slots...>) {
  return {reinterpret_cast<void*>(&Unexpected<Slots>)...};
}

template <class Member>
std::size_t SlotOf(Member member) {
  struct {
    std::uintptr_t ptr;
    std::ptrdiff_t adjust;
  } rep;
  static_assert(sizeof member == sizeof rep);
  std::memcpy(&rep, &member, sizeof rep);
  return (rep.ptr - 1) / sizeof(void*);
}

// A vtable of traps; Set puts a function into the slot of an interface member. The function takes
// the object where the member takes `this`, then the member's own arguments.
class Vtable {
 public:
  Vtable() : m_slots(Traps(std::make_index_sequence<kMaxSlots>{})) {}
  template <class Interface, class Self, class... Args>
  void Set(HRESULT (STDMETHODCALLTYPE Interface::*member)(Args...), HRESULT(STDMETHODCALLTYPE* fn)(Self*, Args...)) {
    Put(SlotOf(member), reinterpret_cast<void*>(fn));
  }
  template <class Self>
  void SetUnknown(HRESULT(STDMETHODCALLTYPE* query)(Self*, REFIID, void**), ULONG(STDMETHODCALLTYPE* addRef)(Self*),
                  ULONG(STDMETHODCALLTYPE* release)(Self*)) {
    Put(0, reinterpret_cast<void*>(query));
    Put(1, reinterpret_cast<void*>(addRef));
    Put(2, reinterpret_cast<void*>(release));
  }
  void* const* Data() const { return m_slots.data(); }

 private:
  void Put(std::size_t slot, void* fn) {
    if (slot >= kMaxSlots) ExitProcess(96);
    m_slots[slot] = fn;
  }
  std::array<void*, kMaxSlots> m_slots;
};

// ---------------------------------------------------------------------------------------------
// table1 in its data source file

using Field = std::optional<std::wstring>;

struct Table {
  std::wstring password;
  std::vector<std::wstring> columns;
  std::vector<std::vector<Field>> rows;
};

std::string Escape(const Field& field) {
  if (!field) return "\\N";
  std::string out;
  for (const char c : Utf8(*field)) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

Field Unescape(const std::string& text) {
  if (text == "\\N") return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char c = text[++i];
      out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    } else {
      out += text[i];
    }
  }
  return FromUtf8(out);
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return parts;
    start = tab + 1;
  }
}

std::optional<Table> LoadTable(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return std::nullopt;
  std::string content;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) content.append(buffer, n);
  std::fclose(file);
  Table table;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::vector<std::string> parts = SplitTabs(content.substr(start, end - start));
    start = end + 1;
    if (parts[0] == "password" && parts.size() == 2) {
      table.password = FromUtf8(parts[1]);
    } else if (parts[0] == "columns") {
      for (std::size_t i = 1; i < parts.size(); ++i) table.columns.push_back(FromUtf8(parts[i]));
    } else if (parts[0] == "row") {
      std::vector<Field> row;
      for (std::size_t i = 1; i < parts.size(); ++i) row.push_back(Unescape(parts[i]));
      row.resize(table.columns.size());
      table.rows.push_back(std::move(row));
    }
  }
  return table;
}

bool SaveTable(const std::wstring& path, const Table& table) {
  // Appended piece by piece ("\t" + text draws a false -Wrestrict from GCC 12).
  std::string content = "password\t";
  content += Utf8(table.password);
  content += "\ncolumns";
  for (const std::wstring& column : table.columns) {
    content += '\t';
    content += Utf8(column);
  }
  content += '\n';
  for (const std::vector<Field>& row : table.rows) {
    content += "row";
    for (const Field& field : row) {
      content += '\t';
      content += Escape(field);
    }
    content += '\n';
  }
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  return std::fclose(file) == 0 && ok;
}

// The value of one property of a connection string, keyword without regard to case.
std::optional<std::wstring> Property(const std::wstring& connectionString, const std::wstring& keyword) {
  std::size_t start = 0;
  while (start <= connectionString.size()) {
    std::size_t end = connectionString.find(L';', start);
    if (end == std::wstring::npos) end = connectionString.size();
    const std::wstring part = connectionString.substr(start, end - start);
    const std::size_t eq = part.find(L'=');
    if (eq != std::wstring::npos && eq == keyword.size() &&
        CompareStringOrdinal(part.c_str(), static_cast<int>(eq), keyword.c_str(), static_cast<int>(eq), TRUE) ==
            CSTR_EQUAL) {
      return part.substr(eq + 1);
    }
    start = end + 1;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Connection

constexpr HRESULT kJetCannotOpen = E_FAIL;                // "Could not find file ..."
constexpr HRESULT kJetBadPassword = 0x80040E4D;           // DB_SEC_E_AUTH_FAILED, "Not a valid password."
constexpr HRESULT kProviderNotFound = 0x800A0E7A;         // adErrProviderNotFound
constexpr HRESULT kCommandError = 0x80040E14;             // DB_E_ERRORSINCOMMAND

struct ConnectionDouble {
  void* const* vtbl = nullptr;
  LONG refs = 1;
  bool open = false;
  std::wstring dataSource;
};

Vtable g_connectionVtbl;

HRESULT STDMETHODCALLTYPE ConnectionQueryInterface(ConnectionDouble* p, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IADOConnection)) {
    *out = p;
    ++p->refs;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ConnectionAddRef(ConnectionDouble* p) { return static_cast<ULONG>(++p->refs); }

ULONG STDMETHODCALLTYPE ConnectionRelease(ConnectionDouble* p) {
  const LONG refs = --p->refs;
  if (refs == 0) {
    Note(L"ado Connection released");
    delete p;
  }
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE ConnectionOpen(ConnectionDouble* p, BSTR connectionString, BSTR userId, BSTR password,
                                         long options) {
  const std::wstring text = connectionString ? connectionString : L"";
  const std::wstring call = L"Connection.Open string=" + text + L" user=" + (userId ? userId : L"<null>") +
                            L" password=" + (password ? password : L"<null>") +
                            L" options=" + std::to_wstring(options);
  ConnectionDouble& self = *p;
  if (self.open) return Done(call, adErrObjectOpen);
  if (options != 0 && options != adConnectUnspecified) return Done(call, adErrInvalidArgument);
  const std::optional<std::wstring> provider = Property(text, L"Provider");
  if (!provider || CompareStringOrdinal(provider->c_str(), -1, L"Microsoft.Jet.OLEDB.4.0", -1, TRUE) != CSTR_EQUAL) {
    return Done(call, kProviderNotFound);
  }
  const std::optional<std::wstring> source = Property(text, L"Data Source");
  std::optional<Table> table;
  if (source) table = LoadTable(*source);
  if (!table) return Done(call, kJetCannotOpen);
  if (Property(text, L"Jet OLEDB:Database Password").value_or(L"") != table->password) {
    return Done(call, kJetBadPassword);
  }
  self.dataSource = *source;
  self.open = true;
  return Done(call, S_OK);
}

HRESULT STDMETHODCALLTYPE ConnectionClose(ConnectionDouble* p) {
  ConnectionDouble& self = *p;
  if (!self.open) return Done(L"Connection.Close", adErrObjectClosed);
  self.open = false;
  return Done(L"Connection.Close", S_OK);
}

HRESULT STDMETHODCALLTYPE ConnectionGetState(ConnectionDouble* p, LONG* state) {
  if (state == nullptr) return E_POINTER;
  *state = p->open ? adStateOpen : adStateClosed;
  return S_OK;  // a query, not a call worth a line
}

// ---------------------------------------------------------------------------------------------
// Recordset

struct RecordsetDouble {
  void* const* vtbl = nullptr;
  LONG refs = 1;
  bool open = false;
  CursorTypeEnum cursor = adOpenForwardOnly;
  LockTypeEnum lock = adLockReadOnly;
  std::wstring dataSource;
  Table table;
  long position = 0;                          // -1 is BOF, rows.size() is EOF
  std::optional<std::vector<Field>> pending;  // the row of AddNew until Update
};

Vtable g_recordsetVtbl;

HRESULT STDMETHODCALLTYPE RecordsetQueryInterface(RecordsetDouble* p, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IADORecordset)) {
    *out = p;
    ++p->refs;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE RecordsetAddRef(RecordsetDouble* p) { return static_cast<ULONG>(++p->refs); }

ULONG STDMETHODCALLTYPE RecordsetRelease(RecordsetDouble* p) {
  const LONG refs = --p->refs;
  if (refs == 0) {
    Note(L"ado Recordset released");
    delete p;
  }
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE RecordsetOpen(RecordsetDouble* p, VARIANT source, VARIANT activeConnection,
                                        CursorTypeEnum cursorType, LockTypeEnum lockType, LONG options) {
  const std::wstring call = L"Recordset.Open source=" + Describe(source) + L" connection=" +
                            Describe(activeConnection) + L" cursor=" + std::to_wstring(cursorType) +
                            L" lock=" + std::to_wstring(lockType) + L" options=" + std::to_wstring(options);
  RecordsetDouble& self = *p;
  if (self.open) return Done(call, adErrObjectOpen);
  if (cursorType < adOpenUnspecified || cursorType > adOpenStatic || lockType < adLockUnspecified ||
      lockType > adLockBatchOptimistic) {
    return Done(call, adErrInvalidArgument);
  }
  if (options != adCmdText && options != adCmdUnknown && options != adCmdUnspecified) {
    return Done(call, adErrInvalidArgument);
  }
  if (V_VT(&source) != VT_BSTR) return Done(call, DISP_E_TYPEMISMATCH);
  if (V_VT(&activeConnection) != VT_DISPATCH || V_DISPATCH(&activeConnection) == nullptr) {
    return Done(call, adErrInvalidConnection);
  }
  // Only a connection of this provider; ADO itself would crash on a connection it cannot use.
  auto* connection = reinterpret_cast<ConnectionDouble*>(V_DISPATCH(&activeConnection));
  if (connection->vtbl != g_connectionVtbl.Data() || !connection->open) return Done(call, adErrInvalidConnection);
  if (CompareStringOrdinal(Text(source).c_str(), -1, L"SELECT * FROM table1", -1, TRUE) != CSTR_EQUAL) {
    return Done(call, kCommandError);
  }
  std::optional<Table> table = LoadTable(connection->dataSource);
  if (!table) return Done(call, kJetCannotOpen);
  self.table = std::move(*table);
  self.dataSource = connection->dataSource;
  self.cursor = cursorType == adOpenUnspecified ? adOpenForwardOnly : cursorType;
  self.lock = lockType == adLockUnspecified ? adLockReadOnly : lockType;
  self.position = 0;
  self.pending.reset();
  self.open = true;
  return Done(call, S_OK);
}

long RowCount(const RecordsetDouble& self) { return static_cast<long>(self.table.rows.size()); }

bool HasCurrentRow(const RecordsetDouble& self) { return self.position >= 0 && self.position < RowCount(self); }

HRESULT STDMETHODCALLTYPE RecordsetGetEOF(RecordsetDouble* p, VARIANT_BOOL* eof) {
  RecordsetDouble& self = *p;
  if (eof == nullptr) return Done(L"Recordset.get_EOF", E_POINTER);
  if (!self.open) return Done(L"Recordset.get_EOF", adErrObjectClosed);
  *eof = self.position >= RowCount(self) ? VARIANT_TRUE : VARIANT_FALSE;
  return Done(std::wstring(L"Recordset.get_EOF = ") + (*eof ? L"true" : L"false"), S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetMoveNext(RecordsetDouble* p) {
  RecordsetDouble& self = *p;
  if (!self.open) return Done(L"Recordset.MoveNext", adErrObjectClosed);
  if (self.pending) return Done(L"Recordset.MoveNext", adErrIllegalOperation);
  if (self.position >= RowCount(self)) return Done(L"Recordset.MoveNext", adErrNoCurrentRecord);
  ++self.position;
  return Done(L"Recordset.MoveNext", S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetMovePrevious(RecordsetDouble* p) {
  RecordsetDouble& self = *p;
  if (!self.open) return Done(L"Recordset.MovePrevious", adErrObjectClosed);
  if (self.cursor == adOpenForwardOnly) return Done(L"Recordset.MovePrevious", adErrFeatureNotAvailable);
  if (self.pending) return Done(L"Recordset.MovePrevious", adErrIllegalOperation);
  if (self.position < 0) return Done(L"Recordset.MovePrevious", adErrNoCurrentRecord);
  --self.position;
  return Done(L"Recordset.MovePrevious", S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetAddNew(RecordsetDouble* p, VARIANT fieldList, VARIANT values) {
  const std::wstring call = L"Recordset.AddNew fields=" + Describe(fieldList) + L" values=" + Describe(values);
  RecordsetDouble& self = *p;
  if (!self.open) return Done(call, adErrObjectClosed);
  if (!IsMissing(fieldList) || !IsMissing(values)) return Done(call, adErrInvalidArgument);
  if (self.lock == adLockReadOnly) return Done(call, adErrFeatureNotAvailable);
  if (self.pending) return Done(call, adErrIllegalOperation);
  self.pending.emplace(self.table.columns.size());
  for (std::size_t i = 0; i < self.table.columns.size(); ++i) {
    if (self.table.columns[i] == L"ID") (*self.pending)[i] = std::to_wstring(self.table.rows.size() + 1);
  }
  return Done(call, S_OK);
}

// The column with exactly this name (the program names its columns exactly).
std::optional<std::size_t> ColumnIndex(const RecordsetDouble& self, const std::wstring& name) {
  for (std::size_t i = 0; i < self.table.columns.size(); ++i) {
    if (self.table.columns[i] == name) return i;
  }
  return std::nullopt;
}

HRESULT STDMETHODCALLTYPE RecordsetGetCollect(RecordsetDouble* p, VARIANT index, VARIANT* value) {
  const std::wstring call = L"Recordset.get_Collect index=" + Describe(index);
  RecordsetDouble& self = *p;
  if (value == nullptr) return Done(call, E_POINTER);
  if (!self.open) return Done(call, adErrObjectClosed);
  if (V_VT(&index) != VT_BSTR) return Done(call, DISP_E_TYPEMISMATCH);
  const std::optional<std::size_t> column = ColumnIndex(self, Text(index));
  if (!column) return Done(call, adErrItemNotFound);
  const std::vector<Field>* row = self.pending ? &*self.pending : nullptr;
  if (row == nullptr && HasCurrentRow(self)) row = &self.table.rows[static_cast<std::size_t>(self.position)];
  if (row == nullptr) return Done(call, adErrNoCurrentRecord);
  const Field& field = (*row)[*column];
  VariantInit(value);
  if (!field) {
    V_VT(value) = VT_NULL;
  } else if (self.table.columns[*column] == L"ID") {
    V_VT(value) = VT_I4;
    V_I4(value) = std::stol(*field);
  } else {
    V_VT(value) = VT_BSTR;
    V_BSTR(value) = SysAllocStringLen(field->data(), static_cast<UINT>(field->size()));
  }
  return Done(call + L" = " + Describe(*value), S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetPutCollect(RecordsetDouble* p, VARIANT index, VARIANT value) {
  const std::wstring call = L"Recordset.put_Collect index=" + Describe(index) + L" value=" + Describe(value);
  RecordsetDouble& self = *p;
  if (!self.open) return Done(call, adErrObjectClosed);
  if (V_VT(&index) != VT_BSTR || V_VT(&value) != VT_BSTR) return Done(call, DISP_E_TYPEMISMATCH);
  const std::optional<std::size_t> column = ColumnIndex(self, Text(index));
  if (!column) return Done(call, adErrItemNotFound);
  // The program only fills new rows; a saved row is never edited, and the counter is the provider's.
  if (!self.pending) return Done(call, HasCurrentRow(self) ? adErrFeatureNotAvailable : adErrNoCurrentRecord);
  if (self.table.columns[*column] == L"ID") return Done(call, adErrFeatureNotAvailable);
  (*self.pending)[*column] = Text(value);
  return Done(call, S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetUpdate(RecordsetDouble* p, VARIANT fields, VARIANT values) {
  const std::wstring call = L"Recordset.Update fields=" + Describe(fields) + L" values=" + Describe(values);
  RecordsetDouble& self = *p;
  if (!self.open) return Done(call, adErrObjectClosed);
  if (!IsMissing(fields) || !IsMissing(values)) return Done(call, adErrInvalidArgument);
  if (!self.pending) return Done(call, HasCurrentRow(self) ? adErrIllegalOperation : adErrNoCurrentRecord);
  // Saved as the newest row of the file, then current, as ADO leaves it after an added row.
  std::optional<Table> saved = LoadTable(self.dataSource);
  if (!saved) return Done(call, kJetCannotOpen);
  saved->rows.push_back(std::move(*self.pending));
  self.pending.reset();
  if (!SaveTable(self.dataSource, *saved)) return Done(call, kJetCannotOpen);
  self.table = std::move(*saved);
  self.position = RowCount(self) - 1;
  return Done(call, S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetCancelUpdate(RecordsetDouble* p) {
  RecordsetDouble& self = *p;
  if (!self.open) return Done(L"Recordset.CancelUpdate", adErrObjectClosed);
  self.pending.reset();
  return Done(L"Recordset.CancelUpdate", S_OK);
}

HRESULT STDMETHODCALLTYPE RecordsetClose(RecordsetDouble* p) {
  RecordsetDouble& self = *p;
  if (!self.open) return Done(L"Recordset.Close", adErrObjectClosed);
  if (self.pending) return Done(L"Recordset.Close", adErrIllegalOperation);  // CancelUpdate first
  self.open = false;
  return Done(L"Recordset.Close", S_OK);
}

// ---------------------------------------------------------------------------------------------
// The spreadsheet server

// The objects reached from the application. The report's parameter sheet calls the first six by
// dispatch id; the formatted sheets call members by name (GetIDsOfNames), the rest of the roles.
enum class Role {
  Application, Workbooks, Workbook, Worksheets, Worksheet, Range,
  Font, PageSetup, ChartObjects, ChartObject, Chart, SeriesCollection, Series, Axis, Title,
  HPageBreaks, Border, Point, DataLabel, Legend, PlotArea, TickLabels,
};

const wchar_t* const kRoleNames[] = {L"Application", L"Workbooks",   L"Workbook",    L"Worksheets", L"Worksheet",
                                     L"Range",       L"Font",        L"PageSetup",   L"ChartObjects",
                                     L"ChartObject", L"Chart",       L"SeriesCollection", L"Series", L"Axis",
                                     L"Title",       L"HPageBreaks", L"Border",      L"Point",      L"DataLabel",
                                     L"Legend",      L"PlotArea",    L"TickLabels"};

struct SheetObject {
  void* const* vtbl;
  LONG refs = 1;
  Role role;
  std::size_t sheet = 0;  // the worksheet the object belongs to: 0 is sheet1, n the n-th added one
  std::wstring address;   // a Range's address ("" for Cells)
};

Vtable g_sheetVtbl;

// The names given to the added worksheets, in the order they were added (one process, one report).
std::vector<std::wstring> g_addedSheets;

IDispatch* NewSheetObject(Role role, std::size_t sheet = 0, std::wstring address = L"") {
  return reinterpret_cast<IDispatch*>(new SheetObject{g_sheetVtbl.Data(), 1, role, sheet, std::move(address)});
}

HRESULT STDMETHODCALLTYPE SheetQueryInterface(SheetObject* p, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *out = p;
    ++p->refs;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE SheetAddRef(SheetObject* p) { return static_cast<ULONG>(++p->refs); }

ULONG STDMETHODCALLTYPE SheetRelease(SheetObject* p) {
  const LONG refs = --p->refs;
  if (refs == 0) delete p;
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE SheetGetTypeInfoCount(SheetObject*, UINT* count) {
  *count = 0;
  return S_OK;
}

// The members the report calls by name, each with the argument types Excel takes: "S" a BSTR, "I" a
// long, "D" a double, "B" a VARIANT_BOOL, "O" an object of this server, "M" a missing argument, "N"
// a long or a BSTR (an index or a name). A get
// or method answers with an object of `answer`'s role (Count, Left and Top answer with numbers).
struct NamedMember {
  Role role;
  const wchar_t* name;
  bool put;
  const char* args;
  Role answer;
};

constexpr NamedMember kNamedMembers[] = {
    {Role::Workbook, L"Worksheets", false, "", Role::Worksheets},
    {Role::Worksheets, L"Count", false, "", Role::Worksheets},
    {Role::Worksheets, L"Item", false, "N", Role::Worksheet},
    {Role::Worksheets, L"Add", false, "MO", Role::Worksheet},
    {Role::Worksheet, L"Name", true, "S", Role::Worksheet},
    {Role::Worksheet, L"Range", false, "S", Role::Range},
    {Role::Worksheet, L"PageSetup", false, "", Role::PageSetup},
    {Role::Worksheet, L"ChartObjects", false, "", Role::ChartObjects},
    {Role::Worksheet, L"HPageBreaks", false, "", Role::HPageBreaks},
    {Role::HPageBreaks, L"Add", false, "O", Role::HPageBreaks},
    {Role::Range, L"RowHeight", true, "D", Role::Range},
    {Role::Range, L"Font", false, "", Role::Font},
    {Role::Range, L"NumberFormat", true, "S", Role::Range},
    {Role::Range, L"ColumnWidth", true, "D", Role::Range},
    {Role::Range, L"Left", false, "", Role::Range},
    {Role::Range, L"Top", false, "", Role::Range},
    {Role::Font, L"Bold", true, "B", Role::Font},
    {Role::Font, L"Size", true, "I", Role::Font},
    {Role::PageSetup, L"Orientation", true, "I", Role::PageSetup},
    {Role::PageSetup, L"Zoom", true, "B", Role::PageSetup},
    {Role::PageSetup, L"FitToPagesWide", true, "I", Role::PageSetup},
    {Role::PageSetup, L"FitToPagesTall", true, "B", Role::PageSetup},
    {Role::PageSetup, L"PaperSize", true, "I", Role::PageSetup},
    {Role::PageSetup, L"PrintTitleRows", true, "S", Role::PageSetup},
    {Role::ChartObjects, L"Add", false, "DDDD", Role::ChartObject},
    {Role::ChartObject, L"Chart", false, "", Role::Chart},
    {Role::Chart, L"ChartType", true, "I", Role::Chart},
    {Role::Chart, L"SeriesCollection", false, "", Role::SeriesCollection},
    {Role::Chart, L"HasTitle", true, "B", Role::Chart},
    {Role::Chart, L"ChartTitle", false, "", Role::Title},
    {Role::Chart, L"HasLegend", true, "B", Role::Chart},
    {Role::Chart, L"Axes", false, "II", Role::Axis},
    {Role::Chart, L"Legend", false, "", Role::Legend},
    {Role::Legend, L"Position", true, "I", Role::Legend},
    {Role::Chart, L"PlotArea", false, "", Role::PlotArea},
    {Role::PlotArea, L"InsideLeft", true, "D", Role::PlotArea},
    {Role::PlotArea, L"InsideTop", true, "D", Role::PlotArea},
    {Role::PlotArea, L"InsideWidth", true, "D", Role::PlotArea},
    {Role::PlotArea, L"InsideHeight", true, "D", Role::PlotArea},
    {Role::SeriesCollection, L"NewSeries", false, "", Role::Series},
    {Role::Series, L"Name", true, "S", Role::Series},
    {Role::Series, L"XValues", true, "O", Role::Series},
    {Role::Series, L"Values", true, "O", Role::Series},
    {Role::Series, L"AxisGroup", true, "I", Role::Series},
    {Role::Series, L"Border", false, "", Role::Border},
    {Role::Border, L"LineStyle", true, "I", Role::Border},
    {Role::Border, L"Color", true, "I", Role::Border},
    {Role::Series, L"MarkerForegroundColor", true, "I", Role::Series},
    {Role::Series, L"MarkerBackgroundColor", true, "I", Role::Series},
    {Role::Series, L"MarkerBackgroundColorIndex", true, "I", Role::Series},
    {Role::Axis, L"HasMajorGridlines", true, "B", Role::Axis},
    {Role::Series, L"MarkerStyle", true, "I", Role::Series},
    {Role::Series, L"MarkerSize", true, "I", Role::Series},
    {Role::Series, L"Points", false, "I", Role::Point},
    {Role::Point, L"HasDataLabel", true, "B", Role::Point},
    {Role::Point, L"DataLabel", false, "", Role::DataLabel},
    {Role::DataLabel, L"Text", true, "S", Role::DataLabel},
    {Role::DataLabel, L"Position", true, "I", Role::DataLabel},
    {Role::DataLabel, L"Font", false, "", Role::Font},
    {Role::Axis, L"ScaleType", true, "I", Role::Axis},
    {Role::Axis, L"MinimumScale", true, "D", Role::Axis},
    {Role::Axis, L"MaximumScale", true, "D", Role::Axis},
    {Role::Axis, L"MajorUnit", true, "D", Role::Axis},
    {Role::Axis, L"TickLabels", false, "", Role::TickLabels},
    {Role::TickLabels, L"NumberFormat", true, "S", Role::TickLabels},
    {Role::Axis, L"HasTitle", true, "B", Role::Axis},
    {Role::Axis, L"AxisTitle", false, "", Role::Title},
    {Role::Title, L"Text", true, "S", Role::Title},
};

// A member's dispatch id is its index in the name list from here on; its role is checked at the call.
constexpr DISPID kFirstNamedId = 1000;

// Names are matched without regard to case, as Excel's are.
HRESULT STDMETHODCALLTYPE SheetGetIDsOfNames(SheetObject* p, REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (std::size_t m = 0; m < std::size(kNamedMembers); ++m) {
      if (kNamedMembers[m].role == p->role &&
          CompareStringOrdinal(names[i], -1, kNamedMembers[m].name, -1, TRUE) == CSTR_EQUAL) {
        ids[i] = kFirstNamedId + static_cast<DISPID>(m);
        break;
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

bool ArgumentFits(char type, const VARIANT& v) {
  switch (type) {
    case 'S': return V_VT(&v) == VT_BSTR && V_BSTR(&v) != nullptr;
    case 'I': return V_VT(&v) == VT_I4;
    case 'N': return V_VT(&v) == VT_I4 || (V_VT(&v) == VT_BSTR && V_BSTR(&v) != nullptr);  // an index or a name
    case 'D': return V_VT(&v) == VT_R8;
    case 'B': return V_VT(&v) == VT_BOOL;
    case 'M': return IsMissing(v);
    case 'O':
      return V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v) != nullptr &&
             reinterpret_cast<SheetObject*>(V_DISPATCH(&v))->vtbl == g_sheetVtbl.Data();
  }
  return false;
}

HRESULT SheetDone(const std::wstring& call, HRESULT hr) {
  Note(call + L" -> " + Hex(hr));
  return hr;
}

const std::wstring& SheetName(std::size_t sheet) {
  static const std::wstring first = L"sheet1";
  return sheet == 0 ? first : g_addedSheets[sheet - 1];
}

// One member called by name: the arguments checked, the call noted as
// "sheet <sheet> <Role>.<Member> <arguments>", and for a range argument its address.
HRESULT InvokeNamed(SheetObject* p, const NamedMember& member, bool get, bool put,
                    const std::vector<VARIANT*>& args, VARIANT* result) {
  std::wstring call = L"sheet " + SheetName(p->sheet) + L" " + kRoleNames[static_cast<int>(p->role)] + L"." +
                      member.name;
  for (VARIANT* arg : args) {
    call += L" " + Describe(*arg);
    if (ArgumentFits('O', *arg) && !reinterpret_cast<SheetObject*>(V_DISPATCH(arg))->address.empty()) {
      call += L":" + reinterpret_cast<SheetObject*>(V_DISPATCH(arg))->address;
    }
  }
  if (member.put ? !put : !get) return SheetDone(call, DISP_E_MEMBERNOTFOUND);
  if (args.size() != std::strlen(member.args)) return SheetDone(call, DISP_E_BADPARAMCOUNT);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!ArgumentFits(member.args[i], *args[i])) return SheetDone(call, DISP_E_TYPEMISMATCH);
  }
  if (member.put) {
    if (p->role == Role::Worksheet) {  // the sheet's name; the program names only the sheets it added
      if (p->sheet == 0) return SheetDone(call, DISP_E_EXCEPTION);
      g_addedSheets[p->sheet - 1] = Text(*args[0]);
    }
    return SheetDone(call, S_OK);
  }
  if (result == nullptr) return SheetDone(call, E_INVALIDARG);
  VariantInit(result);
  const std::wstring name = member.name;
  if (name == L"Count" || name == L"Left" || name == L"Top") {
    V_VT(result) = name == L"Count" ? VT_I4 : VT_R8;
    if (name == L"Count") V_I4(result) = 1 + static_cast<LONG>(g_addedSheets.size());
    else V_R8(result) = 48.0;
    return SheetDone(call, S_OK);
  }
  std::size_t sheet = p->sheet;
  if (p->role == Role::Worksheets && name == L"Item") {
    LONG index = V_VT(args[0]) == VT_I4 ? V_I4(args[0]) : 0;
    for (std::size_t n = 0; V_VT(args[0]) == VT_BSTR && n <= g_addedSheets.size(); ++n) {
      if (SheetName(n) == Text(*args[0])) index = static_cast<LONG>(n + 1);
    }
    if (index < 1 || index > 1 + static_cast<LONG>(g_addedSheets.size())) return SheetDone(call, DISP_E_BADINDEX);
    sheet = static_cast<std::size_t>(index - 1);
  } else if (p->role == Role::Worksheets && name == L"Add") {
    g_addedSheets.emplace_back(L"Sheet" + std::to_wstring(g_addedSheets.size() + 2));
    sheet = g_addedSheets.size();
  }
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = NewSheetObject(member.answer, sheet, name == L"Range" ? Text(*args[0]) : L"");
  return SheetDone(call, S_OK);
}

HRESULT STDMETHODCALLTYPE SheetInvoke(SheetObject* p, DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO*, UINT*) {
  const Role role = p->role;
  std::vector<VARIANT*> args;  // in the caller's order
  for (UINT i = params->cArgs; i-- > 0;) args.push_back(&params->rgvarg[i]);
  const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
  const bool put = flags == DISPATCH_PROPERTYPUT && params->cNamedArgs == 1 &&
                   params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
  const auto named = static_cast<std::size_t>(dispid - kFirstNamedId);
  if (dispid >= kFirstNamedId && named < std::size(kNamedMembers) && kNamedMembers[named].role == role) {
    return InvokeNamed(p, kNamedMembers[named], get, put, args, result);
  }
  std::wstring call = L"sheet " + std::to_wstring(static_cast<int>(role)) + L" dispid=" + std::to_wstring(dispid) +
                      L" flags=" + std::to_wstring(flags);
  for (VARIANT* arg : args) call += L" " + Describe(*arg);
  Note(call);
  auto answer = [&](Role next) {
    if (result == nullptr) return E_INVALIDARG;
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = NewSheetObject(next, p->sheet);
    return S_OK;
  };
  switch (role) {
    case Role::Application:
      if (dispid == 558 && put && args.size() == 1) return S_OK;  // Visible
      if (dispid == 572 && get) return answer(Role::Workbooks);
      break;
    case Role::Workbooks:
      if (dispid == 181 && get) return answer(Role::Workbook);  // Add
      break;
    case Role::Workbook:
      if (dispid == 494 && get) return answer(Role::Worksheets);
      break;
    case Role::Worksheets:
      // The new workbook's one sheet; the added ones are reached through Add and Item.
      if (dispid == 170 && get && args.size() == 1 && V_VT(args[0]) == VT_BSTR && Text(*args[0]) == L"sheet1") {
        return answer(Role::Worksheet);
      }
      break;
    case Role::Worksheet:
      if (dispid == 238 && get) return answer(Role::Range);  // Cells
      break;
    case Role::Range:
      if (dispid == 170 && put && args.size() == 3 && V_VT(args[0]) == VT_BSTR && V_VT(args[1]) == VT_BSTR &&
          V_VT(args[2]) == VT_BSTR) {
        // "cell A1 text" on sheet1, "cell <name>!A1 text" on an added sheet.
        const std::wstring sheet = p->sheet == 0 ? L"" : SheetName(p->sheet) + L"!";
        Note(L"cell " + sheet + Text(*args[1]) + Text(*args[0]) + L" " + Text(*args[2]));
        return S_OK;
      }
      break;
    default:
      break;
  }
  return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------------------------
// The class factories

// {5E1F0C2A-7B44-4C1D-9A63-2F0E8D4B6C12}: the spreadsheet server's class.
const CLSID kClsidSpreadsheet = {0x5e1f0c2a, 0x7b44, 0x4c1d, {0x9a, 0x63, 0x2f, 0x0e, 0x8d, 0x4b, 0x6c, 0x12}};

class Factory final : public IClassFactory {
 public:
  explicit Factory(const CLSID& clsid) : m_clsid(clsid) {}
  const CLSID& Clsid() const { return m_clsid; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // static objects
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IUnknown* object = nullptr;
    if (IsEqualCLSID(m_clsid, CLSID_CADOConnection)) {
      Note(L"ado Connection created");
      auto* connection = new ConnectionDouble;
      connection->vtbl = g_connectionVtbl.Data();
      object = reinterpret_cast<IUnknown*>(connection);
    } else if (IsEqualCLSID(m_clsid, CLSID_CADORecordset)) {
      Note(L"ado Recordset created");
      auto* recordset = new RecordsetDouble;
      recordset->vtbl = g_recordsetVtbl.Data();
      object = reinterpret_cast<IUnknown*>(recordset);
    } else {
      Note(L"sheet Application created");
      object = NewSheetObject(Role::Application);
    }
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }

 private:
  CLSID m_clsid;
};

Factory g_factories[] = {Factory(CLSID_CADOConnection), Factory(CLSID_CADORecordset), Factory(kClsidSpreadsheet)};

void FillVtables() {
  Vtable& c = g_connectionVtbl;
  c.SetUnknown(ConnectionQueryInterface, ConnectionAddRef, ConnectionRelease);
  c.Set(&_Connection::Open, ConnectionOpen);
  c.Set(&_Connection::Close, ConnectionClose);
  c.Set(&_Connection::get_State, ConnectionGetState);

  Vtable& r = g_recordsetVtbl;
  r.SetUnknown(RecordsetQueryInterface, RecordsetAddRef, RecordsetRelease);
  r.Set(&_Recordset::Open, RecordsetOpen);
  r.Set(&_Recordset::get_EOF, RecordsetGetEOF);
  r.Set(&_Recordset::MoveNext, RecordsetMoveNext);
  r.Set(&_Recordset::MovePrevious, RecordsetMovePrevious);
  r.Set(&_Recordset::AddNew, RecordsetAddNew);
  r.Set(&_Recordset::get_Collect, RecordsetGetCollect);
  r.Set(&_Recordset::put_Collect, RecordsetPutCollect);
  r.Set(&_Recordset::Update, RecordsetUpdate);
  r.Set(&_Recordset::CancelUpdate, RecordsetCancelUpdate);
  r.Set(&_Recordset::Close, RecordsetClose);

  Vtable& d = g_sheetVtbl;
  d.SetUnknown(SheetQueryInterface, SheetAddRef, SheetRelease);
  d.Set(&IDispatch::GetTypeInfoCount, SheetGetTypeInfoCount);
  d.Set(&IDispatch::GetIDsOfNames, SheetGetIDsOfNames);
  d.Set(&IDispatch::Invoke, SheetInvoke);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) FillVtables();
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  for (Factory& factory : g_factories) {
    if (IsEqualCLSID(clsid, factory.Clsid())) return factory.QueryInterface(iid, out);
  }
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
