// The Excel automation backend against real IDispatch traffic. A small spreadsheet server of the
// test's own, registered with COM under a programmatic id, records every Invoke that arrives (dispatch
// id, flags, argument types and values, named arguments) and keeps count of its live objects. The
// "OpenExcel" command runs through the main dialog against it; and, in a child process, against the
// Wine prefix as it is, where no Excel is installed.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/afx.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "spreadsheet/excel.h"
#include "circuit/spectrum.h"
#include "res/resource.h"
#include "store/store.h"
#include "store/store_win.h"
#include "tests/support/scripted_view.h"
#include "tests/support/test_support.h"
#include "win_test_helpers.h"

namespace {

using wintest::FromCp936;
using qtest::ScriptedView;
using wintest::ToCp936;

// ---------------------------------------------------------------------------------------------
// A spreadsheet server of the test's own

// Other: any object reached by a member name (page setup, chart objects, charts, series, axes ...).
enum class Role { Application, Workbooks, Workbook, Worksheets, Worksheet, Range, Other };

struct ArgSeen {
  VARTYPE vt = VT_EMPTY;
  std::wstring text;       // VT_BSTR
  bool nullString = false;  // VT_BSTR with a null BSTR
  VARIANT_BOOL flag = 0;   // VT_BOOL
  double number = 0;       // VT_I4, VT_R8
};

struct CallSeen {
  Role role;
  DISPID dispid;
  std::wstring name;  // the member's name, for a dispatch id handed out by GetIDsOfNames
  std::wstring sheet;  // the worksheet the object belongs to ("" for sheet1 and objects above it)
  WORD flags;
  std::vector<ArgSeen> args;  // in the caller's order (rgvarg holds them reversed)
  std::vector<DISPID> named;
};

// The state of one server: what arrived, what was written, how it answers.
struct ServerState {
  std::vector<CallSeen> calls;
  std::map<std::wstring, std::wstring> cells;  // "A1" → text
  std::wstring sheetName = L"sheet1";          // the one worksheet of a new workbook
  std::wstring missingSheetDescription;        // EXCEPINFO description when Item finds no sheet
  bool cellsEmpty = false;                     // Cells answers with an empty variant
  int live = 0;                                // objects not yet released
  // Members by name: only when namesKnown does GetIDsOfNames answer (ids from kFirstNamedId on, in
  // the order asked); a call of failName fails with an exception.
  bool namesKnown = false;
  std::vector<std::wstring> names;
  std::wstring failName;
  std::vector<std::wstring> addedSheets;  // the names the added worksheets were given, in order
};

constexpr DISPID kFirstNamedId = 5000;

class FakeObject final : public IDispatch {
 public:
  FakeObject(Role role, ServerState& state, std::wstring sheet = L"")
      : m_role(role), m_state(state), m_sheet(std::move(sheet)) {
    ++m_state.live;
  }
  ~FakeObject() { --m_state.live; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = --m_refs;
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!m_state.namesKnown) return E_NOTIMPL;
    for (UINT i = 0; i < count; ++i) {
      std::vector<std::wstring>& known = m_state.names;
      auto it = std::find(known.begin(), known.end(), std::wstring(names[i]));
      if (it == known.end()) it = known.insert(known.end(), names[i]);
      ids[i] = kFirstNamedId + static_cast<DISPID>(it - known.begin());
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT*) override {
    CallSeen call{m_role, dispid, L"", m_sheet, flags, {}, {}};
    if (dispid >= kFirstNamedId && dispid < kFirstNamedId + static_cast<DISPID>(m_state.names.size())) {
      call.name = m_state.names[dispid - kFirstNamedId];
    }
    for (UINT i = params->cArgs; i-- > 0;) {
      const VARIANT& v = params->rgvarg[i];
      ArgSeen arg;
      arg.vt = V_VT(&v);
      if (arg.vt == VT_BSTR) {
        arg.nullString = V_BSTR(&v) == nullptr;
        if (!arg.nullString) arg.text.assign(V_BSTR(&v), SysStringLen(V_BSTR(&v)));
      } else if (arg.vt == VT_BOOL) {
        arg.flag = V_BOOL(&v);
      } else if (arg.vt == VT_I4) {
        arg.number = V_I4(&v);
      } else if (arg.vt == VT_R8) {
        arg.number = V_R8(&v);
      }
      call.args.push_back(arg);
    }
    for (UINT i = 0; i < params->cNamedArgs; ++i) call.named.push_back(params->rgdispidNamedArgs[i]);
    m_state.calls.push_back(call);

    const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    // A property put names its value argument, as IDispatch requires.
    if (put && (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)) {
      return DISP_E_PARAMNOTOPTIONAL;
    }
    if (!call.name.empty()) return InvokeNamed(call, get, put, result);
    switch (m_role) {
      case Role::Application:
        if (dispid == 558 && put && params->cArgs == 1) return S_OK;
        if (dispid == 572 && get) return Answer(result, Role::Workbooks);
        break;
      case Role::Workbooks:
        if (dispid == 181 && (flags & DISPATCH_METHOD) && params->cArgs == 1) return Answer(result, Role::Workbook);
        break;
      case Role::Workbook:
        if (dispid == 494 && get) return Answer(result, Role::Worksheets);
        break;
      case Role::Worksheets:
        if (dispid == 170 && get && params->cArgs == 1) {
          if (call.args[0].vt == VT_BSTR && call.args[0].text == m_state.sheetName) {
            return Answer(result, Role::Worksheet);
          }
          if (info != nullptr) {
            std::memset(info, 0, sizeof *info);
            info->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 1004);  // 0x800A03EC
            info->bstrSource = SysAllocString(L"Microsoft Excel");
            if (!m_state.missingSheetDescription.empty()) {
              info->bstrDescription = SysAllocString(m_state.missingSheetDescription.c_str());
            }
          }
          return DISP_E_EXCEPTION;
        }
        break;
      case Role::Worksheet:
        if (dispid == 238 && get) {
          if (m_state.cellsEmpty) return S_OK;  // the result variant stays empty
          return Answer(result, Role::Range);
        }
        break;
      case Role::Range:
        if (dispid == 170 && put && params->cArgs == 3) {
          const std::vector<ArgSeen>& a = call.args;
          m_state.cells[(m_sheet.empty() ? L"" : m_sheet + L"!") + a[1].text + a[0].text] = a[2].text;
          return S_OK;
        }
        break;
      case Role::Other:
        break;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 private:
  // A member called by name: Workbook.Worksheets, Worksheets.Count and Add, a worksheet's Name; any other get or method
  // gives a new object of the same worksheet, any other put is taken.
  HRESULT InvokeNamed(const CallSeen& call, bool get, bool put, VARIANT* result) {
    if (call.name == m_state.failName) return DISP_E_EXCEPTION;
    if (m_role == Role::Workbook && call.name == L"Worksheets" && get) return Answer(result, Role::Worksheets);
    if (m_role == Role::Worksheets && call.name == L"Count" && get && result != nullptr) {
      V_VT(result) = VT_I4;
      V_I4(result) = 1 + static_cast<LONG>(m_state.addedSheets.size());
      return S_OK;
    }
    if (m_role == Role::Worksheets && call.name == L"Add" && get) {
      m_state.addedSheets.emplace_back();
      return Answer(result, Role::Worksheet, L"added" + std::to_wstring(m_state.addedSheets.size()));
    }
    if (m_role == Role::Worksheet && call.name == L"Name" && put && call.args.size() == 1) {
      if (!m_sheet.empty()) m_state.addedSheets[std::stoi(m_sheet.substr(5)) - 1] = call.args[0].text;
      return S_OK;
    }
    if (put) return S_OK;
    return Answer(result, Role::Other, m_sheet);
  }

  HRESULT Answer(VARIANT* result, Role role, const std::wstring& sheet) {
    if (result == nullptr) return E_INVALIDARG;
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = new FakeObject(role, m_state, sheet);  // one reference, the caller's
    return S_OK;
  }
  HRESULT Answer(VARIANT* result, Role role) { return Answer(result, role, m_sheet); }

  Role m_role;
  ServerState& m_state;
  std::wstring m_sheet;
  LONG m_refs = 1;
};

class FakeFactory final : public IClassFactory {
 public:
  explicit FakeFactory(ServerState& state) : m_state(state) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* app = new FakeObject(Role::Application, m_state);
    const HRESULT hr = app->QueryInterface(iid, out);
    app->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ServerState& m_state;
};

// {5E1F0C2A-7B44-4C1D-9A63-2F0E8D4B6C11}: the class of the test's server.
const CLSID kFakeClsid = {0x5e1f0c2a, 0x7b44, 0x4c1d, {0x9a, 0x63, 0x2f, 0x0e, 0x8d, 0x4b, 0x6c, 0x11}};
constexpr const char* kFakeClsidText = "{5E1F0C2A-7B44-4C1D-9A63-2F0E8D4B6C11}";
constexpr const char* kFakeProgId = "Qelmora.TestSpreadsheet";

// The server registered for this process under a programmatic id (HKEY_CLASSES_ROOT\<id>\CLSID and
// the running class object), for as long as the object lives.
class RegisteredServer {
 public:
  RegisteredServer(const char* progId, ServerState& state) : m_progId(progId), m_factory(state) {
    const std::string key = m_progId + "\\CLSID";
    EXPECT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, kFakeClsidText, std::strlen(kFakeClsidText)),
              ERROR_SUCCESS);
    EXPECT_EQ(CoRegisterClassObject(kFakeClsid, &m_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &m_cookie),
              S_OK);
  }
  ~RegisteredServer() {
    CoRevokeClassObject(m_cookie);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, m_progId.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, m_progId.c_str());
  }
  RegisteredServer(const RegisteredServer&) = delete;
  RegisteredServer& operator=(const RegisteredServer&) = delete;

 private:
  std::string m_progId;
  FakeFactory m_factory;
  DWORD m_cookie = 0;
};

