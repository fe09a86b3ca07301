// Paths far longer than 260 characters: the program directory, the model file, the temporary
// directory and the desktop directory. The program runs from such a directory as a real child
// (the sanitizer build watches every buffer); the location record, which holds at most 999 bytes of
// path and a zero, refuses a longer path rather than cutting it.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/main_dialog.h"
#include "base/platform.h"
#include "store/store.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/scripted_view.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// A directory under base whose path is at least `length` bytes long (components of 100 bytes, one
// of them Chinese), created.
fs::path DeepDirectory(const fs::path& base, std::size_t length) {
  fs::path path = base / "路径";
  for (char c = 'a'; path.string().size() < length; ++c) path /= std::string(100, c);
  fs::create_directories(path);
  return path;
}

std::string CopyCli(const fs::path& directory) {
  const fs::path target = directory / "qelmora-cli";
  fs::copy_file(qrel::CliProgram(), target, fs::copy_options::overwrite_existing);
  return target.string();
}

TEST(LongPathTest, TheProgramRunsFromADeepDirectoryWithADeepModelFile) {
  qtest::TempDir dir;
  const fs::path programDir = DeepDirectory(dir.Path() / "prog", 420);
  const std::string cli = CopyCli(programDir);
  const fs::path modelDir = DeepDirectory(dir.Path() / "model", 900);
  const fs::path model = modelDir / "模型.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(qrel::TaggedValues("deep")));
  ASSERT_GT(programDir.string().size(), 400u);
  ASSERT_GT(model.string().size(), 900u);

  // The store beside the program, which finds its own directory.
  const qrel::ChildResult init = qrel::RunChild({cli, "init-store"});
  EXPECT_EQ(init.status, 0) << init.output;
  const std::string database = (programDir / "dravo.mdb").string();
  ASSERT_TRUE(fs::exists(database)) << init.output;

  const qrel::ChildResult import = qrel::RunChild({cli, "import", model.string()});
  EXPECT_EQ(import.status, 0) << import.output;
  EXPECT_EQ(import.output, "插入成功!\n");
  EXPECT_EQ(qtest::ReadTableRows(database), std::vector<qtest::TableRow>{qtest::RowOf(qrel::TaggedValues("deep"))});

  // A model path past the system's own limit on one name is refused with the file's message.
  const std::string tooLong = modelDir.string() + "/" + std::string(300, 'x') + ".mdl";
  const qrel::ChildResult refused = qrel::RunChild({cli, "import", tooLong});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.output.rfind("error:3\n", 0), 0u) << refused.output;
  EXPECT_EQ(qtest::RowCount(database), 1);
  EXPECT_EQ(qtest::IntegrityCheck(database), "ok");
}

// SQLite names files of at most 512 bytes: a store deeper than that cannot be made or opened. Both
// say so, and nothing is left behind.
TEST(LongPathTest, AProgramDirectoryTooDeepForTheStoreIsReported) {
  qtest::TempDir dir;
  const fs::path programDir = DeepDirectory(dir.Path() / "prog", 700);
  const std::string cli = CopyCli(programDir);
  const auto model = dir.Path() / "m.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(qrel::TaggedValues("1")));

  const qrel::ChildResult init = qrel::RunChild({cli, "init-store"});
  EXPECT_EQ(init.status, 1);
  EXPECT_EQ(init.output.rfind("无法创建数据库文件 " + programDir.string() + "/dravo.mdb：", 0), 0u) << init.output;

  // Named, as a program without a store beside it would otherwise use the user's.
  const qrel::ChildResult import = qrel::RunChild({cli, "--store", programDir.string(), "import", model.string()});
  EXPECT_EQ(import.status, 1);
  EXPECT_EQ(import.output.rfind("连接数据库失败!\n错误信息：", 0), 0u) << import.output;
  EXPECT_EQ(import.output.find("插入成功!"), std::string::npos) << import.output;

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(programDir)) left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"qelmora-cli"});
}

// Directory names with the characters of the connection string's syntax: the store is still the
// one beside the program, and no file appears anywhere else.
TEST(LongPathTest, ConnectionStringCharactersInTheProgramDirectory) {
  qtest::TempDir dir;
  const auto model = dir.Path() / "m.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(qrel::TaggedValues("1")));
  for (const std::string name : {"semi;colon", "two;;semis;", "q'uote\"s;", "eq=ual; Data Source=x", "sp ace "}) {
    SCOPED_TRACE(name);
    const fs::path programDir = dir.Path() / "p" / name;
    fs::create_directories(programDir);
    const std::string cli = CopyCli(programDir);
    const qrel::ChildResult init = qrel::RunChild({cli, "init-store"});
    EXPECT_EQ(init.status, 0) << init.output;
    EXPECT_EQ(init.output, "已创建数据库：" + (programDir / "dravo.mdb").string() + "\n");
    const qrel::ChildResult import = qrel::RunChild({cli, "import", model.string()});
    EXPECT_EQ(import.status, 0) << import.output;
    EXPECT_EQ(qtest::RowCount((programDir / "dravo.mdb").string()), 1);
  }
  // Only the program directories themselves under p/, and nothing beside the model.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path() / "p")) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names.size(), 5u) << ::testing::PrintToString(names);
  std::vector<std::string> top;
  for (const auto& entry : fs::directory_iterator(dir.Path())) top.push_back(entry.path().filename().string());
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"m.mdl", "p"}));
}

