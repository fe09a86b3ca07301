// The import against a real SQLCipher store in a temporary directory; rows are read back with the
// sqlcipher shell.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/import_command.h"
#include "app/run_store.h"
#include "model/model_reader.h"
#include "store/store.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

using qtest::RowOf;
using qtest::TableRow;
using Texts = std::vector<std::string>;

const Texts kValues = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
                       "12.453",     "0.91027",  "0.10342",   "356.71",  "0.65318"};

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
    OpenParameterStore(dir.Dir());
    ASSERT_TRUE(ParameterStoreConnected());
    ASSERT_TRUE(boxes.Boxes().empty());
  }

  void TearDown() override { CloseParameterStore(); }

  std::string Write(const std::string& bytes, const std::string& name = "model.mdl") {
    const auto path = dir.Path() / name;
    qtest::WriteFileBytes(path, bytes);
    return path.string();
  }

  // What the OK command does for a path from the command line.
  bool Import(const std::string& path) { return RunImport(path); }

  std::vector<TableRow> Rows() { return qtest::ReadTableRows(Database()); }
  std::string Database() const { return dir.Dir() + "dravo.mdb"; }

  // Nothing of a failed import is left pending: the next command can start a row.
  void ExpectStoreUsable() { EXPECT_NO_THROW(TheParameterStore().StartRow()->Drop()); }

  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
};

TEST_F(ImportTest, AWellFormedModelBecomesOneNewRow) {
  EXPECT_TRUE(Import(Write(qtest::ModelText(kValues))));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  EXPECT_EQ(boxes.Boxes()[0].kind, qtest::BoxKind::App);
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(kValues)});
  ExpectStoreUsable();

  // The store's own read rule sees it as the current parameter set.
  const ParameterSet current = TheParameterStore().ReadCurrent().parameters;
  EXPECT_EQ(Texts(current.begin(), current.end()), kValues);
}

TEST_F(ImportTest, TheBundledSampleImports) {
  const auto sample = qtest::TestDataDir() / "sample.mdl";
  EXPECT_TRUE(Import(sample.string()));
  EXPECT_EQ(Rows(), (std::vector<TableRow>{RowOf({"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412",
                                                  "0.023107", "12.453", "0.91027", "0.10342", "356.71",
                                                  "0.65318"})}));
}

TEST_F(ImportTest, ValuesAreStoredExactlyAsTheFileWritesThem) {
  const Texts odd = {"+1.5", "-0", "1.5E-3", "25d-1", ".5", "5.", "1D+2", "0007", "1e-999", "-.5e-1", "1.2345E-07"};
  ASSERT_TRUE(Import(Write(qtest::ModelText(odd))));
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(odd)});
}

TEST_F(ImportTest, ColumnsTheFileDoesNotYieldStayNull) {
  const std::string path = Write(qtest::CrLfLines({"Element 1 Type: 1", "Name: R0", "-", "Value: 0.5", "-",
                                                   "Element 2 Type: 11", "Name: CPE2", "-", "Value: 0.002", "-",
                                                   "-", "Value: 0.9", "-", "end"}));
  EXPECT_TRUE(Import(path));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  TableRow expected(kParameterCount);
  expected[kR0] = "0.5";
  expected[kCpe2T] = "0.002";
  expected[kCpe2P] = "0.9";
  EXPECT_EQ(Rows(), std::vector<TableRow>{expected});

  const ParameterSet current = TheParameterStore().ReadCurrent().parameters;
  EXPECT_EQ(current[kL0], "");
  EXPECT_EQ(current[kR0], "0.5");
}

// A file that yields no value, is cut short, or holds a value that is no number saves nothing, and
// the message names the file and what is wrong with it.
TEST_F(ImportTest, AFileThatYieldsNoValueIsCutOrHoldsANonNumberSavesNothingAndSaysSo) {
  std::string sample = qtest::ReadFileBytes(qtest::TestDataDir() / "sample.mdl");
  std::string odd = sample;
  odd.replace(odd.find("0.023107"), 8, "0.02x3107");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"没有读到任何参数值", qtest::CrLfLines({"Element 1 Type: 5", "Name: L0", "Value: 1"})},
      {"没有读到任何参数值",
       qtest::CrLfLines({"Element 1 Type: 3 ", "  Name: L0", "  Fixed: N", "  Value: 1", "  Limits: none"})},
      {"不完整(文件在元件 R3 的数据中间结束)", sample.substr(0, sample.find("Value: 0.10") + 11)},
      {"元件 R2 的值 \"0.02x3107\" 不是数字", odd},
  };
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    boxes.Clear();
    const std::string path = Write(text);
    EXPECT_FALSE(Import(path));
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Texts()[0].find(path), std::string::npos) << boxes.Texts()[0];
    EXPECT_NE(boxes.Texts()[0].find(what), std::string::npos) << boxes.Texts()[0];
    EXPECT_TRUE(Rows().empty());
    ExpectStoreUsable();
  }
}

