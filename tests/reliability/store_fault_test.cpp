// Store faults: a missing, wrongly keyed, corrupt or truncated database, a read-only file and folder,
// another process's write transaction, and a full disk in the middle of a save. Each ends with the
// store's error text and no "插入成功!", nothing half-written (table1 and integrity_check read back
// with the sqlcipher shell), and the next import works once the fault is gone.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/import_command.h"
#include "app/run_store.h"
#include "model/model_reader.h"
#include "store/store.h"
#include "tests/reliability/faulty_vfs.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/store_rows.h"
#include "tests/support/test_support.h"

namespace {

using qtest::RowOf;
using qtest::TableRow;
using Texts = std::vector<std::string>;
namespace fs = std::filesystem;

const std::string kSuccess = "插入成功!";

const std::string kBusy = "数据库正忙：另一个程序正在使用参数数据库，请稍后再试。";

std::string ConnectFailure(const std::string& reason) { return "连接数据库失败!\r\n错误信息：" + reason; }

class StoreFaultTest : public ::testing::Test {
 protected:
  void TearDown() override {
    qrel::FaultyVfs::Heal();
    Disconnect();
  }

  static void Disconnect() {
    CloseParameterStore();
  }

  std::string Database() const { return dir.Dir() + "dravo.mdb"; }

  std::string Model(const std::string& tag) {
    const fs::path path = dir.Path() / ("m" + tag + ".mdl");
    qtest::WriteFileBytes(path, qtest::ModelText(qrel::TaggedValues(tag)));
    return path.string();
  }

  // A store with `rows` rows, made by the program and closed again.
  void MakeStore(int rows) {
    ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
    if (rows == 0) return;
    Connect();
    for (int i = 0; i < rows; ++i) ASSERT_TRUE(Import(Model("r" + std::to_string(i))));
    Disconnect();
    boxes.Clear();
  }

  void Connect() { OpenParameterStore(dir.Dir()); }

  bool Import(const std::string& path) { return RunImport(path); }

  // Once the fault is gone, a fresh connection imports one more complete row.
  void ExpectRecovered(long rowsBefore) {
    Disconnect();
    boxes.Clear();
    Connect();
    ASSERT_TRUE(ParameterStoreConnected()) << ::testing::PrintToString(boxes.Texts());
    EXPECT_TRUE(Import(Model("after")));
    EXPECT_EQ(boxes.Texts(), Texts{kSuccess});
    const std::vector<TableRow> rows = qtest::ReadTableRows(Database());
    ASSERT_EQ(static_cast<long>(rows.size()), rowsBefore + 1);
    EXPECT_EQ(rows.back(), RowOf(qrel::TaggedValues("after")));
    EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
  }

  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
};

TEST_F(StoreFaultTest, AMissingDatabaseIsReportedAndNeverCreated) {
  Connect();
  EXPECT_FALSE(ParameterStoreConnected());
  const std::string reason = "文件夹 " + dir.Dir() + " 中没有参数数据库 dravo.mdb。新建一个：qelmora-cli --store " +
                             dir.Dir() + " init-store";
  EXPECT_EQ(boxes.Texts(), Texts{ConnectFailure(reason)});

  boxes.Clear();
  EXPECT_FALSE(Import(Model("1")));
  ASSERT_FALSE(boxes.Texts().empty());
  EXPECT_EQ(boxes.Texts()[0], "参数数据库未打开（" + reason + "），命令未执行。");
  for (const std::string& text : boxes.Texts()) EXPECT_NE(text, kSuccess);
  EXPECT_FALSE(fs::exists(Database()));

  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  ExpectRecovered(0);
}

TEST_F(StoreFaultTest, AWrongKeyIsRefusedAndTheFileLeftAlone) {
  MakeStore(2);
  std::string output;
  ASSERT_TRUE(qtest::RunStoreSql(Database(), "PRAGMA rekey='not-the-key';", &output)) << output;
  const std::string before = qtest::ReadFileBytes(Database());

  Connect();
  EXPECT_FALSE(ParameterStoreConnected());
  EXPECT_EQ(boxes.Texts(), Texts{ConnectFailure("无法打开参数数据库 " + Database() + "：密码不符，或者这个文件不是参数数据库。")});
  boxes.Clear();
  EXPECT_FALSE(Import(Model("1")));
  for (const std::string& text : boxes.Texts()) EXPECT_NE(text, kSuccess);
  EXPECT_EQ(qtest::ReadFileBytes(Database()), before);

  // The right key again: both earlier rows are there, and the import adds the third.
  const auto rekey = qrel::RunChild({"sqlcipher", "-batch", Database(),
                                     "PRAGMA key='not-the-key'; PRAGMA rekey='" + qtest::StoreKey() + "';"});
  ASSERT_EQ(rekey.status, 0) << rekey.output;
  ExpectRecovered(2);
}

TEST_F(StoreFaultTest, RandomBytesAreNoDatabase) {
  std::mt19937 random(1234);
  std::string noise(16384, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  qtest::WriteFileBytes(Database(), noise);

  Connect();
  EXPECT_FALSE(ParameterStoreConnected());
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0].rfind("连接数据库失败!\r\n错误信息：", 0), 0u);
  boxes.Clear();
  EXPECT_FALSE(Import(Model("1")));
  for (const std::string& text : boxes.Texts()) EXPECT_NE(text, kSuccess);
  EXPECT_EQ(qtest::ReadFileBytes(Database()), noise);

