// The main dialog driven through a scripted view, over a real store in a temporary program directory
// and real model files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "app/globals.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "res/resource.h"
#include "store/store.h"
#include "tests/support/scripted_view.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

using qtest::BoxKind;
using qtest::ScriptedMessageBoxes;
using qtest::ScriptedView;
using qtest::StoreRows;
using qtest::TempDir;
using qtest::TestPlatform;

const std::vector<std::string> kFirstValues = {"1.1E-07", "0.0123", "0.0045", "3.3E-05", "0.81", "0.0231",
                                               "12.5",    "0.91",   "0.1034", "356.7",   "0.65"};
const std::vector<std::string> kSecondValues = {"2E-07", "0.02", "0.03", "4E-05", "0.7", "0.04",
                                                "5.5",   "0.88", "0.2",  "100",   "0.5"};

const char* const kQuestion =
    "您没有导入-mdl-文件\r\n\r\n单击-*确定*-继续打开上次导入的mdl文件数据\r\n\r\n单击-*取消*-返回!\r\n";

// A dialog whose import can be replaced, to see how the dispatch reports what a command leaves
// unhandled.
class ReplacedOkDialog : public MainDialog {
 public:
  using MainDialog::MainDialog;
  std::function<void()> onOk;
  void OnOK() override { onOk(); }
};

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.moduleFileName = program.Dir() + "qelmora";
    platform.systemDirectory = system.Path().string();
    ASSERT_NO_THROW(CreateParameterStore(program.Dir()));
  }

  void TearDown() override {
    CloseParameterStore();
    g_strModelPath.clear();
    g_strModelFileName.clear();
  }

  std::string WriteModel(const std::string& name, const std::vector<std::string>& values) {
    const std::filesystem::path path = models.Path() / name;
    qtest::WriteFileBytes(path, qtest::ModelText(values));
    return path.string();
  }

  std::string RecordPath() const { return (system.Path() / "121125.stp").string(); }

  TempDir program;
  TempDir system;
  TempDir models;
  TestPlatform platform;
  ScriptedMessageBoxes boxes;
  ScriptedView view{boxes};
  MainDialog dialog{view};
};

// ---- Start-up -----------------------------------------------------------------------------------

TEST_F(MainDialogTest, StartWithoutArgumentLeavesEverythingEmptyAndOpensTheStore) {
  ASSERT_TRUE(dialog.OnInitDialog());

  EXPECT_EQ(view.pathText, "");
  EXPECT_FALSE(dialog.m_bFromCommandLine);
  EXPECT_FALSE(dialog.m_bImported);
  EXPECT_EQ(g_strModelPath, "");
  EXPECT_EQ(view.aboutItems, std::vector<std::string>{"关于 qelmora(&A)..."});
  EXPECT_EQ(view.iconsSet, 1);
  EXPECT_TRUE(ParameterStoreConnected());
  EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Texts().front();
  EXPECT_TRUE(StoreRows(program.Dir()).empty());
}

TEST_F(MainDialogTest, StartWithPathTakesItUncheckedAndImportsNothing) {
  const std::string named = models.Dir() + "not-there.mdl";
  dialog.m_strPath = named;
  ASSERT_TRUE(dialog.OnInitDialog());

  EXPECT_EQ(view.pathText, named);
  EXPECT_TRUE(dialog.m_bFromCommandLine);
  EXPECT_FALSE(dialog.m_bImported);
  EXPECT_EQ(g_strModelPath, named);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(StoreRows(program.Dir()).empty());
}