// ---------------------------------------------------------------------------------------------
// The current parameter set, handed in by the test: one row, ADO-shaped.

class NoConnection final : public Connection {
 public:
  void Open(const std::string&, const std::string&, const std::string&, long) override {}
  void Close() override {}
};

class OneRowRecordset final : public Recordset {
 public:
  explicit OneRowRecordset(ParameterSet row) : m_row(std::move(row)) {}
  void Open(const std::string&, Connection&, int, int, long) override {
    if (m_open) throw ComError(kHrObjectOpen);
    m_open = true;
    m_position = 0;
  }
  bool GetEOF() override { return Opened().m_position >= 1; }
  void MoveNext() override {
    if (Opened().m_position >= 1) throw ComError(kHrNoCurrentRecord);
    ++m_position;
  }
  void MovePrevious() override {
    if (Opened().m_position <= 0) throw ComError(kHrNoCurrentRecord);
    --m_position;
  }
  void AddNew() override { throw ComError(kHrNotImpl); }
  FieldValue GetCollect(const std::string& column) override {
    if (Opened().m_position != 0) throw ComError(kHrNoCurrentRecord);
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      if (column == kParameterColumns[i]) return m_row[i];
    }
    throw ComError(kHrItemNotFound);
  }
  void PutCollect(const std::string&, const std::string&) override { throw ComError(kHrNotImpl); }
  void Update() override { throw ComError(kHrNotImpl); }
  void CancelUpdate() override {}
  void Close() override {
    if (!m_open) throw ComError(kHrObjectClosed);
    m_open = false;
  }

 private:
  OneRowRecordset& Opened() {
    if (!m_open) throw ComError(kHrObjectClosed);
    return *this;
  }
  ParameterSet m_row;
  bool m_open = false;
  int m_position = 0;
};

