// "OpenExcel" through the main dialog, with a real store and a recording spreadsheet server: the
// order of the calls and what each passes, when the table is done with, how the dialog ends, and
// what a failing step leaves behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/main_dialog.h"
#include "spreadsheet/excel.h"
#include "report/report.h"
#include "spreadsheet/show_report.h"
#include "res/resource.h"
#include "tests/report/report_test_util.h"

namespace {

std::string ArgText(const AutomationArg& arg) {
  if (const bool* flag = std::get_if<bool>(&arg)) return *flag ? "true" : "false";
  return "'" + std::get<std::string>(arg) + "'";
}

std::string ArgsText(const std::vector<AutomationArg>& args) {
  std::string text;
  for (const AutomationArg& arg : args) text += (text.empty() ? "" : ",") + ArgText(arg);
  return text;
}

// The calls the server sees, one line each, and the releases of its references.
struct ServerLog {
  std::vector<std::string> calls;
  int failDispid = -1;           // a get with this dispatch id raises AutomationError
  std::string failDescription;
  bool storeUsableAtStart = false;
  int created = 0;
};

// A reference of the recording server; its name tells which object it stands for.
class RecordingObject final : public DispatchObject {
 public:
  RecordingObject(ServerLog& log, std::string name) : m_log(log), m_name(std::move(name)) {}
  ~RecordingObject() override { m_log.calls.push_back("release " + m_name); }

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool isMethod,
                                                    const std::vector<AutomationArg>& args) override {
    m_log.calls.push_back(m_name + (isMethod ? " call " : " get ") + std::to_string(dispid) + " (" + ArgsText(args) +
                          ")");
    if (dispid == m_log.failDispid) throw AutomationError(m_log.failDescription);
    static const std::pair<std::string, std::string> kChildren[] = {
        {"app", "workbooks"}, {"workbooks", "workbook"}, {"workbook", "worksheets"},
        {"worksheets", "worksheet"}, {"worksheet", "range"}};
    for (const auto& [parent, child] : kChildren) {
      if (parent == m_name) return std::make_unique<RecordingObject>(m_log, child);
    }
    return nullptr;
  }

  void InvokePut(int dispid, const std::vector<AutomationArg>& args) override {
    m_log.calls.push_back(m_name + " put " + std::to_string(dispid) + " (" + ArgsText(args) + ")");
  }

 private:
  ServerLog& m_log;
  std::string m_name;
};

class OpenExcelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_strModelPath.clear();
    // The report through automation, as the Windows build shows it, with a recording server.
    SetReportShower([this](const ReportWorkbook& report) {
      return ShowReportByAutomation(
          report,
          [this](const std::string& progId) -> std::unique_ptr<DispatchObject> {
            ++log.created;
            log.calls.push_back("create " + progId);
            log.storeUsableAtStart = rtest::ScratchStore::StoreUsable();
            if (!serverAvailable) return nullptr;
            return std::make_unique<RecordingObject>(log, "app");
          },
          [this](ExcelWorkbook&, const std::vector<const FormattedSheet*>& sheets) {
            for (const FormattedSheet* sheet : sheets) log.calls.push_back("add sheet " + sheet->name);
          });
    });
    view.onEnd = [this](int result) { log.calls.push_back("end " + std::to_string(result)); };
  }
  void TearDown() override { SetReportShower(nullptr); }

  // The calls of a completed report of the row given.
  static std::vector<std::string> CompletedCalls(const ParameterSet& row) {
    const ReportCells cells = BuildReportCells(row);
    std::vector<std::string> calls = {
        "create Excel.Application",
        "app put 558 (true)",
        "app get 572 ()",
        "workbooks call 181 ('')",
        "workbook get 494 ()",
        "worksheets get 170 ('sheet1')",
        "worksheet get 238 ()",
    };
    const std::string letters = "ABCDEFGHIJKLMNOPQR";
    for (std::size_t c = 0; c < kReportColumns; ++c) {
      calls.push_back("range put 170 ('1','" + letters.substr(c, 1) + "','" + cells.names[c] + "')");
    }
    for (std::size_t c = 0; c < kReportColumns; ++c) {
      calls.push_back("range put 170 ('2','" + letters.substr(c, 1) + "','" + cells.values[c] + "')");
    }
    calls.push_back("add sheet Sheet1");  // its page setup
    calls.push_back("add sheet 报告");
    calls.push_back("add sheet 阻抗谱");
    calls.push_back("add sheet 阻抗谱图");
    for (const char* name : {"range", "worksheet", "worksheets", "workbook", "workbooks", "app"}) {
      calls.push_back(std::string("release ") + name);
    }
    calls.push_back("end 1");
    return calls;
  }

  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  rtest::ScratchStore store;
  qtest::ScriptedView view;
  MainDialog dialog{view};
  ServerLog log;
  bool serverAvailable = true;
};

const ParameterSet kOlderRow = {"1e-6", "2", "50", "2e-5", "0.8", "600", "1e-4", "0.7", "30", "5e-3", "0.5"};
const ParameterSet kLastRow = {"1.2E-7", "4.75", "100", "1e-5", "1", "", "0.5", "0.9", "3210.5", "4.56E-4", "0.62"};

