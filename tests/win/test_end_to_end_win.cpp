// The store's ADO calls and the real qelmora.exe, end to end, against the COM doubles of
// com_doubles.cpp: ADO's Connection and Recordset classes and "Excel.Application" are registered in
// this test's own Wine prefix (no other test sees them). The doubles note every call in a log file;
// table1 lives in the data source file, read back here.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/globals.h"
#include "base/platform.h"
#include "model/import.h"
#include "app/import_command.h"
#include "app/run_store.h"
#include "model/model_reader.h"
#include "res/resource.h"
#include "store/store.h"
#include "store/store_kind.h"
#include "store/store_win.h"
#include "tests/store/store_contract.h"
#include "tests/support/test_support.h"
#include "lab_server_win.h"
#include "win_test_helpers.h"

namespace {

// ---------------------------------------------------------------------------------------------
// The doubles, registered for this prefix

void SetKey(const std::string& key, const char* name, const std::string& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
            ERROR_SUCCESS)
      << key;
  EXPECT_EQ(RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(handle);
}

class RegisterDoubles : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* classes[] = {"{00000514-0000-0010-8000-00AA006D2EA4}",   // ADODB.Connection
                             "{00000535-0000-0010-8000-00AA006D2EA4}",   // ADODB.Recordset
                             "{5E1F0C2A-7B44-4C1D-9A63-2F0E8D4B6C12}"};  // the spreadsheet double
    for (const char* clsid : classes) {
      const std::string key = std::string("CLSID\\") + clsid + "\\InprocServer32";
      SetKey(key, nullptr, QELMORA_COM_DOUBLES);
      SetKey(key, "ThreadingModel", "Apartment");
    }
    SetKey("Excel.Application\\CLSID", nullptr, classes[2]);
  }
};

const auto* const g_registration = ::testing::AddGlobalTestEnvironment(new RegisterDoubles);

// The log of the doubles' calls, one file per test.
class CallLog {
 public:
  explicit CallLog(const std::filesystem::path& path) : m_path(path) {
    SetEnvironmentVariableW(L"QELMORA_COM_DOUBLES_LOG", path.wstring().c_str());
  }
  ~CallLog() { SetEnvironmentVariableW(L"QELMORA_COM_DOUBLES_LOG", nullptr); }
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  // The lines as the file holds them (UTF-8).
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_path, std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : Lines()) {
      if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
  }

 private:
  std::filesystem::path m_path;
};

// ---------------------------------------------------------------------------------------------
// table1 in the doubles' data source file

// The columns of the test's table1: the counter key, the eleven values and the import's provenance
// (when, from which file). The double takes its columns from the file.
const std::vector<std::string> kColumnsWithKey = {"ID",     "L0",     "R0",     "R1",     "CPE1-T",
                                                  "CPE1-P", "R2",     "CPE2-T", "CPE2-P", "R3",
                                                  "CPE3-T", "CPE3-P", "imported_at", "source"};
constexpr std::size_t kImportedAtField = 12;
constexpr std::size_t kSourceField = 13;

void WriteTable(const std::filesystem::path& path, const std::vector<std::vector<std::string>>& rows,
                const std::string& password = "582046",
                const std::vector<std::string>& columns = kColumnsWithKey) {
  std::string text = "password\t" + password + "\ncolumns";
  for (const std::string& column : columns) text += "\t" + column;
  text += "\n";
  int id = 0;
  for (const std::vector<std::string>& row : rows) {
    text += "row\t" + std::to_string(++id);
    for (const std::string& field : row) text += "\t" + field;
    text += "\n";
  }
  qtest::WriteFileBytes(path, text);
}

// A stored field as its text ("\\", "\t", "\n", "\r" escaped); NULL stays "\N".
std::string Unescape(const std::string& field) {
  if (field == "\\N") return field;
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size()) {
      const char c = field[++i];
      text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    } else {
      text += field[i];
    }
  }
  return text;
}

std::vector<std::vector<std::string>> ReadTable(const std::filesystem::path& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(qtest::ReadFileBytes(path));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("row\t", 0) != 0) continue;
    std::vector<std::string> fields;
    std::size_t start = 4;
    for (;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(Unescape(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    rows.push_back(fields);
  }
  return rows;
}

// The eleven texts of a model file (ASCII, so the file's UTF-8 and code page 936 agree).
const std::vector<std::string> kValues = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.0123",
                                          "2.3e-5",     "0.87",     "1.5E-3",    "0.5",     "0.9"};