TEST_F(MainDialogTest, LocationRecordHoldsThePathThenZerosAndIsRewrittenShorter) {
  // A long program path first ...
  platform.moduleFileName = program.Dir() + std::string(600, 'x');
  ASSERT_TRUE(dialog.OnInitDialog());
  std::string record = qtest::ReadFileBytes(RecordPath());
  ASSERT_EQ(record.size(), 1000u);
  EXPECT_EQ(record.substr(0, platform.moduleFileName.size()), platform.moduleFileName);
  EXPECT_EQ(record.find_first_not_of('\0', platform.moduleFileName.size()), std::string::npos);

  // ... then a shorter one: nothing of the old path survives behind the new one.
  platform.moduleFileName = program.Dir() + "qelmora";
  MainDialog again(view);
  ASSERT_TRUE(again.OnInitDialog());
  record = qtest::ReadFileBytes(RecordPath());
  ASSERT_EQ(record.size(), 1000u);
  EXPECT_EQ(record.substr(0, platform.moduleFileName.size()), platform.moduleFileName);
  EXPECT_EQ(record.find_first_not_of('\0', platform.moduleFileName.size()), std::string::npos);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(MainDialogTest, LocationRecordTakesAPathOf999BytesButRefusesOneOf1000) {
  const std::string longest = program.Dir() + std::string(999 - program.Dir().size(), 'a');
  ASSERT_EQ(longest.size(), 999u);
  platform.moduleFileName = longest;
  ASSERT_TRUE(dialog.OnInitDialog());
  EXPECT_EQ(qtest::ReadFileBytes(RecordPath()), longest + '\0');
  EXPECT_TRUE(boxes.Boxes().empty());

  // One byte more cannot be held with its terminator: refused, not cut, and the old record is left.
  platform.moduleFileName = longest + "a";
  MainDialog again(view);
  ASSERT_TRUE(again.OnInitDialog());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "error(stp)");
  EXPECT_EQ(qtest::ReadFileBytes(RecordPath()), longest + '\0');
  // The rest of the start-up still ran: the store beside the program is open.
  EXPECT_TRUE(ParameterStoreConnected());
}

TEST_F(MainDialogTest, UnwritableLocationRecordIsReportedOnceAndStartUpGoesOn) {
  // A file where the directory should be: the record cannot be created (whatever the user's rights).
  qtest::WriteFileBytes(models.Path() / "plain-file", "x");
  platform.systemDirectory = (models.Path() / "plain-file").string();
  std::filesystem::create_directories(program.Path() / "sim");
  qtest::WriteFileBytes(program.Path() / "sim" / "Kambrisolve.exe", "MZ");
  const std::string named = WriteModel("a.mdl", kFirstValues);
  dialog.m_strPath = named;

  EXPECT_TRUE(dialog.OnInitDialog());

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Dialog);
  EXPECT_EQ(boxes.Boxes()[0].text, "error(stp)");
  EXPECT_EQ(boxes.Boxes()[0].caption, "error indication!");
  EXPECT_EQ(boxes.Boxes()[0].type, static_cast<unsigned>(kMbOk));
  // Flags, model path, store and transfer button as after a normal start.
  EXPECT_TRUE(dialog.m_bFromCommandLine);
  EXPECT_EQ(g_strModelPath, named);
  EXPECT_TRUE(ParameterStoreConnected());
  EXPECT_EQ(view.transferCalls, std::vector<bool>{true});

  // And the dialog works: OK imports the file.
  boxes.Clear();
  dialog.OnCommand(kIdOk);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_EQ(StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kFirstValues});
}

TEST_F(MainDialogTest, UnknownProgramPathIsNeverUsedAsAnEmptyPath) {
  // The current directory holds a store and a simulator: an empty program path would find both.
  ASSERT_NO_THROW(CreateParameterStore(models.Dir()));
  std::filesystem::create_directories(models.Path() / "sim");
  qtest::WriteFileBytes(models.Path() / "sim" / "Kambrisolve.exe", "MZ");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(models.Path());
  platform.moduleFileNameUnknown = true;

  const bool started = dialog.OnInitDialog();
  std::filesystem::current_path(before);

  EXPECT_TRUE(started);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text, "error(stp)");
  EXPECT_EQ(boxes.Boxes()[1].kind, BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[1].text, kProgramPathUnknownText);
  EXPECT_FALSE(std::filesystem::exists(RecordPath()));
  EXPECT_FALSE(ParameterStoreConnected());  // no store of the current directory was opened
  EXPECT_EQ(view.transferCalls, std::vector<bool>{false});

  // The dialog still closes.
  dialog.OnCommand(kIdCancel);
  EXPECT_TRUE(view.ended);
}

