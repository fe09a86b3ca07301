// Stores with the right key and a hostile schema, a runaway statement, and a reader that holds the
// store while an import saves. Stores are made by the program, then changed with the sqlcipher shell;
// the command-line tool runs as a child process, and the store is read back with the shell.
#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/sqlite_linux.h"
#include "store/store.h"
#include "tests/support/shell_command.h"
#include "tests/support/store_rows.h"
#include "tests/reliability/reliability_util.h"
#include "tests/support/test_support.h"

namespace {

const std::string kSuccess = "插入成功!";

class HostileStoreTest : public ::testing::Test {
 protected:
  std::string Database() const { return dir.Dir() + "dravo.mdb"; }

  void Sql(const std::string& sql) {
    std::string output;
    ASSERT_TRUE(qtest::RunStoreSql(Database(), sql, &output)) << sql << "\n" << output;
  }

  qrel::ChildResult Cli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {qrel::CliProgram(), "--store", dir.Dir()};
    argv.insert(argv.end(), args.begin(), args.end());
    return qrel::RunChild(argv);
  }

  std::string Model(const std::string& tag) {
    const auto path = dir.Path() / (tag + ".mdl");
    qtest::WriteFileBytes(path, qtest::ModelText(qrel::TaggedValues(tag)));
    return path.string();
  }

  // table1's columns as the program makes them, with `extra` before the closing parenthesis.
  static std::string Table1(const std::string& key, const std::string& extra = "", const std::string& tail = "") {
    std::string sql = "CREATE TABLE table1 (" + key;
    for (const char* column : kParameterColumns) sql += std::string(", \"") + column + "\" TEXT";
    return sql + extra + ")" + tail + ";";
  }

  qtest::TempDir dir;
};

// Each schema is refused when the store is opened: the message names the file, the command fails,
// no row is added and the file is left as it was.
TEST_F(HostileStoreTest, AStoreWithAnythingTheProgramDidNotMakeIsRefusedUntouched) {
  const std::string keyed = "id INTEGER PRIMARY KEY AUTOINCREMENT";
  const std::string rebuilt = "DROP TABLE table1; ";
  std::string conflict = Table1(keyed);
  conflict.replace(conflict.find("\"L0\" TEXT"), 9, "\"L0\" TEXT NOT NULL ON CONFLICT IGNORE");
  struct Case {
    const char* name;
    std::string sql;
  };
  const std::vector<Case> cases = {
      {"endless view", "CREATE VIEW endless AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                       "SELECT x FROM c;"},
      {"rtreenode view", "CREATE VIEW crash AS SELECT rtreenode(2, x'00010000000000000000');"},
      {"trigger that drops the row", "CREATE TRIGGER drop_row BEFORE INSERT ON table1 BEGIN SELECT RAISE(IGNORE); END;"},
      {"trigger that rewrites history",
       "CREATE TRIGGER rewrite AFTER INSERT ON table1 BEGIN UPDATE table1 SET L0 = 'forged'; END;"},
      {"index", "CREATE INDEX by_l0 ON table1 (L0);"},
      {"statistics", "CREATE INDEX by_l0 ON table1 (L0); ANALYZE; DROP INDEX by_l0;"},
      {"virtual table", "CREATE VIRTUAL TABLE boxes USING rtree(id, x0, x1);"},
      {"another table", "CREATE TABLE extra (x);"},
      {"table1 a view", "ALTER TABLE table1 RENAME TO old; CREATE VIEW table1 AS SELECT * FROM old;"},
      {"user column rowid", rebuilt + Table1(keyed, ", rowid TEXT")},
      {"WITHOUT ROWID", rebuilt + Table1("id INTEGER PRIMARY KEY", "", " WITHOUT ROWID")},
      {"CHECK with a function", rebuilt + Table1(keyed, ", CHECK (rtreenode(2, x'00') IS NULL)")},
      {"conflict clause that drops the row", rebuilt + conflict},
      {"default", rebuilt + Table1(keyed, ", source TEXT DEFAULT (zeroblob(100000000))")},
      {"numeric column", rebuilt + Table1(keyed, ", source REAL")},
      {"parameter column missing", rebuilt + "CREATE TABLE table1 (" + keyed + ", L0 TEXT);"},
      // Rows of the schema that say another thing than their SQL makes.
      {"table1 whose SQL makes another table",
       "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, 'CREATE TABLE table1', "
       "'CREATE TABLE \"L0\"') WHERE name = 'table1';"},
      {"sqlite_sequence on table1's page",
       "INSERT INTO table1 (L0) VALUES ('x'); PRAGMA writable_schema = ON; UPDATE sqlite_master SET rootpage = "
       "(SELECT rootpage FROM sqlite_master WHERE name = 'table1') WHERE name = 'sqlite_sequence';"},
      {"a page beyond the file", "PRAGMA writable_schema = ON; UPDATE sqlite_master SET rootpage = 99999 "
                                 "WHERE name = 'table1';"},
      {"UTF-16 text", "UTF-16"},
  };
  const std::string refused = "数据库结构不符：" + Database() + " 含有本程序未建立的内容";
  const std::string model = Model("m");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(Database());
    if (c.sql == "UTF-16") {
      // The program's own table in a store whose texts are UTF-16.
      Sql("PRAGMA encoding = 'UTF-16le'; " + Table1(keyed, ", imported_at TEXT, source TEXT"));
    } else {
      ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
      Sql(c.sql);
    }
    const std::string before = qtest::ReadFileBytes(Database());
    for (const std::vector<std::string>& command : {std::vector<std::string>{"import", model},
                                                   std::vector<std::string>{"history"}}) {
      SCOPED_TRACE(command[0]);
      const qrel::ChildResult result = Cli(command);
      EXPECT_EQ(result.status, 1) << result.output;
      EXPECT_EQ(result.output.rfind("连接数据库失败!\n错误信息：" + refused, 0), 0u) << result.output;
      EXPECT_EQ(result.output.find(kSuccess), std::string::npos) << result.output;
    }
    EXPECT_EQ(qtest::ReadFileBytes(Database()), before) << "the refused store was changed";
  }
}