void InstallStore(const ParameterSet& row) {
  g_pConnection = std::make_unique<NoConnection>();
  g_pRecordset = std::make_unique<OneRowRecordset>(row);
}

void RemoveStore() {
  CloseParameterStore();
  g_pRecordset.Release();
  g_pConnection.Release();
}

// A parameter set with the worked examples: branch 1 (R1 = 100, T = 1e-5, P = 1), branch 2
// (R2 = 1500, T = 2.3e-5, P = 0.87), branch 3 without R3; an L0 text with a Chinese unit.
ParameterSet ExampleParameters() {
  return {ToCp936(L"1.2e-6 亨"), "12.5", "100", "1e-5", "1", "1500", "2.3e-5", "0.87", "", "0.5", "0.9"};
}

const std::array<const wchar_t*, 18> kColumns = {L"A", L"B", L"C", L"D", L"E", L"F", L"G", L"H", L"I",
                                                 L"J", L"K", L"L", L"M", L"N", L"O", L"P", L"Q", L"R"};
const std::array<const wchar_t*, 18> kNames = {L"L0",     L"R0", L"R1", L"CPE1-T", L"CPE1-P", L"C1",
                                               L"f1",     L"R2", L"CPE2-T", L"CPE2-P", L"C2", L"f2",
                                               L"R3",     L"CPE3-T", L"CPE3-P", L"C3", L"f3", L"Rp"};