TEST_F(MainDialogTest, TransferButtonFollowsTheSimulationProgram) {
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> prepare;
    bool visible;
  };
  const Case cases[] = {
      {"no sim folder", [](const std::filesystem::path&) {}, false},
      {"empty sim folder", [](const std::filesystem::path& dir) { std::filesystem::create_directories(dir / "sim"); },
       false},
      {"program present",
       [](const std::filesystem::path& dir) {
         std::filesystem::create_directories(dir / "sim");
         qtest::WriteFileBytes(dir / "sim" / "Kambrisolve.exe", "MZ");
       },
       true},
      {"directory of that name",
       [](const std::filesystem::path& dir) { std::filesystem::create_directories(dir / "sim" / "Kambrisolve.exe"); },
       true},
      {"other name in sim",
       [](const std::filesystem::path& dir) {
         std::filesystem::create_directories(dir / "sim");
         qtest::WriteFileBytes(dir / "sim" / "kambrisolve.exe", "MZ");
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
    c.prepare(dir.Path());
    platform.moduleFileName = dir.Dir() + "qelmora";
    ScriptedView caseView(boxes);
    MainDialog caseDialog(caseView);
    ASSERT_TRUE(caseDialog.OnInitDialog());
    EXPECT_EQ(caseView.transferCalls, std::vector<bool>{c.visible});
    CloseParameterStore();
  }
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(MainDialogTest, MissingDatabaseIsReportedAndTheDialogStillComesUpAndCloses) {
  TempDir bare;
  std::filesystem::create_directories(bare.Path() / "sim" / "Kambrisolve.exe");
  platform.moduleFileName = bare.Dir() + "qelmora";
  // No store beside the program, and none can be made in the user's data directory either.
  qtest::WriteFileBytes(bare.Path() / "file", "x");
  qtest::ScopedEnv dataHome("XDG_DATA_HOME", (bare.Path() / "file" / "share").string());

  EXPECT_TRUE(dialog.OnInitDialog());

  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].kind, BoxKind::App);
  const std::string prefix = "连接数据库失败!\r\n错误信息：";
  EXPECT_EQ(boxes.Boxes()[1].text.substr(0, prefix.size()), prefix);
  EXPECT_GT(boxes.Boxes()[1].text.size(), prefix.size());
  EXPECT_FALSE(ParameterStoreConnected());
  EXPECT_EQ(view.transferCalls, std::vector<bool>{true});

  // Cancel with a connection that never opened: the dialog closes, silently.
  boxes.Clear();
  dialog.OnCommand(kIdCancel);
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(view.endResult, kIdCancel);
  EXPECT_TRUE(boxes.Boxes().empty());
}

// ---- Import (OK) and the two flags ----------------------------------------------------------------

TEST_F(MainDialogTest, OkWithEmptyPathShowsTheEmptyPathThenAsksForAFileAndImportsNothing) {
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.OnCommand(kIdOk);

  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[0].text, "");
  EXPECT_EQ(boxes.Boxes()[1].kind, BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[1].text, "请查找mdl文件!");
  EXPECT_FALSE(dialog.m_bImported);
  EXPECT_FALSE(view.ended);
  EXPECT_TRUE(StoreRows(program.Dir()).empty());

  // The path box is still empty, so the pre-command rule still asks its question.
  boxes.Clear();
  boxes.Answer(kIdCancel);
  EXPECT_FALSE(dialog.PrepareDataSource());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, kQuestion);
}

TEST_F(MainDialogTest, OkWithCommandLinePathImportsWithoutShowingThePath) {
  dialog.m_strPath = WriteModel("cl.mdl", kFirstValues);
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.OnCommand(kIdOk);

  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_TRUE(dialog.m_bImported);
  EXPECT_TRUE(dialog.m_bFromCommandLine);
  EXPECT_FALSE(view.ended);
  EXPECT_EQ(StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kFirstValues});

  // The same file again: a second, identical row.
  boxes.Clear();
  dialog.OnCommand(kIdOk);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_EQ(StoreRows(program.Dir()), (std::vector<std::vector<std::string>>{kFirstValues, kFirstValues}));
}

