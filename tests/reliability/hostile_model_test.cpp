// Hostile model files imported into a real SQLCipher store: each gives the expected message, leaves
// table1 unchanged or exactly one complete row longer, and the database passes integrity_check
// (both read back with the sqlcipher shell, not through the program's store code).
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/import_command.h"
#include "app/run_store.h"
#include "model/model_reader.h"
#include "store/store.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

using qtest::RowOf;
using qtest::TableRow;
using Texts = std::vector<std::string>;

const Texts kGood = qrel::TaggedValues("7");
// The store's text for a name without a column.
std::string NoColumn(const std::string& name) { return "参数数据库的 table1 中没有列 " + name + "，未插入任何数据!"; }

std::string Block(const std::string& code, const std::string& name, const std::string& value) {
  return qtest::CrLfLines({"Element 1 Type: " + code, "  Name: " + name, "  Fixed: N", "  Value: " + value,
                           "  Error: 0"});
}

class HostileModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
    OpenParameterStore(dir.Dir());
    ASSERT_TRUE(ParameterStoreConnected());
    // A row from before, which no hostile file may touch.
    ASSERT_TRUE(Import(Write(qtest::ModelText(kGood), "good.mdl")));
    boxes.Clear();
  }

  void TearDown() override { CloseParameterStore(); }

  std::string Write(const std::string& bytes, const std::string& name = "hostile.mdl") {
    qtest::WriteFileBytes(dir.Path() / name, bytes);
    return (dir.Path() / name).string();
  }

  // The import as OK runs it for a path from the command line; a failed file read ends it with the
  // framework's report, as the dialog shows it.
  bool Import(const std::string& path) {
    try {
      return RunImport(path);
    } catch (const FileException& e) {
      AfxMessageBox(e.ReportText());
      return false;
    }
  }

  std::string Database() const { return dir.Dir() + "dravo.mdb"; }

  // table1 holds the earlier row and, when given, exactly one more; the file is sound.
  void ExpectTable(const std::optional<TableRow>& added) {
    std::vector<TableRow> expected{RowOf(kGood)};
    if (added) expected.push_back(*added);
    EXPECT_EQ(qtest::ReadTableRows(Database()), expected);
    EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
  }

  // After a refused file the store still takes the next import.
  void ExpectNextImportWorks(std::size_t rowsBefore) {
    boxes.Clear();
    EXPECT_TRUE(Import(Write(qtest::ModelText(qrel::TaggedValues("8")), "next.mdl")));
    EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
    EXPECT_EQ(qtest::ReadTableRows(Database()).size(), rowsBefore + 1);
  }

  // A value that is no number: nothing is saved, and the message says so.
  void ExpectRefused(const std::string& bytes) {
    EXPECT_FALSE(Import(Write(bytes)));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_NE(boxes.Texts()[0].find("不是数字"), std::string::npos) << boxes.Texts()[0];
    ExpectTable(std::nullopt);
    boxes.Clear();
  }

  static TableRow Only(ParameterIndex column, const std::string& value) {
    TableRow row(kParameterCount);
    row[column] = value;
    return row;
  }

  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
};

TEST_F(HostileModelTest, ElementNamesThatAreSqlNameNoColumnAndChangeNothing) {
  const Texts names = {"L0\"; DROP TABLE table1; --", "L0'; DELETE FROM table1; --", "\"L0\"", "[L0]", "`L0`",
                       "L0\" TEXT, \"x", "R0 --", "R0;", "l0", "CPE1-T\" = 1 OR \"1", "*", "rowid", "id"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    boxes.Clear();
    EXPECT_FALSE(Import(Write(Block("3", name, "1"))));
    const Texts shown = boxes.Texts();
    ASSERT_EQ(shown.size(), 1u);
    // The key column exists but is the store's own; every other name has no column.
    EXPECT_EQ(shown[0], name == "id" ? "table1 的列 id 由参数数据库自动编号，不能写入，未插入任何数据!" : NoColumn(name));
    ExpectTable(std::nullopt);
  }
  // A two-valued element whose formed names are SQL: the same.
  boxes.Clear();
  EXPECT_FALSE(Import(Write(qtest::CrLfLines({"Element 1 Type: 11", "Name: CPE1\"--", "-", "Value: 1", "-", "-",
                                               "Value: 2", "-", "end"}))));
  EXPECT_EQ(boxes.Texts(), Texts{NoColumn("CPE1\"---T")});
  ExpectTable(std::nullopt);
  ExpectNextImportWorks(1);
}