  fs::remove(Database());
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  ExpectRecovered(0);
}

TEST_F(StoreFaultTest, ATruncatedCopyOfAGoodStoreSavesNothing) {
  MakeStore(3);
  std::string output;
  // Enough rows for the table to span many pages.
  ASSERT_TRUE(qtest::RunStoreSql(Database(),
                               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 400) "
                               "INSERT INTO table1 (L0, R0) SELECT x, hex(randomblob(60)) FROM c;",
                               &output))
      << output;
  const std::string good = qtest::ReadFileBytes(Database());
  ASSERT_GT(good.size(), 16384u);

  // Cut inside a page and on a page boundary.
  for (const std::size_t size : {good.size() / 2 + 100, std::size_t{8192}}) {
    SCOPED_TRACE(size);
    Disconnect();
    boxes.Clear();
    qtest::WriteFileBytes(Database(), good.substr(0, size));
    Connect();
    if (ParameterStoreConnected()) {
      EXPECT_FALSE(Import(Model("1")));
    }
    ASSERT_FALSE(boxes.Texts().empty());
    for (const std::string& text : boxes.Texts()) EXPECT_NE(text, kSuccess);
    EXPECT_EQ(qtest::ReadFileBytes(Database()), good.substr(0, size));
  }

  Disconnect();
  qtest::WriteFileBytes(Database(), good);
  ExpectRecovered(403);
}

// Root writes to read-only files, so these imports run in the command-line tool as a child that has
// given up root.
TEST_F(StoreFaultTest, AReadOnlyFileAndAReadOnlyFolder) {
  MakeStore(1);
  const std::string model = Model("ro");
  ASSERT_EQ(::chmod(model.c_str(), 0644), 0);
  const std::vector<std::string> import = {qrel::CliCopyIn(dir.Dir()), "--store", dir.Dir(), "import", model};

  struct Case {
    const char* name;
    mode_t dirMode;
    mode_t fileMode;
  };
  for (const Case& c : {Case{"read-only file", 0777, 0444}, Case{"read-only folder", 0555, 0666}}) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(::chmod(Database().c_str(), c.fileMode), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), c.dirMode), 0);
    const std::string before = qtest::ReadFileBytes(Database());
    const qrel::ChildResult refused = qrel::RunChild(import, {}, /*unprivileged=*/true);
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find("参数数据库 " + Database()), std::string::npos) << refused.output;
    EXPECT_EQ(refused.output.find(kSuccess), std::string::npos) << refused.output;
    EXPECT_EQ(qtest::ReadFileBytes(Database()), before);
    EXPECT_FALSE(fs::exists(Database() + "-journal"));
    EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
  }

  // Writable again: the same child saves the row.
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(Database().c_str(), 0666), 0);
  const qrel::ChildResult saved = qrel::RunChild(import, {}, /*unprivileged=*/true);
  EXPECT_EQ(saved.status, 0) << saved.output;
  EXPECT_EQ(saved.output, kSuccess + "\n");
  const std::vector<TableRow> rows = qtest::ReadTableRows(Database());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], RowOf(qrel::TaggedValues("ro")));
}