TEST_F(OpenExcelTest, CompletedReportWritesTheLastRowAndEndsTheDialogWithoutImport) {
  store.Append(kOlderRow);
  store.Append(kLastRow);

  dialog.OnCommand(IDC_BUTTON_EXCEL);

  // The empty path box asks first; OK goes on with the stored data after the warning.
  ASSERT_EQ(boxes.Boxes().size(), 2u) << ::testing::PrintToString(boxes.Texts());
  EXPECT_EQ(boxes.Boxes()[0].caption, "信息提示!");
  EXPECT_EQ(boxes.Boxes()[0].type, kMbOkCancel);
  EXPECT_EQ(boxes.Boxes()[1].text, "本次打开是数据来自上次导入的mdl文件");
  EXPECT_EQ(boxes.Boxes()[1].caption, "警告!");

  EXPECT_EQ(log.calls, CompletedCalls(kLastRow));
  EXPECT_TRUE(log.storeUsableAtStart) << "the table must be closed before the spreadsheet starts";
  EXPECT_EQ(view.endResults, std::vector<int>{kIdOk});
  // The base OK action ends the dialog; the import (OK's own action) did not run.
  EXPECT_FALSE(dialog.m_bImported);
  EXPECT_EQ(qtest::RowCount(store.dir.Dir() + kStoreFileName), 2);
}

TEST_F(OpenExcelTest, CancelOnTheQuestionReadsAndStartsNothing) {
  store.Append(kLastRow);
  boxes.Answer(kIdCancel);

  dialog.OnCommand(IDC_BUTTON_EXCEL);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "信息提示!");
  EXPECT_EQ(log.created, 0);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_TRUE(rtest::ScratchStore::StoreUsable()) << "nothing may have been opened";
  EXPECT_TRUE(view.endResults.empty());
}

TEST_F(OpenExcelTest, ServerThatCannotBeCreatedEndsTheProgramWithStatusOne) {
  store.Append(kLastRow);
  serverAvailable = false;

  try {
    dialog.OnCommand(IDC_BUTTON_EXCEL);
    FAIL() << "the program must end";
  } catch (const qtest::ProcessExit& exit) {
    EXPECT_EQ(exit.status, 1);
  }
  ASSERT_EQ(boxes.Boxes().size(), 3u);
  const qtest::ShownBox& box = boxes.Boxes()[2];
  EXPECT_EQ(box.kind, qtest::BoxKind::Dialog);
  EXPECT_EQ(box.text, "创建Excel服务失败!");
  EXPECT_EQ(box.caption, "信息提示");
  EXPECT_EQ(box.type, kMbOk);
  EXPECT_TRUE(log.storeUsableAtStart);
  // The program ends without closing the dialog.
  EXPECT_TRUE(view.endResults.empty());
}

TEST_F(OpenExcelTest, MissingSheetIsReportedAndTheDialogStaysOpen) {
  store.Append(kLastRow);
  log.failDispid = kDispItem;
  log.failDescription = "下标越界。";

  dialog.OnCommand(IDC_BUTTON_EXCEL);

  // The server's description, in the application's message box.
  ASSERT_EQ(boxes.Boxes().size(), 3u);
  EXPECT_EQ(boxes.Boxes()[2].kind, qtest::BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[2].text, "下标越界。");
  // Nothing written; the references held so far released, the last obtained first.
  const std::vector<std::string> expected = {
      "create Excel.Application", "app put 558 (true)", "app get 572 ()", "workbooks call 181 ('')",
      "workbook get 494 ()", "worksheets get 170 ('sheet1')",
      "release worksheets", "release workbook", "release workbooks", "release app",
  };
  EXPECT_EQ(log.calls, expected);
  EXPECT_TRUE(view.endResults.empty());
  EXPECT_TRUE(rtest::ScratchStore::StoreUsable());

  // The command can be run again, and then completes.
  log = ServerLog{};
  boxes.Clear();
  dialog.OnCommand(IDC_BUTTON_EXCEL);
  EXPECT_EQ(log.calls, CompletedCalls(kLastRow));
  EXPECT_EQ(view.endResults, std::vector<int>{kIdOk});
}

TEST_F(OpenExcelTest, EmptyTableReportsTheStoreFailureAndStartsNothing) {
  dialog.OnCommand(IDC_BUTTON_EXCEL);

  ASSERT_EQ(boxes.Boxes().size(), 3u) << ::testing::PrintToString(boxes.Texts());
  EXPECT_EQ(boxes.Boxes()[2].kind, qtest::BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[2].text, std::string("参数历史中还没有数据，请先导入模型文件"));
  EXPECT_EQ(log.created, 0);
  EXPECT_TRUE(view.endResults.empty());
  // The failed read leaves the table usable: an import can follow.
  EXPECT_TRUE(rtest::ScratchStore::StoreUsable());
  store.Append(kLastRow);
  EXPECT_EQ(qtest::RowCount(store.dir.Dir() + kStoreFileName), 1);
}

TEST_F(OpenExcelTest, ModelFileFromTheCommandLineIsImportedFirst) {
  store.Append(kOlderRow);
  const ParameterSet fileValues = {"2.5E-7", "3.1", "120", "2.2E-5", "0.91", "800", "3.3E-4", "0.75", "45",
                                   "1.1E-2", "0.55"};
  const std::filesystem::path model = store.dir.Path() / "cell.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText({fileValues.begin(), fileValues.end()}));
  dialog.m_strPath = model.string();
  dialog.m_bFromCommandLine = true;
  g_strModelPath = model.string();

  dialog.OnCommand(IDC_BUTTON_EXCEL);

  EXPECT_TRUE(dialog.m_bImported);
  EXPECT_EQ(qtest::RowCount(store.dir.Dir() + kStoreFileName), 2);
  EXPECT_EQ(log.calls, CompletedCalls(fileValues));
  EXPECT_EQ(view.endResults, std::vector<int>{kIdOk});
}

}  // namespace