TEST_F(HostileModelTest, ValuesThatAreSqlSaveNothing) {
  ExpectRefused(Block("1", "R0", "1'); DELETE FROM table1; SELECT ('\"[]--;") + "end\r\n");
  ExpectNextImportWorks(1);
}

TEST_F(HostileModelTest, NineThousandByteNamesAndValues) {
  // A 9,000-byte name is no column: nothing saved.
  EXPECT_FALSE(Import(Write(Block("3", std::string(9000, 'L'), "1"))));
  EXPECT_EQ(boxes.Texts(), Texts{NoColumn(std::string(9000, 'L'))});
  ExpectTable(std::nullopt);

  // A 9,000-byte value is stored whole (the block still lies inside the first 10,000 bytes).
  boxes.Clear();
  const std::string value = "0." + std::string(8998, '9');
  EXPECT_TRUE(Import(Write(Block("3", "L0", value) + "end\r\n")));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  ExpectTable(Only(kL0, value));
}

TEST_F(HostileModelTest, BinaryBytesAndNulsSaveNothing) {
  std::string value = "1.5";
  value += '\0';
  value += "\x01\x02\x7f\x80\xff tail";
  ExpectRefused(Block("1", "R2", value) + "end\r\n");

  // A NUL inside a name makes it another name: no column.
  EXPECT_FALSE(Import(Write(Block("1", std::string("R2\0", 3) + "x", "1"))));
  EXPECT_EQ(boxes.Texts(), Texts{NoColumn("R2\\x00x")});
  EXPECT_EQ(qtest::ReadTableRows(Database()).size(), 1u);
  EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
}

TEST_F(HostileModelTest, InvalidUtf8AndCodePage936BytesSaveNothing) {
  const std::string invalid = "\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x28\x8c\x28\xff";
  const std::string cp936 = "\xb5\xe7\xd7\xe8 1.5E-3";  // 电阻 in code page 936
  ExpectRefused(Block("1", "R1", invalid) + "end\r\n");
  ExpectRefused(Block("1", "R3", cp936) + "end\r\n");

  // A name in code page 936 names no column.
  EXPECT_FALSE(Import(Write(Block("1", "\xb5\xe7\xd7\xe8", "1"))));
  EXPECT_EQ(boxes.Texts(), Texts{NoColumn("\xb5\xe7\xd7\xe8")});
  EXPECT_EQ(qtest::ReadTableRows(Database()).size(), 1u);
}

TEST_F(HostileModelTest, AnLfOnlyFileImportsTheRowOfItsCrLfOriginal) {
  std::string text = qtest::ModelText(qrel::TaggedValues("9"));
  std::erase(text, '\r');
  EXPECT_TRUE(Import(Write(text)));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  // Without any carriage return the line feeds end the lines.
  ExpectTable(RowOf(qrel::TaggedValues("9")));
}

TEST_F(HostileModelTest, ACrOnlyFileLosesTheFirstByteOfEveryLaterLine) {
  std::string text = qtest::ModelText(qrel::TaggedValues("9"));
  std::erase(text, '\n');
  EXPECT_TRUE(Import(Write(text)));
  EXPECT_EQ(boxes.Texts(), Texts{"插入成功!"});
  // The indented name and value lines survive the lost byte; the second header ("lement ...") does
  // not, so reading ends after the first block.
  ExpectTable(Only(kL0, qrel::TaggedValues("9")[0]));
}