// Another process (the sqlcipher shell) holding a write transaction on the store.
class WriteLockHolder {
 public:
  WriteLockHolder(const std::string& database, const std::string& marker, const char* begin = "BEGIN IMMEDIATE") {
    m_shell = qtest::Start({"sqlcipher", "-batch", database}, {.mergeErrors = true, .feedInput = true});
    if (!m_shell.started) return;
    Send("PRAGMA key='" + qtest::StoreKey() + "';\n" + begin + ";\n"
         "INSERT INTO table1 (L0) VALUES ('other process');\n.shell touch '" + marker + "'\n");
    for (int i = 0; i < 600 && !fs::exists(marker); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~WriteLockHolder() { Finish(); }
  bool Holding(const std::string& marker) const { return m_shell.input >= 0 && fs::exists(marker); }
  void Send(const std::string& text) { (void)!::write(m_shell.input, text.data(), text.size()); }
  // Commits the other row and ends the process.
  void Finish() {
    if (m_shell.input < 0) return;
    Send("COMMIT;\n.quit\n");
    qtest::Finish(m_shell);
  }

 private:
  qtest::Child m_shell;
};

TEST_F(StoreFaultTest, AnotherProcessesWriteTransactionMakesTheSaveWaitThenFailClearly) {
  MakeStore(1);
  Connect();
  ASSERT_TRUE(ParameterStoreConnected());
  const std::string marker = dir.Dir() + "locked";
  WriteLockHolder holder(Database(), marker);
  ASSERT_TRUE(holder.Holding(marker));

  // Held throughout: the save gives up after a bounded wait with the store's text.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Import(Model("1")));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::seconds(60)) << "the save must never hang";
  EXPECT_EQ(boxes.Texts(), Texts{kBusy});

  // Released: the other process's row is committed, and the next import adds its own after it.
  holder.Finish();
  const std::vector<TableRow> rows = qtest::ReadTableRows(Database());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][kL0], "other process");
  ExpectRecovered(2);
}

// An exclusive lock: with the write-ahead log readers still read, so the import gets as far as its
// save, which waits, then fails clearly.
TEST_F(StoreFaultTest, AnExclusiveLockMakesTheReadWaitThenFailClearly) {
  MakeStore(1);
  Connect();
  ASSERT_TRUE(ParameterStoreConnected());
  const std::string marker = dir.Dir() + "locked";
  WriteLockHolder holder(Database(), marker, "BEGIN EXCLUSIVE");
  ASSERT_TRUE(holder.Holding(marker));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Import(Model("1")));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "the import must never hang";
  EXPECT_EQ(boxes.Texts(), Texts{kBusy});

  holder.Finish();
  ExpectRecovered(2);
}

TEST_F(StoreFaultTest, AWriteTransactionEndedDuringTheWaitLosesNoRow) {
  MakeStore(1);
  Connect();
  ASSERT_TRUE(ParameterStoreConnected());
  const std::string marker = dir.Dir() + "locked";
  WriteLockHolder holder(Database(), marker);
  ASSERT_TRUE(holder.Holding(marker));

  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    holder.Finish();
  });
  EXPECT_TRUE(Import(Model("1")));
  release.join();
  EXPECT_EQ(boxes.Texts(), Texts{kSuccess});
  const std::vector<TableRow> rows = qtest::ReadTableRows(Database());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1][kL0], "other process");
  EXPECT_EQ(rows[2], RowOf(qrel::TaggedValues("1")));
  EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
}

// The disk fills up after n more writes, for every n from the first write of the save to the last:
// each save either completes or leaves table1 as it was, and once space is back the same connection
// goes on saving.
TEST_F(StoreFaultTest, ADiskThatFillsUpAtAnyWriteOfTheSaveLosesNothing) {
  qrel::FaultyVfs::Install();
  MakeStore(1);
  Connect();
  ASSERT_TRUE(ParameterStoreConnected());

  long rows = 1;
  long failed = 0;
  bool completed = false;
  for (long n = 0; n < 64 && !completed; ++n) {
    SCOPED_TRACE(n);
    boxes.Clear();
    qrel::FaultyVfs::FailWritesAfter(n);
    completed = Import(Model("full" + std::to_string(n)));
    const long refused = qrel::FaultyVfs::Refused();
    qrel::FaultyVfs::Heal();
    if (completed) {
      EXPECT_EQ(refused, 0);
      EXPECT_EQ(boxes.Texts(), Texts{kSuccess});
      ++rows;
    } else {
      EXPECT_GT(refused, 0);
      EXPECT_EQ(boxes.Texts(), Texts{"磁盘已满，无法写入参数数据库 " + Database() + "。"});
      ++failed;
    }
    // Space is back: the same connection saves the next row.
    boxes.Clear();
    EXPECT_TRUE(Import(Model("next" + std::to_string(n))));
    EXPECT_EQ(boxes.Texts(), Texts{kSuccess});
    ++rows;

    const std::vector<TableRow> table = qtest::ReadTableRows(Database());
    ASSERT_EQ(static_cast<long>(table.size()), rows);
    EXPECT_EQ(table.back(), RowOf(qrel::TaggedValues("next" + std::to_string(n))));
    if (completed) {
      EXPECT_EQ(table[table.size() - 2], RowOf(qrel::TaggedValues("full" + std::to_string(n))));
    }
    EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
  }
  EXPECT_TRUE(completed) << "a save that needs more than 64 writes";
  // The journal and the database file are both written before a save completes.
  EXPECT_GE(failed, 2);
}

}  // namespace