TEST(LongPathTest, TheHandOffFileGoesIntoADeepTemporaryDirectory) {
  qtest::TempDir dir;
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  const auto model = dir.Path() / "m.mdl";
  qtest::WriteFileBytes(model, qtest::ModelText(qrel::TaggedValues("1")));
  ASSERT_EQ(qrel::RunChild({qrel::CliProgram(), "--store", dir.Dir(), "import", model.string()}).status, 0);

  const fs::path temp = DeepDirectory(dir.Path() / "tmp", 1200);
  const qrel::ChildResult handoff =
      qrel::RunChild({qrel::CliProgram(), "--store", dir.Dir(), "handoff", "--no-launch"}, {"TMPDIR=" + temp.string()});
  EXPECT_EQ(handoff.status, 0) << handoff.output;
  const fs::path file = temp / "~qe10.tmp";
  EXPECT_EQ(handoff.output, file.string() + "\n");
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(fs::file_size(file), 88u);
}

TEST(LongPathTest, TheShortcutGoesOntoADeepDesktop) {
  qtest::TempDir dir;
  const fs::path home = DeepDirectory(dir.Path() / "home", 1500);
  const std::vector<std::string> env = {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                        "XDG_DATA_HOME=" + (home / ".local/share").string()};
  const qrel::ChildResult shortcut = qrel::RunChild({qrel::CliProgram(), "shortcut"}, env);
  EXPECT_EQ(shortcut.status, 0) << shortcut.output;
  std::vector<fs::path> launchers;
  if (fs::is_directory(home / "Desktop")) {
    for (const auto& entry : fs::directory_iterator(home / "Desktop")) launchers.push_back(entry.path());
  }
  ASSERT_EQ(launchers.size(), 1u);
  EXPECT_EQ(launchers[0].extension(), ".desktop");
  EXPECT_EQ(qtest::ReadFileBytes(launchers[0]).rfind("[Desktop Entry]\n", 0), 0u);
}

// The location record at start-up: a program path of 999 bytes is written whole with its zero byte;
// one of 1000 bytes or more is refused with "error(stp)", and the record already there is left alone.
TEST(LongPathTest, TheLocationRecordRefusesAPathItCannotHold) {
  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
  qtest::TestPlatform platform;
  platform.systemDirectory = (dir.Path() / "system").string();
  fs::create_directories(platform.systemDirectory);
  const fs::path record = dir.Path() / "system" / "121125.stp";
  // No store beside these programs: the user's store they make goes into the temp dir.
  qtest::ScopedEnv dataHome("XDG_DATA_HOME", (dir.Path() / "data").string());

  const fs::path programDir = DeepDirectory(dir.Path() / "prog", 1100);
  const std::string base = programDir.string() + "/";

  struct Case {
    std::size_t length;
    bool fits;
  };
  std::string lastWritten;
  for (const Case& c : {Case{999, true}, Case{1000, false}, Case{1100 + 20, false}}) {
    SCOPED_TRACE(c.length);
    // Inside the deep directory, padded with the file name to the length wanted.
    std::string module = base.substr(0, std::min(base.size(), c.length - 20));
    if (module.back() != '/') module = module.substr(0, module.rfind('/') + 1);
    module += std::string(c.length - module.size(), 'q');
    ASSERT_EQ(module.size(), c.length);
    platform.moduleFileName = module;

    boxes.Clear();
    qtest::RunDialogStartUp(boxes);

    if (c.fits) {
      const std::string bytes = qtest::ReadFileBytes(record);
      ASSERT_EQ(bytes.size(), 1000u);
      EXPECT_EQ(bytes.substr(0, module.size()), module);
      EXPECT_EQ(bytes[999], '\0');
      lastWritten = bytes;
      for (const qtest::ShownBox& box : boxes.Boxes()) EXPECT_NE(box.text, "error(stp)");
    } else {
      bool refused = false;
      for (const qtest::ShownBox& box : boxes.Boxes()) {
        if (box.text == "error(stp)" && box.caption == "error indication!") refused = true;
      }
      EXPECT_TRUE(refused) << ::testing::PrintToString(boxes.Texts());
      EXPECT_EQ(qtest::ReadFileBytes(record), lastWritten) << "the record was cut or changed";
    }
  }
  CloseParameterStore();
  g_strModelPath.clear();
}

}  // namespace