class ExcelAutomation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    InstallStore(ExampleParameters());
  }
  void TearDown() override {
    RemoveStore();
    OleUninitialize();
  }

  ServerState state;
  qtest::ScriptedMessageBoxes boxes;
  ScriptedView view;
};

// ---------------------------------------------------------------------------------------------
// The report through the dialog

TEST_F(ExcelAutomation, ReportReachesTheServerAsInvokeCallsWithStringArguments) {
  RegisteredServer server("Excel.Application", state);
  MainDialog dialog(view);
  boxes.Answer(kIdOk);  // go on with the last import
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  // The order and the kind of every call, as the server saw them.
  ASSERT_EQ(state.calls.size(), 6u + 36u);
  const CallSeen& visible = state.calls[0];
  EXPECT_EQ(visible.role, Role::Application);
  EXPECT_EQ(visible.dispid, 558);
  EXPECT_EQ(visible.flags, DISPATCH_PROPERTYPUT);
  ASSERT_EQ(visible.args.size(), 1u);
  EXPECT_EQ(visible.args[0].vt, VT_BOOL);
  EXPECT_EQ(visible.args[0].flag, VARIANT_TRUE);
  EXPECT_EQ(visible.named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));

  const struct {
    Role role;
    DISPID dispid;
    WORD flags;
    const wchar_t* arg;  // nullptr: no argument
  } gets[] = {
      {Role::Application, 572, DISPATCH_PROPERTYGET, nullptr},
      {Role::Workbooks, 181, DISPATCH_METHOD, L""},
      {Role::Workbook, 494, DISPATCH_PROPERTYGET, nullptr},
      {Role::Worksheets, 170, DISPATCH_PROPERTYGET, L"sheet1"},
      {Role::Worksheet, 238, DISPATCH_PROPERTYGET, nullptr},
  };
  for (std::size_t i = 0; i < std::size(gets); ++i) {
    SCOPED_TRACE(i);
    const CallSeen& call = state.calls[1 + i];
    EXPECT_EQ(call.role, gets[i].role);
    EXPECT_EQ(call.dispid, gets[i].dispid);
    EXPECT_EQ(call.flags, gets[i].flags);
    EXPECT_TRUE(call.named.empty());
    if (gets[i].arg == nullptr) {
      EXPECT_TRUE(call.args.empty());
    } else {
      ASSERT_EQ(call.args.size(), 1u);
      EXPECT_EQ(call.args[0].vt, VT_BSTR);
      EXPECT_FALSE(call.args[0].nullString);
      EXPECT_EQ(call.args[0].text, gets[i].arg);
    }
  }

  // 36 property puts: row 1 from A to R, then row 2; row, column and value, all strings.
  for (std::size_t i = 0; i < 36; ++i) {
    SCOPED_TRACE(i);
    const CallSeen& call = state.calls[6 + i];
    EXPECT_EQ(call.role, Role::Range);
    EXPECT_EQ(call.dispid, 170);
    EXPECT_EQ(call.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(call.named, (std::vector<DISPID>{DISPID_PROPERTYPUT}));
    ASSERT_EQ(call.args.size(), 3u);
    for (const ArgSeen& arg : call.args) {
      EXPECT_EQ(arg.vt, VT_BSTR);
      EXPECT_FALSE(arg.nullString);  // an empty cell text is an empty string, not a null one
    }
    EXPECT_EQ(call.args[0].text, i < 18 ? L"1" : L"2");
    EXPECT_EQ(call.args[1].text, kColumns[i % 18]);
  }

  // What the sheet holds: the names, the stored texts unchanged, the derived number texts.
  for (std::size_t c = 0; c < 18; ++c) EXPECT_EQ(state.cells[std::wstring(kColumns[c]) + L"1"], kNames[c]);
  EXPECT_EQ(state.cells[L"A2"], L"1.2e-6 亨");
  EXPECT_EQ(state.cells[L"B2"], L"12.5");
  EXPECT_EQ(state.cells[L"C2"], L"100");
  EXPECT_EQ(state.cells[L"F2"], L"1.e-005");
  EXPECT_EQ(state.cells[L"G2"], L"159.154946");
  EXPECT_EQ(state.cells[L"K2"], L"1.39072427e-005");
  EXPECT_EQ(state.cells[L"L2"], L"7.62935539");
  EXPECT_EQ(state.cells[L"M2"], L"");
  EXPECT_EQ(state.cells[L"P2"], L"");
  EXPECT_EQ(state.cells[L"Q2"], L"");
  EXPECT_EQ(state.cells[L"R2"], L"1600.");

  // Every reference the server handed out has been released; the dialog ended with OK.
  EXPECT_EQ(state.live, 0);
  EXPECT_EQ(view.endResult, kIdOk);
  ASSERT_EQ(boxes.Boxes().size(), 2u);  // the question and the warning of the data source
  EXPECT_EQ(FromCp936(boxes.Boxes()[1].text), L"本次打开是数据来自上次导入的mdl文件");
}