TEST_F(MainDialogTest, OkWithChosenFileShowsTheFullPathFirst) {
  ASSERT_TRUE(dialog.OnInitDialog());
  const std::string chosen = WriteModel("chosen.mdl", kSecondValues);
  view.fileAnswers.push_back(OpenFileResult{chosen, "chosen.mdl"});
  dialog.OnCommand(IDC_BUTTON_BROWSE);
  ASSERT_TRUE(boxes.Boxes().empty());
  EXPECT_FALSE(dialog.m_bFromCommandLine);
  EXPECT_FALSE(dialog.m_bImported);

  dialog.OnCommand(kIdOk);
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{chosen, "插入成功!"}));
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::App);
  EXPECT_TRUE(dialog.m_bImported);
  EXPECT_EQ(StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kSecondValues});
}

TEST_F(MainDialogTest, UnreadableModelFileEndsTheCommandWithAReportAndTheDialogStaysUsable) {
  const std::string missing = models.Dir() + "gone.mdl";
  dialog.m_strPath = missing;
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.OnCommand(kIdOk);

  ASSERT_FALSE(boxes.Boxes().empty());
  EXPECT_EQ(boxes.Boxes().back().kind, BoxKind::App);
  EXPECT_EQ(boxes.Boxes().back().text, FileException(FileException::fileNotFound, missing).ReportText());
  EXPECT_FALSE(dialog.m_bImported);  // the failed read skipped the last step
  EXPECT_FALSE(view.ended);
  EXPECT_TRUE(StoreRows(program.Dir()).empty());

  // The next import works.
  boxes.Clear();
  g_strModelPath = WriteModel("good.mdl", kFirstValues);
  dialog.OnCommand(kIdOk);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_TRUE(dialog.m_bImported);
  EXPECT_EQ(StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kFirstValues});
}

TEST_F(MainDialogTest, DispatchReportsWhatACommandLeavesUnhandledAndGoesOn) {
  ReplacedOkDialog replaced(view);
  ASSERT_TRUE(replaced.OnInitDialog());

  replaced.onOk = [] { throw StoreError("参数数据库中没有表 table1"); };
  replaced.OnCommand(kIdOk);
  replaced.onOk = [] { throw FileException(FileException::sharingViolation, "/m/x.mdl"); };
  replaced.OnCommand(kIdOk);
  replaced.onOk = [] { throw std::runtime_error("out of paper"); };
  replaced.OnCommand(kIdOk);

  ASSERT_EQ(boxes.Boxes().size(), 3u);
  EXPECT_EQ(boxes.Boxes()[0].text, "参数数据库中没有表 table1");
  EXPECT_EQ(boxes.Boxes()[1].text, FileException(FileException::sharingViolation, "/m/x.mdl").ReportText());
  EXPECT_EQ(boxes.Boxes()[2].text, "out of paper");
  for (const auto& box : boxes.Boxes()) EXPECT_EQ(box.kind, BoxKind::App);
  EXPECT_FALSE(view.ended);

  // OK reached the replaced import through the virtual slot; Cancel still ends the dialog.
  replaced.OnCommand(kIdCancel);
  EXPECT_TRUE(view.ended);
}

// ---- The pre-command rule of "OpenExcel" and "Transfer data" --------------------------------------

TEST_F(MainDialogTest, NoPathAsksAndCancelEndsSilently) {
  ASSERT_TRUE(dialog.OnInitDialog());
  boxes.Answer(kIdCancel);
  EXPECT_FALSE(dialog.PrepareDataSource());

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::Dialog);
  EXPECT_EQ(boxes.Boxes()[0].text, kQuestion);
  EXPECT_EQ(boxes.Boxes()[0].caption, "信息提示!");
  EXPECT_EQ(boxes.Boxes()[0].type, static_cast<unsigned>(kMbOkCancel));
  EXPECT_FALSE(dialog.m_bImported);
  EXPECT_TRUE(StoreRows(program.Dir()).empty());
}