// The store of the earlier release (made by hand, bare names, no provenance, rollback journal) is
// accepted; its first write moves it to the write-ahead log.
TEST_F(HostileStoreTest, AnEarlierStoreIsAcceptedAndMovesToTheLogOnItsFirstWrite) {
  Sql("CREATE TABLE table1 (id INTEGER PRIMARY KEY AUTOINCREMENT, L0 TEXT, R0 TEXT, R1 TEXT, [CPE1-T] TEXT, "
      "`CPE1-P` TEXT, R2 TEXT, \"CPE2-T\" TEXT, \"CPE2-P\" TEXT, R3 TEXT, \"CPE3-T\" TEXT, \"CPE3-P\" TEXT);"
      "INSERT INTO table1 (L0) VALUES ('old');");
  std::string mode;
  ASSERT_TRUE(qtest::RunStoreSql(Database(), "PRAGMA journal_mode;", &mode));
  EXPECT_EQ(mode, "delete\n");

  const qrel::ChildResult history = Cli({"history"});
  EXPECT_EQ(history.status, 0) << history.output;
  const qrel::ChildResult saved = Cli({"import", Model("new")});
  EXPECT_EQ(saved.status, 0) << saved.output;
  EXPECT_EQ(saved.output, kSuccess + "\n");
  ASSERT_TRUE(qtest::RunStoreSql(Database(), "PRAGMA journal_mode;", &mode));
  EXPECT_EQ(mode, "wal\n");
  const std::vector<qtest::TableRow> rows = qtest::ReadTableRows(Database());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], qtest::RowOf(qrel::TaggedValues("new")));
  EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
}

// A statement that would run for ever is interrupted by the bound on one call into the engine, and
// the handle goes on working.
TEST_F(HostileStoreTest, ARunawayStatementIsInterrupted) {
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  const auto database = sqlcipher::OpenDatabase(Database(), qtest::StoreKey());
  const auto start = std::chrono::steady_clock::now();
  try {
    sqlcipher::Execute(database->Handle(),
                       "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");
    ADD_FAILURE() << "the endless query ended";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("interrupt"), std::string::npos) << e.what();
  }
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(took, std::chrono::seconds(60)) << "the statement must never run unbounded";
  ::testing::Test::RecordProperty("interrupted_after_ms", static_cast<int>(took.count()));
  sqlcipher::Execute(database->Handle(), "SELECT count(*) FROM table1");
}