TEST_F(ImportTest, AValueCutByTheWindowSavesNothingAndSaysTheFileWasNotReadWhole) {
  const std::string path = Write(qtest::ModelCutAfter(qtest::ModelText(kValues), "Value: 0.1"));  // R3: "0.10342"
  EXPECT_FALSE(Import(path));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_NE(boxes.Texts()[0].find(path), std::string::npos) << boxes.Texts()[0];
  EXPECT_NE(boxes.Texts()[0].find("无法完整读取"), std::string::npos) << boxes.Texts()[0];
  EXPECT_TRUE(Rows().empty());
  ExpectStoreUsable();

  // Cut after the last value line: what the window holds is saved, as before.
  boxes.Clear();
  EXPECT_TRUE(Import(Write(qtest::ModelCutAfter(qtest::ModelText(kValues), "End of"))));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(kValues)});
}

TEST_F(ImportTest, AModelWithLineFeedsOnlyImportsTheSameRowAsTheOriginal) {
  std::string converted = qtest::ModelText(kValues);
  std::erase(converted, '\r');
  EXPECT_TRUE(Import(Write(converted)));
  EXPECT_TRUE(Import(Write(qtest::ModelText(kValues), "original.mdl")));
  EXPECT_EQ(boxes.Texts(), (Texts{"插入成功!", "插入成功!"}));
  EXPECT_EQ(Rows(), (std::vector<TableRow>{RowOf(kValues), RowOf(kValues)}));
}

TEST_F(ImportTest, AnElementTwiceKeepsTheLaterValue) {
  // A second R1 block before the model's closing line.
  std::string text = qtest::ModelText(kValues);
  const std::string end = "End of model\r\n";
  ASSERT_EQ(text.substr(text.size() - end.size()), end);
  text.resize(text.size() - end.size());
  text += qtest::CrLfLines({"Element 9 Type: 1", "Name: R1", "-", "Value: 42", "-"}) + end;
  EXPECT_TRUE(Import(Write(text)));
  Texts expected = kValues;
  expected[kR1] = "42";
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(expected)});
}

TEST_F(ImportTest, TheSameFileTwiceGivesTwoIdenticalRowsAndTheLastIsCurrent) {
  const std::string first = Write(qtest::ModelText(kValues), "first.mdl");
  Texts other = kValues;
  other[kL0] = "9.9E-08";
  const std::string second = Write(qtest::ModelText(other), "second.mdl");
  EXPECT_TRUE(Import(second));
  EXPECT_TRUE(Import(first));
  EXPECT_TRUE(Import(first));
  EXPECT_EQ(boxes.Texts(), (Texts{"插入成功!", "插入成功!", "插入成功!"}));
  EXPECT_EQ(Rows(), (std::vector<TableRow>{RowOf(other), RowOf(kValues), RowOf(kValues)}));
  const ParameterSet current = TheParameterStore().ReadCurrent().parameters;
  EXPECT_EQ(Texts(current.begin(), current.end()), kValues);
}