TEST_F(MainDialogTest, NoPathAnsweredOkWarnsAndGoesOnWithStoredData) {
  ASSERT_TRUE(dialog.OnInitDialog());
  boxes.Answer(kIdOk);
  EXPECT_TRUE(dialog.PrepareDataSource());

  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "信息提示!");
  EXPECT_EQ(boxes.Boxes()[1].kind, BoxKind::Dialog);
  EXPECT_EQ(boxes.Boxes()[1].text, "本次打开是数据来自上次导入的mdl文件");
  EXPECT_EQ(boxes.Boxes()[1].caption, "警告!");
  EXPECT_EQ(boxes.Boxes()[1].type, static_cast<unsigned>(kMbOk));
  EXPECT_FALSE(dialog.m_bImported);  // nothing was imported
  EXPECT_TRUE(StoreRows(program.Dir()).empty());
}

TEST_F(MainDialogTest, CommandLineFileIsImportedOnceBeforeAnythingIsAsked) {
  dialog.m_strPath = WriteModel("cl.mdl", kFirstValues);
  ASSERT_TRUE(dialog.OnInitDialog());

  EXPECT_TRUE(dialog.PrepareDataSource());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_TRUE(dialog.m_bImported);
  EXPECT_EQ(StoreRows(program.Dir()).size(), 1u);

  // A second command does not import again.
  boxes.Clear();
  EXPECT_TRUE(dialog.PrepareDataSource());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(StoreRows(program.Dir()).size(), 1u);
}

TEST_F(MainDialogTest, AFailedImportEndsTheCommandThatRanItAndOkWithAGoodFileStillWorks) {
  // An older row that a command must not fall back on.
  dialog.m_strPath = WriteModel("old.mdl", kSecondValues);
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.OnCommand(kIdOk);
  ASSERT_EQ(StoreRows(program.Dir()).size(), 1u);

  // A command-line file with an element name that has no column: the store refuses it.
  const std::string bad = models.Dir() + "bad.mdl";
  qtest::WriteFileBytes(bad, qtest::CrLfLines({"Element 0 Type: 1", "  Name: Rx", "  Fixed: N", "  Value: 5",
                                               "  Limits: none", "End"}));
  MainDialog fresh(view);
  fresh.m_strPath = bad;
  ASSERT_TRUE(fresh.OnInitDialog());
  boxes.Clear();
  fresh.OnCommand(IDC_BUTTON_TRANSFER);
  EXPECT_FALSE(fresh.m_bImported);
  EXPECT_FALSE(view.ended);
  const std::vector<std::string> shown = boxes.Texts();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(std::count(shown.begin(), shown.end(), std::string("插入成功!")), 0);
  EXPECT_EQ(StoreRows(program.Dir()).size(), 1u);

  // The rule runs the import again for the next command, and stops again.
  boxes.Clear();
  EXPECT_FALSE(fresh.PrepareDataSource());
  EXPECT_FALSE(boxes.Texts().empty());

  // OK with a good file works as before, and then the rule lets the command go on.
  boxes.Clear();
  g_strModelPath = WriteModel("good.mdl", kFirstValues);
  fresh.OnCommand(kIdOk);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_TRUE(fresh.m_bImported);
  boxes.Clear();
  EXPECT_TRUE(fresh.PrepareDataSource());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(StoreRows(program.Dir()), (std::vector<std::vector<std::string>>{kSecondValues, kFirstValues}));
}

TEST_F(MainDialogTest, AfterOkTheRuleDoesNotImportTheCommandLineFileAgain) {
  dialog.m_strPath = WriteModel("cl.mdl", kFirstValues);
  ASSERT_TRUE(dialog.OnInitDialog());
  dialog.OnCommand(kIdOk);
  boxes.Clear();

  EXPECT_TRUE(dialog.PrepareDataSource());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(StoreRows(program.Dir()).size(), 1u);
}