// The calls made by name, in order.
std::vector<const CallSeen*> NamedCalls(const ServerState& state, const wchar_t* name) {
  std::vector<const CallSeen*> calls;
  for (const CallSeen& call : state.calls) {
    if (call.name == name) calls.push_back(&call);
  }
  return calls;
}

TEST_F(ExcelAutomation, ServerWithNamedMembersGetsTheSummaryAndSpectrumSheetsWithTheirCharts) {
  state.namesKnown = true;
  RegisteredServer server("Excel.Application", state);
  MainDialog dialog(view);
  boxes.Answer(kIdOk);
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  // Three worksheets added after the last one (Before left out, After the last sheet), then named.
  EXPECT_EQ(state.addedSheets, (std::vector<std::wstring>{L"报告", L"阻抗谱", L"阻抗谱图"}));
  const std::vector<const CallSeen*> adds = NamedCalls(state, L"Add");
  ASSERT_GE(adds.size(), 2u);
  EXPECT_EQ(adds[0]->role, Role::Worksheets);
  ASSERT_EQ(adds[0]->args.size(), 2u);
  EXPECT_EQ(adds[0]->args[0].vt, VT_ERROR);
  EXPECT_EQ(adds[0]->args[1].vt, VT_DISPATCH);

  // The parameter sheet as before; the values of the new sheets through the same cell writes.
  EXPECT_EQ(state.cells[L"R2"], L"1600.");
  EXPECT_EQ(state.cells[L"added1!A1"], L"qelmora 参数报告");
  EXPECT_EQ(state.cells[L"added1!B4"], L"—");  // no provenance in this store
  EXPECT_EQ(state.cells[L"added2!A1"], L"f (Hz)");
  EXPECT_EQ(state.cells[L"added2!A2"], L"0.01");
  EXPECT_EQ(state.cells[L"added2!A72"], L"100000");
  const Spectrum spectrum = ComputeSpectrum(ExampleParameters());
  EXPECT_EQ(std::stod(state.cells[L"added2!B2"]), *spectrum[0][kSpectrumReal]);  // 17 digits read back exactly

  // Four chart objects on the chart sheet over the spectrum sheet's columns: Nyquist with the same
  // step on both axes, its ranges in the proportions of the plot area it places, a square grid and
  // its decades labelled; the same of the capacitive part (L0's tail is inductive above 10 kHz);
  // the Bode |Z| with logarithmic x and |Z| axes, the phase over the logarithmic x.
  EXPECT_EQ(NamedCalls(state, L"ChartObjects").size(), 4u);
  for (const CallSeen* call : NamedCalls(state, L"ChartObjects")) EXPECT_EQ(call->sheet, L"added3");
  for (const CallSeen* call : NamedCalls(state, L"Range")) {  // the series' cells, "B2:B72"; not "1:73", rows
    const std::wstring& at = call->args[0].text;
    if (at.find(L"2:") != std::wstring::npos && at.rfind(L"1:", 0) != 0) EXPECT_EQ(call->sheet, L"added2") << at;
  }
  EXPECT_EQ(NamedCalls(state, L"HasMajorGridlines").size(), 2u);
  const std::vector<const CallSeen*> scales = NamedCalls(state, L"ScaleType");
  ASSERT_EQ(scales.size(), 3u);
  for (const CallSeen* call : scales) EXPECT_EQ(call->args[0].number, -4133);
  EXPECT_TRUE(NamedCalls(state, L"AxisGroup").empty());
  const std::vector<const CallSeen*> minima = NamedCalls(state, L"MinimumScale");
  const std::vector<const CallSeen*> maxima = NamedCalls(state, L"MaximumScale");
  const std::vector<const CallSeen*> units = NamedCalls(state, L"MajorUnit");
  const std::vector<const CallSeen*> width = NamedCalls(state, L"InsideWidth");
  const std::vector<const CallSeen*> height = NamedCalls(state, L"InsideHeight");
  ASSERT_EQ(minima.size(), 8u);
  ASSERT_EQ(maxima.size(), 8u);
  ASSERT_GE(units.size(), 4u);
  ASSERT_EQ(width.size(), 2u);
  ASSERT_EQ(height.size(), 2u);
  EXPECT_EQ(units[0]->args[0].number, units[1]->args[0].number);
  const double xRange = maxima[0]->args[0].number - minima[0]->args[0].number;
  const double yRange = maxima[1]->args[0].number - minima[1]->args[0].number;
  EXPECT_NEAR(xRange / yRange, width[0]->args[0].number / height[0]->args[0].number, 1e-9);
  for (const Spectrum::value_type& point : spectrum) {
    EXPECT_GE(*point[kSpectrumReal], minima[0]->args[0].number);
    EXPECT_LE(*point[kSpectrumReal], maxima[0]->args[0].number);
    EXPECT_GE(-*point[kSpectrumImaginary], minima[1]->args[0].number);
    EXPECT_LE(-*point[kSpectrumImaginary], maxima[1]->args[0].number);
  }
  EXPECT_LT(maxima[3]->args[0].number - minima[3]->args[0].number, yRange);  // −Z″ ≥ 0 only
  EXPECT_GE(minima[3]->args[0].number, minima[1]->args[0].number);
  EXPECT_GE(NamedCalls(state, L"HasDataLabel").size(), 4u);  // the decades whose labels have room
  // The parameter sheet on a landscape page, then the added sheets upright.
  const std::vector<const CallSeen*> orientation = NamedCalls(state, L"Orientation");
  ASSERT_EQ(orientation.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(orientation[i]->args[0].number, i == 0 ? 2 : 1) << i;
  EXPECT_EQ(NamedCalls(state, L"HPageBreaks").size(), 4u);  // the table's second page, a page a chart

  EXPECT_EQ(state.live, 0);
  EXPECT_EQ(view.endResult, kIdOk);
}

TEST_F(ExcelAutomation, AChartThatFailsLeavesTheSheetsWrittenAndTheReportGoesOn) {
  state.namesKnown = true;
  state.failName = L"NewSeries";
  RegisteredServer server("Excel.Application", state);
  MainDialog dialog(view);
  boxes.Answer(kIdOk);
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  EXPECT_EQ(state.addedSheets, (std::vector<std::wstring>{L"报告", L"阻抗谱", L"阻抗谱图"}));
  EXPECT_EQ(state.cells[L"added2!A72"], L"100000");
  EXPECT_TRUE(NamedCalls(state, L"ScaleType").empty());
  // Only the data source's question and warning.
  EXPECT_EQ(boxes.Boxes().size(), 2u) << ::testing::PrintToString(FromCp936(boxes.Boxes().back().text));
  EXPECT_EQ(state.live, 0);
  EXPECT_EQ(view.endResult, kIdOk);
}

TEST_F(ExcelAutomation, StoredTextsThatWouldBeFormulasReachTheSheetAsTextNumbersUnchanged) {
  InstallStore({"=HYPERLINK(\"http://x\",\"y\")", "-5", "@SUM(A1)", "+1e3", "-A1", "", "", "", "", "", ""});
  RegisteredServer server("Excel.Application", state);
  MainDialog dialog(view);
  boxes.Answer(kIdOk);
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  EXPECT_EQ(state.cells[L"A2"], L"'=HYPERLINK(\"http://x\",\"y\")");
  EXPECT_EQ(state.cells[L"B2"], L"-5");
  EXPECT_EQ(state.cells[L"C2"], L"'@SUM(A1)");
  EXPECT_EQ(state.cells[L"D2"], L"+1e3");
  EXPECT_EQ(state.cells[L"E2"], L"'-A1");
  EXPECT_EQ(state.cells[L"A1"], L"L0");  // the names go in as they are
  EXPECT_EQ(view.endResult, kIdOk);
}

TEST_F(ExcelAutomation, ControlCharactersAWorkbookCannotHoldArriveReplaced) {
  InstallStore({"a\x01" "b", "1\t2", "x\x1F", "", "", "", "", "", "", "", ""});
  RegisteredServer server("Excel.Application", state);
  MainDialog dialog(view);
  boxes.Answer(kIdOk);
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  EXPECT_EQ(state.cells[L"A2"], L"a\xFFFD" L"b");
  EXPECT_EQ(state.cells[L"B2"], L"1\t2");  // a tab is XML's own
  EXPECT_EQ(state.cells[L"C2"], L"x\xFFFD");
}

TEST_F(ExcelAutomation, MissingSheet1StopsTheReportWithTheServersDescription) {
  state.sheetName = L"工作表1";  // an Excel whose first sheet carries a translated name
  state.missingSheetDescription = L"无法取得 Worksheets 类的 Item 属性";
  RegisteredServer server("Excel.Application", state);
  MainDialog dialog(view);
  boxes.Answer(kIdOk);
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  // Up to the failing Item, nothing after it.
  ASSERT_EQ(state.calls.size(), 5u);
  EXPECT_EQ(state.calls[4].dispid, 170);
  EXPECT_EQ(state.calls[4].args[0].text, L"sheet1");
  EXPECT_TRUE(state.cells.empty());

  // The description, in the system code page; the dialog stays open; nothing is left referenced.
  ASSERT_EQ(boxes.Boxes().size(), 3u);
  EXPECT_EQ(boxes.Boxes()[2].kind, qtest::BoxKind::App);
  EXPECT_EQ(FromCp936(boxes.Boxes()[2].text), L"无法取得 Worksheets 类的 Item 属性");
  EXPECT_FALSE(view.endResult.has_value());
  EXPECT_EQ(state.live, 0);
}

// ---------------------------------------------------------------------------------------------
// The dispatch objects on their own

TEST_F(ExcelAutomation, FailuresWithoutDescriptionAndEmptyResults) {
  RegisteredServer server(kFakeProgId, state);
  {
    std::unique_ptr<DispatchObject> app = CreateAutomationServer(kFakeProgId);
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(state.live, 1);

    // A member the server does not have: the HRESULT of the call.
    try {
      app->InvokeGetDispatch(999, false, {});
      ADD_FAILURE() << "no error raised";
    } catch (const AutomationError& e) {
      EXPECT_EQ(FromCp936(e.what()), L"调用失败 0x80020003");
    }

    // A server exception without a description: its code.
    std::unique_ptr<DispatchObject> books = app->InvokeGetDispatch(kDispWorkbooks, false, {});
    std::unique_ptr<DispatchObject> book = books->InvokeGetDispatch(kDispAdd, true, {std::string()});
    std::unique_ptr<DispatchObject> sheets = book->InvokeGetDispatch(kDispWorksheets, false, {});
    try {
      sheets->InvokeGetDispatch(kDispItem, false, {std::string("Sheet9")});
      ADD_FAILURE() << "no error raised";
    } catch (const AutomationError& e) {
      EXPECT_EQ(FromCp936(e.what()), L"调用失败 0x800A03EC");
    }

    // A false flag goes out as VARIANT_FALSE; an empty result gives no reference.
    app->InvokePut(kDispVisible, {false});
    EXPECT_EQ(state.calls.back().args[0].vt, VT_BOOL);
    EXPECT_EQ(state.calls.back().args[0].flag, VARIANT_FALSE);
    std::unique_ptr<DispatchObject> sheet = sheets->InvokeGetDispatch(kDispItem, false, {std::string("sheet1")});
    state.cellsEmpty = true;
    EXPECT_EQ(sheet->InvokeGetDispatch(kDispCells, false, {}), nullptr);
    EXPECT_EQ(state.live, 5);
  }
  EXPECT_EQ(state.live, 0);
}

TEST_F(ExcelAutomation, ServersThatCannotBeCreatedGiveNothing) {
  // No such programmatic id.
  EXPECT_EQ(CreateAutomationServer("Qelmora.NoSuchServer"), nullptr);
  // Registered, but no server behind the class.
  const std::string key = std::string(kFakeProgId) + "\\CLSID";
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, kFakeClsidText, std::strlen(kFakeClsidText)),
            ERROR_SUCCESS);
  EXPECT_EQ(CreateAutomationServer(kFakeProgId), nullptr);
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kFakeProgId);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, kFakeProgId);
}