std::vector<std::string> WithKey(int id, const std::vector<std::string>& values) {
  std::vector<std::string> row = {std::to_string(id)};
  row.insert(row.end(), values.begin(), values.end());
  return row;
}

// The key and the eleven values of a stored row.
std::vector<std::string> KeyAndValues(const std::vector<std::string>& row) {
  return {row.begin(), row.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(row.size(), 12))};
}

// The provenance of a stored row: both NULL from a program that does not record it, else the time
// of the import (UTC, "YYYY-MM-DDThh:mm:ssZ") and the model file's path.
void ExpectProvenance(const std::vector<std::string>& row, const std::string& model) {
  ASSERT_EQ(row.size(), kColumnsWithKey.size());
  const std::string& time = row[kImportedAtField];
  if (time == "\\N" && row[kSourceField] == "\\N") return;
  ASSERT_EQ(time.size(), 20u) << time;
  EXPECT_EQ(time.substr(0, 2), "20") << time;
  EXPECT_EQ(time[10], 'T') << time;
  EXPECT_EQ(time.back(), 'Z') << time;
  EXPECT_EQ(row[kSourceField], model);
}

std::string Utf8(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

// A program folder: the store's data source file beside where qelmora.exe lies.
struct ProgramFolder {
  qtest::TempDir dir;
  std::filesystem::path Store() const { return dir.Path() / "dravo.mdb"; }
  std::string Drive() const { return dir.Dir().substr(0, 2); }
  std::string Directory() const { return dir.Dir().substr(2); }
};

// ---------------------------------------------------------------------------------------------
// The store in this process, through store_win.cpp and ado_win.cpp

class StoreOnTheProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.moduleFileName = folder.dir.Dir() + "qelmora.exe";
  }
  void TearDown() override {
    CloseParameterStore();
    g_pRecordset.Release();
    g_pConnection.Release();
  }
  void Open() {
    OpenParameterStore(folder.dir.Dir());
    ASSERT_TRUE(ParameterStoreConnected()) << ::testing::PrintToString(boxes.Texts());
  }
  static HResult Code(void (*call)()) {
    try {
      call();
    } catch (const ComError& e) {
      return e.Error();
    }
    return 0;
  }

  ProgramFolder folder;
  qtest::TestPlatform platform;
  qtest::ScriptedMessageBoxes boxes;
  CallLog log{folder.dir.Path() / "calls.log"};
};

// The store's contract on the provider's doubles: an empty table1, read back from the doubles' file.
struct AdoDoublesKind {
  AdoDoublesKind() { platform.moduleFileName = folder.dir.Dir() + "qelmora.exe"; }
  ~AdoDoublesKind() {
    g_pRecordset.Release();
    g_pConnection.Release();
  }
  std::string EmptyCurrent() const { return ComErrorText(kHrNoCurrentRecord); }
  std::unique_ptr<ParameterStore> Open() {
    WriteTable(folder.Store(), {});
    platform.OleInit();  // as the run's store is opened
    return StoreKindOf(folder.dir.Dir()).Open(folder.dir.Dir());
  }
  long Rows() const { return static_cast<long>(ReadTable(folder.Store()).size()); }
  ProgramFolder folder;
  qtest::TestPlatform platform;
  qtest::ScriptedMessageBoxes boxes;
};
INSTANTIATE_TYPED_TEST_SUITE_P(StoreContract, StoreContract, ::testing::Types<AdoDoublesKind>);