TEST_F(MainDialogTest, ChosenFileIsImportedByTheRuleUntilOneImportHasRun) {
  ASSERT_TRUE(dialog.OnInitDialog());
  const std::string first = WriteModel("first.mdl", kFirstValues);
  const std::string second = WriteModel("second.mdl", kSecondValues);

  view.fileAnswers.push_back(OpenFileResult{first, "first.mdl"});
  dialog.OnCommand(IDC_BUTTON_BROWSE);
  EXPECT_TRUE(dialog.PrepareDataSource());
  // Not from the command line: the import shows the path first.
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{first, "插入成功!"}));
  EXPECT_TRUE(dialog.m_bImported);

  // Imported: a newly chosen file is not imported by the rule, the first file's row stays current.
  boxes.Clear();
  view.fileAnswers.push_back(OpenFileResult{second, "second.mdl"});
  dialog.OnCommand(IDC_BUTTON_BROWSE);
  EXPECT_TRUE(dialog.PrepareDataSource());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_FALSE(dialog.m_bFromCommandLine);
  EXPECT_EQ(StoreRows(program.Dir()), std::vector<std::vector<std::string>>{kFirstValues});

  // Only OK imports it.
  dialog.OnCommand(kIdOk);
  EXPECT_EQ(StoreRows(program.Dir()), (std::vector<std::vector<std::string>>{kFirstValues, kSecondValues}));
}

// ---- Cancel, Esc and the window's close button ----------------------------------------------------

TEST_F(MainDialogTest, CancelClosesTheStoreAndEndsTheDialog) {
  ASSERT_TRUE(dialog.OnInitDialog());
  // The store serves a command before Cancel ...
  ASSERT_TRUE(ParameterStoreConnected());
  ASSERT_NO_THROW(TheParameterStore().StartRow()->Drop());

  dialog.OnCommand(kIdCancel);
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(view.endResult, kIdCancel);
  EXPECT_TRUE(boxes.Boxes().empty());
  // ... and none after it.
  EXPECT_FALSE(ParameterStoreConnected());
}

