// qelmora-cli import run as a child process on a real store: exit codes and printed texts.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/afx.h"
#include "store/store.h"
#include "tests/support/shell_command.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

using qtest::RowOf;
using qtest::TableRow;

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

const std::vector<std::string> kValues = {"1E-7", "0.01", "0.2", "3.5E-5", "0.8", "0.4",
                                          "2E-3", "0.75", "1.5", "0.1",    "0.5"};

class ImportCliTest : public ::testing::Test {
 protected:
  CliRun Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {QELMORA_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    const qtest::RunResult result = qtest::Run(argv, {});
    EXPECT_TRUE(result.started);
    return {result.status, result.out, result.err};
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = store.Path() / name;
    qtest::WriteFileBytes(path, bytes);
    return path.string();
  }

  void CreateStore() { ASSERT_NO_THROW(CreateParameterStore(store.Dir())); }
  std::vector<TableRow> Rows() { return qtest::ReadTableRows(store.Dir() + "dravo.mdb"); }

  qtest::TempDir store;
  qtest::TempDir output;
};

TEST_F(ImportCliTest, NoFilesIsAUsageError) {
  CreateStore();
  const CliRun run = Cli({"--store", store.Dir(), "import"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("usage"), std::string::npos) << run.err;
  EXPECT_TRUE(Rows().empty());
}

TEST_F(ImportCliTest, EachFileIsImportedWithoutEchoingItsPath) {
  CreateStore();
  const std::string model = Write("cell 1.mdl", qtest::ModelText(kValues));
  CliRun run = Cli({"--store", store.Path().string(), "import", model});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "插入成功!\n");
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(kValues)});

  run = Cli({"--store", store.Dir(), "import", model, model});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, model + ": 插入成功!\n" + model + ": 插入成功!\n");
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(ImportCliTest, AFailingFileIsReportedAndTheNextGoesOn) {
  CreateStore();
  const std::string good = Write("good.mdl", qtest::ModelText(kValues));
  const std::string missing = (store.Path() / "missing.mdl").string();
  const std::string notes = Write("notes.mdl", qtest::CrLfLines({"no blocks here"}));
  const std::string unknown =
      Write("unknown.mdl", qtest::CrLfLines({"Element 1 Type: 1", "Name: R9", "-", "Value: 1", "-"}));
  const CliRun run = Cli({"--store", store.Dir(), "import", good, missing, notes, unknown, "", good});
  EXPECT_EQ(run.status, 1);

  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at; (at = run.err.find('\n', from)) != std::string::npos; from = at + 1) {
    lines.push_back(run.err.substr(from, at - from));
  }
  ASSERT_EQ(lines.size(), 7u) << run.err;
  // Each line begins with the file it is about.
  EXPECT_EQ(lines[0], good + ": 插入成功!");
  EXPECT_EQ(lines[1], missing + ": error:2");
  EXPECT_EQ(lines[2], missing + ": " + FileException(FileException::fileNotFound, missing).ReportText());
  EXPECT_EQ(lines[3].rfind(notes + ": 模型文件 " + notes, 0), 0u);
  EXPECT_EQ(lines[4], unknown + ": 参数数据库的 table1 中没有列 R9，未插入任何数据!");
  EXPECT_EQ(lines[5], "\"\": 请查找mdl文件!");
  EXPECT_EQ(lines[6], good + ": 插入成功!");
  EXPECT_EQ(Rows(), (std::vector<TableRow>{RowOf(kValues), RowOf(kValues)}));
}

TEST_F(ImportCliTest, AFileWithoutValuesOrWithACutValueSavesNothingAndFails) {
  CreateStore();
  const std::string empty = Write("empty.mdl", qtest::CrLfLines({"Element 1 Type: 5", "Name: L0", "Value: 1"}));
  const std::string cut = Write("cut.mdl", qtest::ModelCutAfter(qtest::ModelText(kValues), "Value: 0.7"));
  for (const std::string& model : {empty, cut}) {
    SCOPED_TRACE(model);
    const CliRun run = Cli({"--store", store.Dir(), "import", model});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(model), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("插入成功!"), std::string::npos) << run.err;
    EXPECT_TRUE(Rows().empty());
  }
}

TEST_F(ImportCliTest, AFileLockedByThisProcessIsASharingViolationForTheTool) {
  CreateStore();
  const std::string model = Write("model.mdl", qtest::ModelText(kValues));
  const int fd = ::open(model.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const CliRun run = Cli({"--store", store.Dir(), "import", model});
  ::close(fd);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "error:11");
  EXPECT_TRUE(Rows().empty());
}

TEST_F(ImportCliTest, AMissingStoreFailsEveryFileWithoutCreatingOne) {
  const std::string model = Write("model.mdl", qtest::ModelText(kValues));
  const CliRun run = Cli({"--store", store.Dir(), "import", model});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("连接数据库失败!", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find("插入成功!"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(store.Path() / "dravo.mdb"));
}

}  // namespace