TEST_F(StoreOnTheProvider, TheReadRuleWalksToTheEndAndReadsTheLastRow) {
  std::vector<std::string> last = kValues;
  last[kR3] = "\\N";                         // NULL
  last[kL0] = Utf8(L"1.2345E-07 亨");          // the file holds UTF-8; the program reads code page 936
  WriteTable(folder.Store(), {kValues, {"9", "9", "9", "9", "9", "9", "9", "9", "9", "9", "9"}, last});
  Open();
  const ParameterSet set = TheParameterStore().ReadCurrent().parameters;
  for (std::size_t i = kR0; i < kParameterCount; ++i) {
    EXPECT_EQ(set[i], i == kR3 ? "" : kValues[i]) << kParameterColumns[i];
  }
  EXPECT_EQ(set[kL0], wintest::ToCp936(L"1.2345E-07 亨"));
  EXPECT_EQ(set[kR3], "");
  EXPECT_EQ(set[kCpe3T], "0.5");

  // The calls as ADO gets them: the query, the walk over three rows, one step back.
  const std::vector<std::string> opens = log.Starting("ado Recordset.Open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0],
            "ado Recordset.Open source=BSTR:SELECT * FROM table1 connection=DISPATCH cursor=2 lock=3 options=1 -> "
            "0x00000000");
  EXPECT_EQ(log.Starting("ado Recordset.MoveNext -> 0x00000000").size(), 3u);
  EXPECT_EQ(log.Starting("ado Recordset.MovePrevious -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting("ado Recordset.get_Collect index=BSTR:R3 = VT1 -> 0x00000000").size(), 1u);  // VT_NULL
  EXPECT_EQ(log.Starting("unexpected").size(), 0u);

  // The read closes the recordset again.
  EXPECT_EQ(log.Starting("ado Recordset.Close -> 0x00000000").size(), 1u);
  EXPECT_EQ(Code([] { OpenTableRecordset(); }), 0);
  g_pRecordset->Close();
  CloseParameterStore();
}

TEST_F(StoreOnTheProvider, AnImportAddsOneRowWithTextsAndAMissingColumnAddsNone) {
  WriteTable(folder.Store(), {});
  qtest::WriteFileBytes(folder.dir.Path() / "a.mdl", qtest::ModelText(kValues));
  const std::string model = folder.dir.Dir() + "a.mdl";
  Open();
  ASSERT_TRUE(RunImport(model));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  std::vector<std::vector<std::string>> rows = ReadTable(folder.Store());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(KeyAndValues(rows[0]), WithKey(1, kValues));
  ExpectProvenance(rows[0], model);
  EXPECT_EQ(log.Starting("ado Recordset.AddNew fields=ERROR:0x80020004 values=ERROR:0x80020004 -> 0x00000000").size(),
            1u);
  EXPECT_EQ(log.Starting("ado Recordset.put_Collect index=BSTR:CPE2-T value=BSTR:2.3e-5 -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting("ado Recordset.Update fields=ERROR:0x80020004 values=ERROR:0x80020004 -> 0x00000000").size(),
            1u);

  // An element whose name is no column: ADO's "item not found", the pending row dropped, the
  // recordset closed; table1 keeps its one row.
  std::string text = qtest::ModelText(kValues);
  text.replace(text.find("Name: R2"), 8, "Name: R9");
  qtest::WriteFileBytes(folder.dir.Path() / "a.mdl", text);
  boxes.Clear();
  EXPECT_FALSE(RunImport(model));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{ComErrorText(kHrItemNotFound)});
  EXPECT_EQ(ReadTable(folder.Store()).size(), 1u);
  EXPECT_EQ(log.Starting("ado Recordset.put_Collect index=BSTR:R9 value=BSTR:0.0123 -> 0x800A0CC1").size(), 1u);
  EXPECT_EQ(log.Starting("ado Recordset.CancelUpdate -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting("ado Recordset.Close -> 0x00000000").size(), 2u);
  EXPECT_EQ(log.Starting("unexpected").size(), 0u);
  CloseParameterStore();

  // A table of the earlier program, without the provenance columns: the row is saved without them.
  WriteTable(folder.Store(), {}, "582046", {kColumnsWithKey.begin(), kColumnsWithKey.begin() + 12});
  qtest::WriteFileBytes(folder.dir.Path() / "a.mdl", qtest::ModelText(kValues));
  Open();
  boxes.Clear();
  EXPECT_TRUE(RunImport(model));
  rows = ReadTable(folder.Store());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], WithKey(1, kValues));
  CloseParameterStore();
}

TEST_F(StoreOnTheProvider, TheProviderRefusesWhatAdoRefuses) {
  WriteTable(folder.Store(), {kValues});
  Open();
  // A forward-only, read-only recordset: no step back, no new row.
  g_pRecordset->Open(kTableQuery, *g_pConnection, 0, 1, adCmdText);
  EXPECT_EQ(Code([] { g_pRecordset->MovePrevious(); }), kHrFeatureNotAvailable);
  EXPECT_EQ(Code([] { g_pRecordset->AddNew(); }), kHrFeatureNotAvailable);
  g_pRecordset->Close();
  EXPECT_EQ(Code([] { g_pRecordset->Close(); }), kHrObjectClosed);

  OpenTableRecordset();
  // Past the end and before the start.
  g_pRecordset->MoveNext();
  EXPECT_TRUE(g_pRecordset->GetEOF());
  EXPECT_EQ(Code([] { g_pRecordset->MoveNext(); }), kHrNoCurrentRecord);
  EXPECT_EQ(Code([] { (void)g_pRecordset->GetCollect("L0"); }), kHrNoCurrentRecord);
  EXPECT_EQ(Code([] { g_pRecordset->Update(); }), kHrNoCurrentRecord);  // nothing added
  g_pRecordset->MovePrevious();
  g_pRecordset->MovePrevious();
  EXPECT_EQ(Code([] { g_pRecordset->MovePrevious(); }), kHrNoCurrentRecord);
  // A saved row is not edited, a column must exist by its exact name, the key is the provider's.
  g_pRecordset->MoveNext();
  EXPECT_EQ(g_pRecordset->GetCollect("L0"), kValues[kL0]);
  EXPECT_EQ(Code([] { (void)g_pRecordset->GetCollect("l0"); }), kHrItemNotFound);
  EXPECT_EQ(Code([] { g_pRecordset->PutCollect("L0", "1"); }), kHrFeatureNotAvailable);
  g_pRecordset->AddNew();
  EXPECT_EQ(Code([] { g_pRecordset->PutCollect("ID", "7"); }), kHrFeatureNotAvailable);
  EXPECT_EQ(Code([] { g_pRecordset->Close(); }), kHrIllegalOperation);  // a row is pending
  g_pRecordset->CancelUpdate();
  g_pRecordset->Close();
  EXPECT_EQ(ReadTable(folder.Store()).size(), 1u);

  // A closed connection is no active connection.
  CloseParameterStore();
  EXPECT_EQ(Code([] { OpenTableRecordset(); }), kHrInvalidConnection);
  EXPECT_EQ(log.Starting("unexpected").size(), 0u);
}

TEST_F(StoreOnTheProvider, AWrongPasswordOrAMissingFileIsTheStartUpMessage) {
  WriteTable(folder.Store(), {}, "123456");
  OpenParameterStore(folder.dir.Dir());
  EXPECT_FALSE(ParameterStoreConnected());
  std::filesystem::remove(folder.Store());
  OpenParameterStore(folder.dir.Dir());
  EXPECT_FALSE(ParameterStoreConnected());
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"连接数据库失败!\r\n错误信息：" + ComErrorText(MakeHResult(0x80040E4D)),
                                                     "连接数据库失败!\r\n错误信息：" + ComErrorText(MakeHResult(0x80004005))}));
}