TEST_F(HostileModelTest, NothingBeyondTheFirstTenThousandBytesIsRead) {
  // A header of code "-2" whose ignored line fills the space up to a block wholly before the cut, a
  // block whose value line straddles it (cut after "12345"), and blocks beyond it. The cut value
  // would be a wrong one: nothing is saved.
  const std::string head = "Element 0 Type: -2\r\n";
  const std::string before = Block("1", "R0", "0.5");
  const std::string straddling = Block("1", "R1", "123456789");
  const std::size_t valueAt = straddling.find("123456789");
  const std::size_t comment = (kModelReadLimit - 5) - head.size() - 2 - before.size() - valueAt;
  const std::string file = head + std::string(comment, 'c') + "\r\n" + before + straddling +
                           Block("1", "R2", "2.5") + qtest::ModelText(qrel::TaggedValues("5"));
  ASSERT_EQ(file.find("123456789"), kModelReadLimit - 5);
  ASSERT_GT(file.size(), 10000u);

  const std::string path = Write(file);
  EXPECT_FALSE(Import(path));
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_NE(boxes.Texts()[0].find(path), std::string::npos) << boxes.Texts()[0];
  EXPECT_EQ(boxes.Texts()[0].find("插入成功!"), std::string::npos) << boxes.Texts()[0];
  ExpectTable(std::nullopt);
}

TEST_F(HostileModelTest, AnEmptyFileSavesNothingAndSaysSo) {
  const std::string path = Write("");
  EXPECT_FALSE(Import(path));
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_NE(boxes.Texts()[0].find(path), std::string::npos) << boxes.Texts()[0];
  EXPECT_NE(boxes.Texts()[0], "插入成功!");
  ExpectTable(std::nullopt);
  ExpectNextImportWorks(1);
}

TEST_F(HostileModelTest, ADirectoryAMissingFileAndALinkLoop) {
  // A directory given as the file: refused as access denied (cause 5).
  const std::filesystem::path folder = dir.Path() / "folder.mdl";
  std::filesystem::create_directory(folder);
  EXPECT_FALSE(Import(folder.string()));
  ASSERT_EQ(boxes.Texts().size(), 2u);
  EXPECT_EQ(boxes.Texts()[0], "error:5\n");
  EXPECT_NE(boxes.Texts()[1].find(folder.string()), std::string::npos);
  ExpectTable(std::nullopt);

  // A missing file: cause 2.
  boxes.Clear();
  EXPECT_FALSE(Import((dir.Path() / "missing.mdl").string()));
  ASSERT_EQ(boxes.Texts().size(), 2u);
  EXPECT_EQ(boxes.Texts()[0], "error:2\n");
  ExpectTable(std::nullopt);

  // A link that points at itself: a bad path (cause 3).
  boxes.Clear();
  const std::filesystem::path loop = dir.Path() / "loop.mdl";
  std::filesystem::create_symlink(loop, loop);
  EXPECT_FALSE(Import(loop.string()));
  ASSERT_EQ(boxes.Texts().size(), 2u);
  EXPECT_EQ(boxes.Texts()[0], "error:3\n");
  ExpectTable(std::nullopt);
  ExpectNextImportWorks(1);
}

// A named pipe or a device given as the model file is refused like a folder (cause 5): opening a pipe
// for reading would otherwise wait for a writer forever. The tool runs under `timeout` so that such
// a wait fails the test instead of hanging it.
TEST_F(HostileModelTest, APipeOrADeviceIsRefusedNotWaitedOn) {
  CloseParameterStore();
  const std::string fifo = (dir.Path() / "pipe.mdl").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    const qrel::ChildResult result =
        qrel::RunChild({"timeout", "20", qrel::CliProgram(), "--store", dir.Dir(), "import", path});
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(result.output.rfind("error:5\n", 0), 0u) << result.output;
  }
  ExpectTable(std::nullopt);
}

// Root reads any file, so the unreadable file is imported by the real command-line tool in a child
// that has given up root (user nobody); the store and its folder are made writable for it.
TEST_F(HostileModelTest, AFileWithoutReadPermission) {
  CloseParameterStore();
  const std::string path = Write(qtest::ModelText(qrel::TaggedValues("6")), "secret.mdl");
  ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(Database().c_str(), 0666), 0);
  const std::string cli = qrel::CliCopyIn(dir.Dir());

  const qrel::ChildResult denied =
      qrel::RunChild({cli, "--store", dir.Dir(), "import", path}, {}, /*unprivileged=*/true);
  EXPECT_EQ(denied.status, 1) << denied.output;
  EXPECT_EQ(denied.output.rfind("error:5\n", 0), 0u) << denied.output;
  EXPECT_EQ(denied.output.find("插入成功!"), std::string::npos) << denied.output;
  ExpectTable(std::nullopt);

  // Readable again: the same child imports it.
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  const qrel::ChildResult allowed =
      qrel::RunChild({cli, "--store", dir.Dir(), "import", path}, {}, /*unprivileged=*/true);
  EXPECT_EQ(allowed.status, 0) << allowed.output;
  EXPECT_EQ(allowed.output, "插入成功!\n");
  ExpectTable(RowOf(qrel::TaggedValues("6")));
}