// ---------------------------------------------------------------------------------------------
// Without Excel: the child process ends with status 1

// The child's message boxes, one line each, written at once (the process ends without returning):
// kind, caption and text in hexadecimal bytes.
class LoggedMessageBoxes final : public MessageBoxes {
 public:
  explicit LoggedMessageBoxes(const std::string& path) : m_file(std::fopen(path.c_str(), "wb")) {}
  int AppMessageBox(const std::string& text, unsigned) override { return Log('A', "", text); }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned) override {
    return Log('D', caption, text);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned) override {
    return Log('O', caption, text);
  }
  void Note(const std::string& line) {
    std::fprintf(m_file, "%s\n", line.c_str());
    std::fflush(m_file);
  }

 private:
  static std::string Hex(const std::string& bytes) {
    std::string hex;
    char two[3];
    for (unsigned char c : bytes) {
      std::snprintf(two, sizeof two, "%02X", c);
      hex += two;
    }
    return hex.empty() ? "-" : hex;
  }
  int Log(char kind, const std::string& caption, const std::string& text) {
    Note(std::string(1, kind) + " " + Hex(caption) + " " + Hex(text));
    return kIdOk;  // OK to every question
  }
  std::FILE* m_file;
};

// The child: the dialog's "OpenExcel" with the parameter set read from the file the parent wrote,
// in the prefix as it is. Normally ends inside the command with status 1.
int RunExcelChild(const std::string& directory) {
  std::ifstream in(directory + "\\parameters.txt", std::ios::binary);
  ParameterSet row;
  for (std::string& value : row) std::getline(in, value);

  LoggedMessageBoxes boxes(directory + "\\boxes.txt");
  AfxSetMessageBoxes(&boxes);
  ThePlatform().OleInit();  // as the dialog's initialisation does
  InstallStore(row);
  ScriptedView view;
  MainDialog dialog(view);
  dialog.OnCommand(IDC_BUTTON_EXCEL);
  boxes.Note(view.endResult ? "ended" : "returned");
  return 3;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  if (hex == "-") return bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

TEST(ExcelWithoutServer, ReportEndsTheProgramWithStatusOneAfterItsMessage) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  // The prefix has no Excel.
  EXPECT_EQ(CreateAutomationServer("Excel.Application"), nullptr);
  OleUninitialize();

  qtest::TempDir dir;
  {
    std::ofstream out(dir.Path() / "parameters.txt", std::ios::binary);
    for (const std::string& value : ExampleParameters()) out << value << '\n';
  }
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  std::string directory = dir.Path().string();
  std::string commandLine = std::string("\"") + self + "\" \"--excel-child=" + directory + "\"";

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(status, 1u);

  std::ifstream log(dir.Path() / "boxes.txt", std::ios::binary);
  std::vector<std::array<std::string, 3>> shown;
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream fields(line);
    std::array<std::string, 3> box;
    fields >> box[0] >> box[1] >> box[2];
    shown.push_back({box[0], FromHex(box[1]), FromHex(box[2])});
  }
  // The data-source question and warning, then the failure; the command never came back.
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(FromCp936(shown[0][1]), L"信息提示!");
  EXPECT_EQ(FromCp936(shown[1][1]), L"警告!");
  EXPECT_EQ(shown[2][0], "D");
  EXPECT_EQ(FromCp936(shown[2][1]), L"信息提示");
  EXPECT_EQ(FromCp936(shown[2][2]), L"创建Excel服务失败!");
}

}  // namespace

// The program doubles as the child of the test above.
int main(int argc, char** argv) {
  constexpr const char kChildFlag[] = "--excel-child=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kChildFlag, sizeof kChildFlag - 1) == 0) {
      return RunExcelChild(argv[i] + sizeof kChildFlag - 1);
    }
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