TEST_F(MainDialogTest, CancelWithoutStoreObjectsStillEndsTheDialog) {
  // The store objects were never created (no initialisation ran): Close goes through an empty pointer.
  dialog.OnCommand(kIdCancel);
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(view.endResult, kIdCancel);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(MainDialogTest, BaseOkActionTakesThePathBoxAndEndsWithOk) {
  ASSERT_TRUE(dialog.OnInitDialog());
  view.pathText = "/shown/in/box.mdl";
  dialog.EndDialogOk();
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(view.endResult, kIdOk);
  EXPECT_EQ(dialog.m_strPath, "/shown/in/box.mdl");
  EXPECT_TRUE(StoreRows(program.Dir()).empty());  // it does not import
  EXPECT_TRUE(boxes.Boxes().empty());
}

// ---- System menu --------------------------------------------------------------------------------

TEST_F(MainDialogTest, AboutCommandShowsTheAboutBoxOthersGoToDefaultProcessing) {
  EXPECT_TRUE(dialog.OnSysCommand(IDM_ABOUTBOX));
  EXPECT_TRUE(dialog.OnSysCommand(IDM_ABOUTBOX | 0x000F));  // the low four bits are the system's
  EXPECT_EQ(view.aboutBoxes, 2);
  EXPECT_FALSE(dialog.OnSysCommand(0xF060));  // SC_CLOSE
  EXPECT_FALSE(dialog.OnSysCommand(0x0020));
  EXPECT_EQ(view.aboutBoxes, 2);
}

// ---- File choice ("...") ------------------------------------------------------------------------

class BrowseTest : public MainDialogTest {
 protected:
  // The title of the Open dialog for a program in the directory given (ending in '/').
  std::string TitleFor(const std::string& directory) {
    platform.moduleFileName = directory + "qelmora";
    view.fileAnswers.push_back(std::nullopt);
    dialog.OnBrowse();
    return view.fileRequests.back().title;
  }
};

TEST_F(BrowseTest, RequestIsAnOpenDialogForModelFiles) {
  dialog.OnBrowse();
  ASSERT_EQ(view.fileRequests.size(), 1u);
  const OpenFileRequest& request = view.fileRequests[0];
  EXPECT_EQ(request.defaultExtension, "txt");
  const std::vector<std::pair<std::string, std::string>> filters = {{"FILE(*.mdl)", "*.mdl"},
                                                                    {"FILE(*.*)", "*.*"}};
  EXPECT_EQ(request.filters, filters);
}

TEST_F(BrowseTest, TitleIsTheProgramDirectoryShortenedTo40Bytes) {
  EXPECT_EQ(TitleFor("/Tools/Circuit/"), "/Tools/Circuit/");

  const std::string forty = "/" + std::string(38, 'd') + "/";
  ASSERT_EQ(forty.size(), 40u);
  EXPECT_EQ(TitleFor(forty), forty);

  const std::string fortyOne = "/a" + std::string(38, 'd') + "/";
  ASSERT_EQ(fortyOne.size(), 41u);
  EXPECT_EQ(TitleFor(fortyOne), "..." + fortyOne.substr(4));
  EXPECT_EQ(TitleFor(fortyOne).size(), 40u);

  const std::string deep = "/opt/instruments/impedance/analysis/tools/qelmora/bin/";
  EXPECT_EQ(TitleFor(deep), "..." + deep.substr(deep.size() - 37));
}

TEST_F(BrowseTest, TitleIsNeverCutInsideACharacter) {
  // "阻抗谱": three characters of three bytes each. The last 37 bytes of this 48-byte directory begin
  // with the second byte of "阻"; the title starts with the next whole character instead.
  const std::string directory = "/pppppppp/阻抗谱/" + std::string(27, 'q') + "/";
  ASSERT_EQ(directory.size(), 48u);
  ASSERT_EQ(static_cast<unsigned char>(directory[directory.size() - 37]) & 0xC0, 0x80);

  const std::string title = TitleFor(directory);
  EXPECT_EQ(title, "...抗谱/" + std::string(27, 'q') + "/");
  EXPECT_EQ(title.size(), 38u);

  // A cut that falls on the first byte of a character keeps it whole: 40 bytes.
  const std::string onBoundary = "/pppppppp/阻抗谱/" + std::string(26, 'q') + "/";
  ASSERT_EQ(onBoundary.size(), 47u);
  EXPECT_EQ(TitleFor(onBoundary), "...阻抗谱/" + std::string(26, 'q') + "/");
  EXPECT_EQ(TitleFor(onBoundary).size(), 40u);
}

TEST_F(BrowseTest, ExistingFileIsTakenSilently) {
  ASSERT_TRUE(dialog.OnInitDialog());
  const std::string chosen = WriteModel("fit.mdl", kFirstValues);
  view.fileAnswers.push_back(OpenFileResult{chosen, "fit.mdl"});
  dialog.OnBrowse();

  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(g_strModelPath, chosen);
  EXPECT_EQ(g_strModelFileName, "fit.mdl");
  EXPECT_EQ(dialog.m_strPath, chosen);
  EXPECT_EQ(view.pathText, chosen);
  EXPECT_FALSE(dialog.m_bImported);
  EXPECT_FALSE(dialog.m_bFromCommandLine);
  EXPECT_TRUE(StoreRows(program.Dir()).empty());  // choosing imports nothing
}

TEST_F(BrowseTest, MissingFileIsNamedAndTakenAllTheSame) {
  ASSERT_TRUE(dialog.OnInitDialog());
  const std::string typed = models.Dir() + "abc.txt";
  view.fileAnswers.push_back(OpenFileResult{typed, "abc.txt"});
  dialog.OnBrowse();

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].kind, BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[0].text, "无法找到文件：abc.txt");
  EXPECT_EQ(g_strModelPath, typed);
  EXPECT_EQ(view.pathText, typed);
}

TEST_F(BrowseTest, CancelLeavesEverythingAsItWas) {
  dialog.m_strPath = WriteModel("cl.mdl", kFirstValues);
  ASSERT_TRUE(dialog.OnInitDialog());
  g_strModelFileName = "earlier.mdl";
  const std::string before = g_strModelPath;

  view.fileAnswers.push_back(std::nullopt);
  dialog.OnBrowse();

  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(g_strModelPath, before);
  EXPECT_EQ(g_strModelFileName, "earlier.mdl");
  EXPECT_EQ(view.pathText, before);
  EXPECT_EQ(dialog.m_strPath, before);
  EXPECT_TRUE(dialog.m_bFromCommandLine);
}

}  // namespace