// ---------------------------------------------------------------------------------------------
// The real qelmora.exe

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam) {
  auto* s = reinterpret_cast<WindowSearch*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner == s->pid && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
  return TRUE;
}

// The visible top-level windows of one process.
std::vector<HWND> WindowsOf(DWORD pid) {
  WindowSearch search{pid, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND MainDialogOf(DWORD pid) {
  for (HWND hwnd : WindowsOf(pid)) {
    if (GetDlgItem(hwnd, IDC_EDIT_PATH) != nullptr) return hwnd;
  }
  return nullptr;
}

// A message box of the process: a dialog without the path box. Its text is its longest static text.
HWND MessageBoxOf(DWORD pid, std::wstring* text) {
  for (HWND hwnd : WindowsOf(pid)) {
    char className[32] = {};
    GetClassNameA(hwnd, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || GetDlgItem(hwnd, IDC_EDIT_PATH) != nullptr) continue;
    text->clear();
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
      GetClassNameA(child, className, sizeof className);
      wchar_t buffer[512] = {};
      GetWindowTextW(child, buffer, 512);
      if (lstrcmpiA(className, "Static") == 0 && lstrlenW(buffer) > static_cast<int>(text->size())) *text = buffer;
    }
    return hwnd;
  }
  return nullptr;
}

void Click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

class RealProgram {
 public:
  RealProgram(const std::string& exe, const std::string& model, const std::string& folder) {
    std::string commandLine = "\"" + exe + "\" \"" + model + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    m_started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                               &startup, &m_process) != FALSE;
  }
  ~RealProgram() {
    if (!m_started) return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_process.hProcess, 99);
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
  }
  RealProgram(const RealProgram&) = delete;
  RealProgram& operator=(const RealProgram&) = delete;

  bool Started() const { return m_started; }
  DWORD Pid() const { return m_process.dwProcessId; }

  HWND WaitForMainDialog() {
    for (int i = 0; i < 600; ++i) {  // Wine's start of a process may take long on a busy machine
      if (const HWND hwnd = MainDialogOf(Pid())) return hwnd;
      if (Ended()) return nullptr;
      Sleep(100);
    }
    return nullptr;
  }

  // Answers every message box with OK until the program ends (or the time is up); the texts shown.
  std::vector<std::wstring> AnswerBoxesUntilTheEnd(DWORD* exitCode) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < 600 && !Ended(); ++i) {
      std::wstring text;
      if (const HWND box = MessageBoxOf(Pid(), &text)) {
        texts.push_back(text);
        Click(box, IDOK);
        for (int j = 0; j < 100 && IsWindow(box) && IsWindowVisible(box); ++j) Sleep(50);
      }
      Sleep(100);
    }
    *exitCode = STILL_ACTIVE;
    GetExitCodeProcess(m_process.hProcess, exitCode);
    return texts;
  }

  // Waits for one message box, answers it with OK and gives its text (empty when none came).
  std::wstring AnswerOneBox() {
    for (int i = 0; i < 600 && !Ended(); ++i) {
      std::wstring text;
      if (const HWND box = MessageBoxOf(Pid(), &text)) {
        Click(box, IDOK);
        for (int j = 0; j < 100 && IsWindow(box) && IsWindowVisible(box); ++j) Sleep(50);
        return text;
      }
      Sleep(100);
    }
    return {};
  }

 private:
  bool Ended() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_OBJECT_0; }
  PROCESS_INFORMATION m_process{};
  bool m_started = false;
};