// `history` paused by a full pipe (as under a pager) holds its read; an import beside it saves at
// once, and the reader still sees the rows of its own start.
TEST_F(HostileStoreTest, APausedReaderNeverMakesAnImportFail) {
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  constexpr int kRows = 4000;  // about 200 KB of CSV: more than a pipe holds
  Sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(kRows) +
      ") INSERT INTO table1 (L0, R0, R1, R2, R3) SELECT 'row ' || i, '1.5E-3', '2', '3', '4' FROM n;");

  qrel::Child reader = qrel::StartChild({qrel::CliProgram(), "--store", dir.Dir(), "history"});
  ASSERT_GT(reader.pid, 0);
  pollfd ready{reader.out, POLLIN, 0};
  ASSERT_EQ(::poll(&ready, 1, 30000), 1) << "the reader wrote nothing";

  const auto start = std::chrono::steady_clock::now();
  const qrel::ChildResult saved = Cli({"import", Model("beside")});
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_EQ(saved.status, 0) << saved.output;
  EXPECT_EQ(saved.output, kSuccess + "\n");
  ::testing::Test::RecordProperty("import_beside_reader_ms", static_cast<int>(took.count()));

  const qrel::ChildResult history = qrel::FinishChild(reader);
  EXPECT_EQ(history.status, 0);
  long lines = 0;
  for (char c : history.output) lines += c == '\n' ? 1 : 0;
  EXPECT_EQ(lines, kRows + 1);  // the header and the rows the reader started with
  const std::vector<qtest::TableRow> rows = qtest::ReadTableRows(Database());
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows) + 1);
  EXPECT_EQ(rows.back(), qtest::RowOf(qrel::TaggedValues("beside")));
  EXPECT_EQ(qtest::IntegrityCheck(Database()), "ok");
}

// Links and other files planted at the names the engine opens: the command fails without touching
// what they point at, and works again once they are gone.
TEST_F(HostileStoreTest, NoFileBesideTheStoreIsFollowedOrOpenedUnlessItIsAPlainFile) {
  namespace fs = std::filesystem;
  const std::string victim = dir.Dir() + "victim";
  const std::string real = dir.Dir() + "real.mdb";
  const std::string model = Model("m");
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  for (const char* plant : {"-wal link", "-shm link", "-wal hard link", "-shm pipe", " link"}) {
    SCOPED_TRACE(plant);
    qtest::WriteFileBytes(victim, "precious");
    const std::string at = Database() + std::string(plant).substr(0, std::string(plant).find(' '));
    for (const char* beside : {"-wal", "-shm"}) fs::remove(Database() + beside);
    if (at == Database()) fs::rename(at, real);
    const std::string kind = std::string(plant).substr(std::string(plant).find(' ') + 1);
    if (kind == "link") fs::create_symlink(at == Database() ? real : victim, at);
    if (kind == "hard link") fs::create_hard_link(victim, at);
    if (kind == "pipe") ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
    for (const char* command : {"import", "history"}) {
      const qrel::ChildResult result = Cli(command == std::string("import") ? std::vector<std::string>{command, model}
                                                                            : std::vector<std::string>{command});
      EXPECT_EQ(result.status, 1) << result.output;
      EXPECT_NE(result.output.find("不能是链接"), std::string::npos) << result.output;
    }
    EXPECT_EQ(qtest::ReadFileBytes(victim), "precious");
    fs::remove(at);
    if (at == Database()) fs::rename(real, at);
  }
  EXPECT_EQ(Cli({"import", model}).status, 0);
  EXPECT_EQ(qtest::ReadTableRows(Database()).size(), 1u);
}

// The key sequence at its greatest value: the import says so and saves nothing.
TEST_F(HostileStoreTest, AKeySequenceAtItsEndIsToldClearly) {
  ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
  Sql("INSERT INTO sqlite_sequence (name, seq) VALUES ('table1', 9223372036854775807);");
  const qrel::ChildResult result = Cli({"import", Model("m")});
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("行号已用尽"), std::string::npos) << result.output;
  EXPECT_TRUE(qtest::ReadTableRows(Database()).empty());
}

}  // namespace
