// The application object: the command line's file name and the modal run of the main dialog, with a
// scripted view in place of the toolkit.
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/viewer_app.h"
#include "store/store.h"
#include "tests/support/scripted_view.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

// The view that InitInstance creates: hands every call to the test's scripted view, which outlives it.
class ForwardingView final : public MainDialogView {
 public:
  explicit ForwardingView(MainDialogView& target) : m_target(target) {}
  int AppMessageBox(const std::string& text, unsigned type) override { return m_target.AppMessageBox(text, type); }
  int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_target.DialogMessageBox(text, caption, type);
  }
  int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    return m_target.OwnerlessMessageBox(text, caption, type);
  }
  int DoModal(MainDialog& dialog) override { return m_target.DoModal(dialog); }
  std::string GetPathText() override { return m_target.GetPathText(); }
  void SetPathText(const std::string& text) override { m_target.SetPathText(text); }
  void ShowTransferButton(bool show) override { m_target.ShowTransferButton(show); }
  void EndDialog(int result) override { m_target.EndDialog(result); }
  bool AddAboutMenuItem(const std::string& text) override { return m_target.AddAboutMenuItem(text); }
  void SetIcons() override { m_target.SetIcons(); }
  void ShowAboutBox() override { m_target.ShowAboutBox(); }
  std::optional<OpenFileResult> ShowOpenFileDialog(const OpenFileRequest& request) override {
    return m_target.ShowOpenFileDialog(request);
  }

 private:
  MainDialogView& m_target;
};

qtest::ScriptedView* g_pScriptedView = nullptr;
MainDialogView* g_pCreatedView = nullptr;

}  // namespace

std::unique_ptr<MainDialogView> CreateMainDialogView() {
  auto view = std::make_unique<ForwardingView>(*g_pScriptedView);
  g_pCreatedView = view.get();
  return view;
}

namespace {

TEST(CommandLineFileName, FirstArgumentThatIsNoOptionIsTheFile) {
  EXPECT_EQ(CommandLineFileName({}), "");
  EXPECT_EQ(CommandLineFileName({"-x", "--verbose"}), "");
  EXPECT_EQ(CommandLineFileName({"a.mdl", "b.mdl"}), "a.mdl");
  EXPECT_EQ(CommandLineFileName({"-dde", "b.mdl", "c.mdl"}), "b.mdl");
  // An empty argument names no file.
  EXPECT_EQ(CommandLineFileName({"", "d.mdl"}), "d.mdl");
  // Names with spaces and Chinese characters come through whole.
  EXPECT_EQ(CommandLineFileName({"我的 模型.mdl"}), "我的 模型.mdl");
}

TEST(CommandLineFileName, AbsolutePathIsAFileOnLinux) {
  // Every absolute path on Linux begins with "/": there it cannot mark an option.
  EXPECT_EQ(CommandLineFileName({"/home/u/fit.mdl"}), "/home/u/fit.mdl");
  EXPECT_EQ(CommandLineFileName({"-p", "/data/x.mdl", "/data/y.mdl"}), "/data/x.mdl");
}

class ViewerAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.moduleFileName = program.Dir() + "qelmora";
    platform.systemDirectory = system.Path().string();
    ASSERT_NO_THROW(CreateParameterStore(program.Dir()));
    g_pScriptedView = &view;
  }
  void TearDown() override {
    g_pScriptedView = nullptr;
    CloseParameterStore();
    g_strModelPath.clear();
  }

  qtest::TempDir program;
  qtest::TempDir system;
  qtest::TestPlatform platform;
  qtest::ScriptedMessageBoxes boxes;
  qtest::ScriptedView view{boxes};
};

TEST_F(ViewerAppTest, RunsTheDialogWithTheCommandLineFileAndItsMessageBoxes) {
  const std::string model = program.Dir() + "fit.mdl";
  const std::vector<std::string> values = {"1E-07", "0.01", "0.02", "3E-05", "0.8", "0.03",
                                           "4E-04", "0.7",  "0.04", "5E-03", "0.6"};
  qtest::WriteFileBytes(model, qtest::ModelText(values));
  view.commands = {kIdOk, kIdCancel};

  EXPECT_FALSE(theApp.InitInstance({"-embedding", model, "ignored.mdl"}));

  EXPECT_EQ(view.modalRuns, 1);
  EXPECT_EQ(view.pathText, model);
  EXPECT_EQ(g_strModelPath, model);
  // During the run the view shows the message boxes; afterwards it is gone from the sink.
  EXPECT_EQ(view.sinkDuringModal, g_pCreatedView);
  EXPECT_NE(&AfxGetMessageBoxes(), g_pCreatedView);
  // OK imported the file from the command line without showing its path, then Cancel ended the run.
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"插入成功!"});
  EXPECT_EQ(qtest::StoreRows(program.Dir()), std::vector<std::vector<std::string>>{values});
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(view.endResult, kIdCancel);
}

TEST_F(ViewerAppTest, WithoutFileThePathBoxStaysEmpty) {
  view.commands = {kIdCancel};
  EXPECT_FALSE(theApp.InitInstance({"-x"}));
  EXPECT_EQ(view.modalRuns, 1);
  EXPECT_EQ(view.pathText, "");
  EXPECT_EQ(g_strModelPath, "");
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