// The report's two formatted sheets as the spreadsheet server received them: added after sheet1 and
// named, the summary with the provenance of the row just imported, the 71 points of the spectrum,
// the three charts; every call by member name answered with success. The data file beside the model
// adds its lines (the KK check among them) and the SE columns to the summary, its points beside the
// model's, the residual chart and the KK residual chart.
void ExpectReportSheets(const CallLog& log, std::map<std::string, std::string>& added, const std::string& model,
                        const std::string& importedAt, const std::string& store) {
  const std::string summary = Utf8(L"报告") + "!", spectrum = Utf8(L"阻抗谱") + "!";
  EXPECT_EQ(log.Starting("sheet sheet1 Worksheets.Add ERROR:0x80020004 DISPATCH -> 0x00000000").size(), 3u);
  EXPECT_EQ(log.Starting("sheet Sheet2 Worksheet.Name BSTR:" + Utf8(L"报告") + " -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting("sheet Sheet3 Worksheet.Name BSTR:" + Utf8(L"阻抗谱") + " -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting("sheet Sheet4 Worksheet.Name BSTR:" + Utf8(L"阻抗谱图") + " -> 0x00000000").size(), 1u);

  EXPECT_EQ(added[summary + "A1"], Utf8(L"qelmora 参数报告"));
  // The report's and the import's date and time, local, with the zone: "2026-12-08 09:54:43 UTC+08:00".
  for (const char* cell : {"B3", "B5"}) EXPECT_EQ(added[summary + cell].substr(19, 4) + " " + std::to_string(added[summary + cell].size()), " UTC 29");
  EXPECT_EQ(added[summary + "B5"].substr(0, 4), importedAt.substr(0, 4));
  EXPECT_EQ(added[summary + "B4"], model);
  EXPECT_EQ(added[summary + "B6"], store);
  EXPECT_EQ(added[summary + "A7"], Utf8(L"测量数据"));
  EXPECT_EQ(added[summary + "B7"], model.substr(0, model.size() - 3) + "csv");
  EXPECT_DOUBLE_EQ(std::atof(added[summary + "B9"].c_str()), 3);
  EXPECT_EQ(added[summary + "A12"], Utf8(L"χ^2"));
  EXPECT_GT(std::atof(added[summary + "B12"].c_str()), 0);
  // The data's Kramers–Kronig check in words, and each value's standard error beside it.
  EXPECT_EQ(added[summary + "A13"], Utf8(L"KK 检验"));
  EXPECT_EQ(added[summary + "B13"].rfind(Utf8(L"KK 残差最大 "), 0), 0u) << added[summary + "B13"];
  EXPECT_EQ(added[summary + "D16"], Utf8(L"标准误差"));
  EXPECT_EQ(added[summary + "A17"], "L0");
  EXPECT_DOUBLE_EQ(std::atof(added[summary + "B17"].c_str()), std::atof(kValues[0].c_str()));
  EXPECT_EQ(added[summary + "C17"], "H");

  EXPECT_EQ(added[spectrum + "A1"], "f (Hz)");
  // In the data file's order, from 1 kHz down: the model's table from 100 kHz down.
  EXPECT_DOUBLE_EQ(std::atof(added[spectrum + "A2"].c_str()), 1e5);
  EXPECT_DOUBLE_EQ(std::atof(added[spectrum + "A72"].c_str()), 0.01);
  int frequencies = 0;
  for (const auto& [cell, text] : added) {
    if (cell.rfind(spectrum + "A", 0) == 0 && cell != spectrum + "A1") ++frequencies;
  }
  EXPECT_EQ(frequencies, 71);
  EXPECT_EQ(added[spectrum + "I1"], Utf8(L"Z′ 测量 (Ω)"));
  EXPECT_EQ(added[spectrum + "N1"], Utf8(L"ΔZ″/|Z| (%)"));
  EXPECT_DOUBLE_EQ(std::atof(added[spectrum + "H4"].c_str()), 0.1);
  EXPECT_DOUBLE_EQ(std::atof(added[spectrum + "J4"].c_str()), -0.02);
  EXPECT_EQ(added.count(spectrum + "H5"), 0u);

  // sheet1 on a landscape page; the summary upright; the table of seventeen columns landscape; the
  // charts upright, one a page.
  for (const auto& [sheet, orientation] :
       std::vector<std::pair<std::string, int>>{{"sheet1", 2}, {Utf8(L"报告"), 1}, {Utf8(L"阻抗谱"), 2}, {Utf8(L"阻抗谱图"), 1}}) {
    EXPECT_EQ(log.Starting("sheet " + sheet + " PageSetup.Orientation I4:" + std::to_string(orientation) + " -> 0x00000000").size(), 1u);
  }
  const std::string onSpectrum = "sheet " + Utf8(L"阻抗谱图") + " ";
  std::vector<std::string> charts = log.Starting(onSpectrum + "ChartObjects.Add R8:");
  EXPECT_EQ(charts.size(), 6u);
  EXPECT_EQ(log.Starting(onSpectrum + "HPageBreaks.Add").size(), 5u);
  EXPECT_EQ(log.Starting(onSpectrum + "Title.Text BSTR:" + Utf8(L"残差") + " -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting(onSpectrum + "Title.Text BSTR:Kramers-Kronig " + Utf8(L"残差") + " -> 0x00000000").size(), 1u);
  EXPECT_EQ(log.Starting(onSpectrum + "Title.Text BSTR:Nyquist").size(), 2u);  // the whole and −Z″ ≥ 0
  // The measured points: open markers of their own colour (0xD62728 as Excel's 0xBBGGRR).
  EXPECT_EQ(log.Starting(onSpectrum + "Series.MarkerBackgroundColorIndex I4:-4142 -> 0x00000000").size(), 4u);
  EXPECT_EQ(log.Starting(onSpectrum + "Series.MarkerForegroundColor I4:2631638 -> 0x00000000").size(), 4u);
  EXPECT_EQ(log.Starting(onSpectrum + "Title.Text BSTR:Bode ").size(), 2u);  // |Z| and the phase
  EXPECT_EQ(log.Starting(onSpectrum + "Series.XValues DISPATCH:A2:A72 -> 0x00000000").size(), 2u);  // Bode's
  EXPECT_EQ(log.Starting(onSpectrum + "Axis.ScaleType I4:-4133 -> 0x00000000").size(), 5u);  // f four times, |Z|
  int named = 0;
  for (const std::string& line : log.Starting("sheet ")) {
    if (line.find(" -> ") == std::string::npos) continue;
    ++named;
    EXPECT_NE(line.find(" -> 0x00000000"), std::string::npos) << line;
  }
  EXPECT_GT(named, 100);
}

bool HaveDisplay() {
  const HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string TempDirectory() {
  char buffer[MAX_PATH] = {};
  GetTempPathA(sizeof buffer, buffer);
  return buffer;
}

TEST(RealProgram, ImportReportAndHandOffEndToEnd) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  ProgramFolder folder;
  const std::string exe = folder.dir.Dir() + "qelmora.exe";
  ASSERT_TRUE(CopyFileA(QELMORA_EXE, exe.c_str(), FALSE));
  std::filesystem::create_directory(folder.dir.Path() / "sim");
  ASSERT_TRUE(CopyFileA(QELMORA_SIM_STANDIN, (folder.dir.Dir() + "sim\\Kambrisolve.exe").c_str(), FALSE));
  WriteTable(folder.Store(), {});
  const std::string model = folder.dir.Dir() + "fit.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(kValues));
  qtest::WriteFileBytes(folder.dir.Dir() + "fit.csv", "f,Z',Z''\r\n1000,0.02,-0.001\r\n10,0.03,-0.01\r\n0.1,0.05,-0.02\r\n");
  CallLog log(folder.dir.Path() / "calls.log");
  std::string importedAt;  // the provenance of the row run 1 imports

  // Run 1: started with the model file; OK imports it; "OpenExcel" writes the report and ends.
  {
    RealProgram program(exe, model, folder.dir.Dir());
    ASSERT_TRUE(program.Started());
    const HWND dialog = program.WaitForMainDialog();
    ASSERT_NE(dialog, nullptr) << "the main dialog did not appear";
    wchar_t path[MAX_PATH] = {};
    GetDlgItemTextW(dialog, IDC_EDIT_PATH, path, MAX_PATH);
    EXPECT_EQ(std::wstring(path), Wide(model));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_BUTTON_TRANSFER)));

    Click(dialog, IDOK);
    EXPECT_EQ(program.AnswerOneBox(), L"插入成功!");
    const std::vector<std::vector<std::string>> rows = ReadTable(folder.Store());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(KeyAndValues(rows[0]), WithKey(1, kValues));
    ExpectProvenance(rows[0], model);
    importedAt = rows[0][kImportedAtField];

    Click(dialog, IDC_BUTTON_EXCEL);
    DWORD exitCode = 0;
    EXPECT_EQ(program.AnswerBoxesUntilTheEnd(&exitCode), std::vector<std::wstring>{});
    EXPECT_EQ(exitCode, 0u);
  }
  // The report reached the spreadsheet server: names in row 1, the current set in row 2.
  std::map<std::string, std::string> cells, added;  // sheet1's cells; "<sheet>!A1" of the added sheets
  for (const std::string& line : log.Starting("cell ")) {
    const std::size_t space = line.find(' ', 5);
    const std::string cell = line.substr(5, space - 5);
    (cell.find('!') == std::string::npos ? cells : added)[cell] = line.substr(space + 1);
  }
  const char* names[] = {"L0", "R0", "R1", "CPE1-T", "CPE1-P", "C1", "f1", "R2", "CPE2-T",
                         "CPE2-P", "C2", "f2", "R3", "CPE3-T", "CPE3-P", "C3", "f3", "Rp"};
  const int valueColumn[kParameterCount] = {0, 1, 2, 3, 4, 7, 8, 9, 12, 13, 14};  // A, B, C, D, E, H, ...
  EXPECT_EQ(cells.size(), 36u);
  for (int c = 0; c < 18; ++c) EXPECT_EQ(cells[std::string(1, static_cast<char>('A' + c)) + "1"], names[c]);
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    const std::string cell = std::string(1, static_cast<char>('A' + valueColumn[i])) + "2";
    EXPECT_DOUBLE_EQ(std::atof(cells[cell].c_str()), std::atof(kValues[i].c_str())) << cell << " " << cells[cell];
  }
  EXPECT_FALSE(cells["R2"].empty());  // Rp
  ExpectReportSheets(log, added, model, importedAt, folder.dir.Dir() + "dravo.mdb");

  // Run 2: "Transfer data" imports the file first, then writes the hand-off file and starts the
  // simulation program in "sim".
  const std::string handoff = TempDirectory() + "~qe10.tmp";
  std::filesystem::remove(handoff);
  {
    RealProgram program(exe, model, folder.dir.Dir());
    ASSERT_TRUE(program.Started());
    const HWND dialog = program.WaitForMainDialog();
    ASSERT_NE(dialog, nullptr) << "the main dialog did not appear";
    Click(dialog, IDC_BUTTON_TRANSFER);
    DWORD exitCode = 0;
    EXPECT_EQ(program.AnswerBoxesUntilTheEnd(&exitCode), std::vector<std::wstring>{L"插入成功!"});
    EXPECT_EQ(exitCode, 0u);
  }
  const std::vector<std::vector<std::string>> rows = ReadTable(folder.Store());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(KeyAndValues(rows[1]), WithKey(2, kValues));
  ExpectProvenance(rows[1], model);
  const std::string bytes = qtest::ReadFileBytes(handoff);
  ASSERT_EQ(bytes.size(), 88u);
  for (std::size_t i = 0; i < kParameterCount; ++i) {
    double value = 0;
    std::memcpy(&value, bytes.data() + 8 * i, 8);
    EXPECT_DOUBLE_EQ(value, std::atof(kValues[i].c_str())) << kParameterColumns[i];
  }
  const std::filesystem::path started = folder.dir.Path() / "sim" / "started.txt";
  for (int i = 0; i < 200 && !std::filesystem::exists(started); ++i) Sleep(100);
  EXPECT_EQ(qtest::ReadFileBytes(started), folder.dir.Dir() + "sim");

  // Every store call of both runs succeeded, none outside the doubles' set was made.
  int adoCalls = 0;
  for (const std::string& line : log.Lines()) {
    if (line.rfind("ado ", 0) == 0 && line.find(" -> ") != std::string::npos) {
      ++adoCalls;
      EXPECT_NE(line.find(" -> 0x00000000"), std::string::npos) << line;
    }
    EXPECT_EQ(line.find("unexpected"), std::string::npos) << line;
  }
  EXPECT_GT(adoCalls, 40);
  EXPECT_EQ(log.Starting("ado Connection.Open string=Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + folder.dir.Dir() +
                         "dravo.mdb;Persist Security Info=False;Jet OLEDB:Database Password=582046 user= password= "
                         "options=0 -> 0x00000000")
                .size(),
            2u);
  std::filesystem::remove(handoff);
}