TEST_F(ImportTest, AnUnknownElementSavesNothingAndEndsAtTheFirstFailure) {
  ASSERT_TRUE(Import(Write(qtest::ModelText(kValues), "good.mdl")));
  boxes.Clear();

  // Good values first, then two names that are no columns: one message, nothing saved.
  const std::string bad = Write(qtest::CrLfLines({"Element 1 Type: 3", "Name: L0", "-", "Value: 1", "-",
                                                  "Element 2 Type: 1", "Name: R7", "-", "Value: 2", "-",
                                                  "Element 3 Type: 1", "Name: R8", "-", "Value: 3", "-"}),
                                "bad.mdl");
  EXPECT_FALSE(Import(bad));
  EXPECT_EQ(boxes.Texts(), Texts{"参数数据库的 table1 中没有列 R7，未插入任何数据!"});
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(kValues)});
  ExpectStoreUsable();

  // A CPE whose "-T" column is unknown fails the same way.
  boxes.Clear();
  EXPECT_FALSE(Import(Write(qtest::CrLfLines({"Element 1 Type: 11", "Name: CPE4", "-", "Value: 1", "-", "-",
                                              "Value: 2", "-"}),
                            "cpe4.mdl")));
  EXPECT_EQ(boxes.Texts(), Texts{"参数数据库的 table1 中没有列 CPE4-T，未插入任何数据!"});

  // The next import works.
  boxes.Clear();
  EXPECT_TRUE(Import(Write(qtest::ModelText(kValues), "good.mdl")));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(ImportTest, AFileWithoutElementsSavesNothingAndSaysSo) {
  const std::string path = Write(qtest::CrLfLines({"Model notes", "Type: 3", "Name: L0", "Value: 1"}), "notes.mdl");
  EXPECT_FALSE(Import(path));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_NE(boxes.Texts()[0].find(path), std::string::npos) << boxes.Texts()[0];
  EXPECT_NE(boxes.Texts()[0].find("未插入"), std::string::npos) << boxes.Texts()[0];
  EXPECT_TRUE(Rows().empty());
  ExpectStoreUsable();

  boxes.Clear();
  EXPECT_FALSE(Import(Write("", "empty.mdl")));
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_TRUE(Rows().empty());
}

TEST_F(ImportTest, AFileThatCannotBeOpenedEndsTheCommandAndLeavesTheStoreUsable) {
  const std::string missing = (dir.Path() / "missing.mdl").string();
  try {
    Import(missing);
    ADD_FAILURE() << "no exception";
  } catch (const FileException& e) {
    EXPECT_EQ(e.m_cause, FileException::fileNotFound);
    EXPECT_EQ(e.m_strFileName, missing);
  }
  EXPECT_EQ(boxes.Texts(), Texts{"error:2\n"});
  EXPECT_TRUE(Rows().empty());
  ExpectStoreUsable();

  // Locked by another holder: a sharing violation.
  const std::string locked = Write(qtest::ModelText(kValues), "locked.mdl");
  const int fd = ::open(locked.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  boxes.Clear();
  EXPECT_THROW(Import(locked), FileException);
  EXPECT_EQ(boxes.Texts(), Texts{"error:11\n"});
  EXPECT_TRUE(Rows().empty());
  ::close(fd);

  boxes.Clear();
  EXPECT_TRUE(Import(locked));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  EXPECT_EQ(Rows(), std::vector<TableRow>{RowOf(kValues)});
}

// A trigger that another process adds while the store is open: the import's own check of the
// schema refuses the store before the save.
TEST_F(ImportTest, AFailedSaveIsReportedAndDropsTheRow) {
  ASSERT_TRUE(qtest::RunStoreSql(
      Database(), "CREATE TRIGGER refuse BEFORE INSERT ON table1 BEGIN SELECT RAISE(ABORT, 'refused'); END;"));

  EXPECT_FALSE(Import(Write(qtest::ModelText(kValues))));
  EXPECT_EQ(boxes.Texts(), Texts{"数据库结构不符：" + Database() + " 含有本程序未建立的内容（trigger refuse），未执行任何操作。"});
  EXPECT_TRUE(Rows().empty());

  ASSERT_TRUE(qtest::RunStoreSql(Database(), "DROP TRIGGER refuse;"));
  ExpectStoreUsable();
  boxes.Clear();
  EXPECT_TRUE(Import(Write(qtest::ModelText(kValues))));
  EXPECT_EQ(Rows().size(), 1u);
}

TEST(ImportWithoutStoreTest, AStoreThatNeverOpenedIsReportedOnceAndNothingBreaks) {
  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
  const std::string path = (dir.Path() / "model.mdl").string();
  qtest::WriteFileBytes(path, qtest::ModelText(kValues));

  // No database file: the store does not open, and the import says so without reading the file.
  OpenParameterStore(dir.Dir());
  ASSERT_FALSE(ParameterStoreConnected());
  ASSERT_EQ(boxes.Texts().size(), 1u);
  const std::string reason = boxes.Texts()[0].substr(boxes.Texts()[0].find("文件夹"));
  boxes.Clear();
  EXPECT_FALSE(RunImport(path));
  EXPECT_EQ(boxes.Texts(), Texts{"参数数据库未打开（" + reason + "），命令未执行。"});
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "dravo.mdb"));
  EXPECT_EQ(g_nModelReadPos, 0u);  // the file was never read
}

}  // namespace