// Hostile values stored as the current parameter set go on to the report (CSV and the .xlsx file,
// read back with openpyxl) and to the hand-off file without harm: the numbers are those of the
// run-time's atof rule, and the sanitizer build watches every buffer on the way.
TEST_F(HostileModelTest, HostileValuesGoSafelyOnToTheReportAndTheHandOff) {
  const Texts values = {std::string(300, '9'), "1e999", "nan", std::string("\0\x01bin", 5), "1,5", "-0",
                        "1e-400", "0.5", std::string(2000, '9'), "\xb5\xe7", "  "};
  // The import takes no such value; they come from stores of earlier versions. Put in directly.
  const std::unique_ptr<PendingRow> row = TheParameterStore().StartRow();
  for (std::size_t i = 0; i < kParameterCount; ++i) row->Put(kParameterColumns[i], values[i]);
  row->Save({});
  CloseParameterStore();

  const qrel::ChildResult csv = qrel::RunChild({qrel::CliProgram(), "--store", dir.Dir(), "report", "--csv"});
  EXPECT_EQ(csv.status, 0) << csv.output;
  const std::size_t firstEnd = csv.output.find("\r\n");
  ASSERT_NE(firstEnd, std::string::npos) << csv.output;
  EXPECT_EQ(csv.output.find("\r\n", firstEnd + 2), csv.output.size() - 2) << "two records";
  EXPECT_EQ(std::count(csv.output.begin(), csv.output.begin() + static_cast<long>(firstEnd), ','), 17);

  const std::string xlsx = dir.Dir() + "report.xlsx";
  const qrel::ChildResult book =
      qrel::RunChild({qrel::CliProgram(), "--store", dir.Dir(), "report", "--xlsx", xlsx});
  EXPECT_EQ(book.status, 0) << book.output;
  const qrel::ChildResult read = qrel::RunChild(
      {"/usr/bin/python3", "-c",
       "import sys, openpyxl\n"
       "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
       "print(sum(1 for c in ws[1] if c.value is not None), ws.max_row)\n",
       xlsx});
  EXPECT_EQ(read.status, 0) << read.output;
  EXPECT_EQ(read.output, "18 2\n");

  const qrel::ChildResult handoff = qrel::RunChild(
      {qrel::CliProgram(), "--store", dir.Dir(), "handoff", "--no-launch"}, {"TMPDIR=" + dir.Path().string()});
  EXPECT_EQ(handoff.status, 0) << handoff.output;
  const std::string bytes = qtest::ReadFileBytes(dir.Path() / "~qe10.tmp");
  ASSERT_EQ(bytes.size(), 88u);
  double d[11];
  std::memcpy(d, bytes.data(), sizeof d);  // little-endian, as this machine
  EXPECT_DOUBLE_EQ(d[kL0], 1e300);
  EXPECT_TRUE(std::isinf(d[kR0]) && d[kR0] > 0);
  EXPECT_EQ(d[kR1], 0.0);
  EXPECT_EQ(d[kCpe1T], 0.0);
  EXPECT_EQ(d[kCpe1P], 1.0);
  EXPECT_TRUE(d[kR2] == 0.0 && std::signbit(d[kR2]));
  EXPECT_EQ(d[kCpe2T], 0.0);
  EXPECT_EQ(d[kCpe2P], 0.5);
  EXPECT_TRUE(std::isinf(d[kR3]));
  EXPECT_EQ(d[kCpe3T], 0.0);
  EXPECT_EQ(d[kCpe3P], 0.0);
}

}  // namespace