// The same program on the lab store through ODBC: OK saves the row on the server (read back with
// psql), "OpenExcel" reports it as this workstation's current set and names the server in the summary.
TEST(RealProgram, OkAndTheReportOnTheLabStore) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  if (labtest::ServerDir().empty()) GTEST_SKIP() << "no lab server: run through ctest, which starts one";
  labtest::LabDatabase db("t_odbc_program");
  ProgramFolder folder;
  const std::string exe = folder.dir.Dir() + "qelmora.exe", model = folder.dir.Dir() + "fit.mdl";
  ASSERT_TRUE(CopyFileA(QELMORA_EXE, exe.c_str(), FALSE));
  qtest::WriteFileBytes(model, qtest::ModelText(kValues));
  labtest::WriteConf(folder.dir.Path() / "appdata", db.Odbc());
  labtest::Workstation ws((folder.dir.Path() / "appdata").wstring(), L"PC-LAB", L"anna");
  CallLog log(folder.dir.Path() / "calls.log");
  RealProgram program(exe, model, folder.dir.Dir());
  ASSERT_TRUE(program.Started());
  const HWND dialog = program.WaitForMainDialog();
  ASSERT_NE(dialog, nullptr) << "the main dialog did not appear";
  Click(dialog, IDOK);
  EXPECT_EQ(program.AnswerOneBox(), L"插入成功!");
  EXPECT_EQ(db.Psql("SELECT \"L0\", \"CPE3-P\", source, workstation FROM qelmora.table1"),
            kValues[0] + "|" + kValues[10] + "|" + model + "|anna@PC-LAB\n");
  Click(dialog, IDC_BUTTON_EXCEL);
  DWORD exitCode = 0;
  EXPECT_EQ(program.AnswerBoxesUntilTheEnd(&exitCode), std::vector<std::wstring>{});
  std::map<std::string, std::string> cells;
  for (const std::string& line : log.Starting("cell ")) {
    const std::size_t space = line.find(' ', 5);
    cells[line.substr(5, space - 5)] = line.substr(space + 1);
  }
  EXPECT_DOUBLE_EQ(std::atof(cells["A2"].c_str()), std::atof(kValues[0].c_str()));
  EXPECT_EQ(cells[Utf8(L"报告") + "!B4"], model);
  EXPECT_EQ(cells[Utf8(L"报告") + "!B6"], labtest::ServerDir() + "/sock/t_odbc_program");
}

}  // namespace
