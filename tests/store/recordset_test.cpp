// The connection and the recordset over real SQLCipher files: ADO's observable behaviour, and what
// reaches the file, read back with the sqlcipher shell.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>

#include "tests/store/store_test_util.h"

namespace {

using storetest::AsColumns;
using storetest::DumpTable;
using storetest::SampleSet;
using storetest::StoreFixture;

// The HRESULT a call fails with (0 when it does not fail).
HResult ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ComError& e) {
    return e.Error();
  }
  return 0;
}

std::unique_ptr<Recordset> OpenOn(Connection& connection) {
  std::unique_ptr<Recordset> recordset = CreateRecordsetObject();
  recordset->Open(kTableQuery, connection, adOpenDynamic, adLockOptimistic, adCmdText);
  return recordset;
}

const std::string kNullRowAfterL0 = ",<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n";

TEST(ParameterStoreFile, IsKeyedAndReadableWithTheKeyOnly) {
  StoreFixture store;
  store.Append(AsColumns(SampleSet("a")));

  const std::string bytes = qtest::ReadFileBytes(store.DatabasePath());
  ASSERT_GE(bytes.size(), 16u);
  EXPECT_NE(bytes.substr(0, 16), std::string("SQLite format 3\0", 16));

  // The sqlcipher shell with the key reads the schema and the row; without it, nothing.
  const auto schema = storetest::Sqlcipher(store.DatabasePath(), storetest::StoreKey(), "PRAGMA table_info(table1);");
  EXPECT_EQ(schema.status, 0) << schema.output;
  EXPECT_EQ(schema.output,
            "0,id,INTEGER,0,<NULL>,1\n1,L0,TEXT,0,<NULL>,0\n2,R0,TEXT,0,<NULL>,0\n3,R1,TEXT,0,<NULL>,0\n"
            "4,CPE1-T,TEXT,0,<NULL>,0\n5,CPE1-P,TEXT,0,<NULL>,0\n6,R2,TEXT,0,<NULL>,0\n7,CPE2-T,TEXT,0,<NULL>,0\n"
            "8,CPE2-P,TEXT,0,<NULL>,0\n9,R3,TEXT,0,<NULL>,0\n10,CPE3-T,TEXT,0,<NULL>,0\n11,CPE3-P,TEXT,0,<NULL>,0\n"
            "12,imported_at,TEXT,0,<NULL>,0\n13,source,TEXT,0,<NULL>,0\n");
  EXPECT_EQ(DumpTable(store.DatabasePath()),
            "a.1E-3,a.2E-3,a.3E-3,a.4E-3,a.5E-3,a.6E-3,a.7E-3,a.8E-3,a.9E-3,a.10E-3,a.11E-3\n");
  const auto unkeyed = storetest::Sqlcipher(store.DatabasePath(), "", "SELECT count(*) FROM table1;");
  EXPECT_NE(unkeyed.status, 0);
  EXPECT_NE(unkeyed.output.find("not a database"), std::string::npos) << unkeyed.output;
}

TEST(ParameterStoreFile, CreationRefusesToOverwrite) {
  StoreFixture store;
  store.Append({{"L0", "kept"}});
  store.connection->Close();
  const std::string before = qtest::ReadFileBytes(store.DatabasePath());

  const std::string failure = qtest::OperationFailure([&] { CreateParameterStore(store.dir.Dir()); });
  EXPECT_EQ(failure, "数据库文件已存在，未覆盖：" + store.DatabasePath());
  EXPECT_EQ(qtest::ReadFileBytes(store.DatabasePath()), before);
  // No temporary file is left beside it.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(store.dir.Path())) ++entries;
  EXPECT_EQ(entries, 1u);
}

TEST(ParameterStoreFile, CreationInAMissingDirectoryFails) {
  qtest::TempDir dir;
  const std::string missing = dir.Dir() + "no-such-dir/";
  const std::string failure = qtest::OperationFailure([&] { CreateParameterStore(missing); });
  EXPECT_EQ(failure.rfind("无法创建数据库文件 " + missing + "dravo.mdb：", 0), 0u) << failure;
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(Connection, MissingFileIsNotCreated) {
  qtest::TempDir dir;
  std::unique_ptr<Connection> connection = CreateConnectionObject();
  EXPECT_EQ(ErrorOf([&] { connection->Open(ConnectionString("", dir.Dir()), "", "", 0); }), kHrFail);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  // Still closed: Close fails, a recordset cannot use it.
  EXPECT_EQ(ErrorOf([&] { connection->Close(); }), kHrObjectClosed);
  std::unique_ptr<Recordset> recordset = CreateRecordsetObject();
  EXPECT_EQ(ErrorOf([&] { recordset->Open(kTableQuery, *connection, adOpenDynamic, adLockOptimistic, adCmdText); }),
            kHrInvalidConnection);
}

TEST(Connection, WrongKeyOrUnencryptedFileIsAnAuthenticationFailure) {
  StoreFixture store;
  store.connection->Close();
  std::string wrong = store.ConnectionText();
  wrong.replace(wrong.find("Password=") + 9, std::string::npos, "000000");
  std::unique_ptr<Connection> connection = CreateConnectionObject();
  EXPECT_EQ(ErrorOf([&] { connection->Open(wrong, "", "", 0); }), kHrWrongPassword);

  // A plain SQLite file with a table1 of its own, made by the shell without a key.
  qtest::TempDir plainDir;
  const auto made = storetest::Sqlcipher(plainDir.Dir() + "dravo.mdb", "",
                                         "CREATE TABLE table1 (L0 TEXT); INSERT INTO table1 VALUES ('x');");
  ASSERT_EQ(made.status, 0) << made.output;
  EXPECT_EQ(ErrorOf([&] { connection->Open(ConnectionString("", plainDir.Dir()), "", "", 0); }), kHrWrongPassword);

  // With the right key the same object opens; a second Open of an open connection fails.
  connection->Open(store.ConnectionText(), "", "", 0);
  EXPECT_EQ(ErrorOf([&] { connection->Open(store.ConnectionText(), "", "", 0); }), kHrObjectOpen);
  connection->Close();
}

TEST(Recordset, RowsComeBackInAppendOrderWithTheirTexts) {
  StoreFixture store;
  // Two rows written by the sqlcipher shell, one through the recordset.
  const auto written = storetest::Sqlcipher(
      store.DatabasePath(), storetest::StoreKey(),
      "INSERT INTO table1 (L0, \"CPE1-T\") VALUES ('1.5E-3', '2,5'); INSERT INTO table1 (R0) VALUES ('中文');");
  ASSERT_EQ(written.status, 0) << written.output;
  store.Append({{"L0", "third"}, {"CPE3-P", "0.8"}});

  auto rs = OpenOn(*store.connection);
  ASSERT_FALSE(rs->GetEOF());
  EXPECT_EQ(rs->GetCollect("L0"), "1.5E-3");
  EXPECT_EQ(rs->GetCollect("CPE1-T"), "2,5");
  EXPECT_EQ(rs->GetCollect("R0"), std::nullopt);
  rs->MoveNext();
  EXPECT_EQ(rs->GetCollect("R0"), "中文");
  EXPECT_EQ(rs->GetCollect("L0"), std::nullopt);
  rs->MoveNext();
  EXPECT_EQ(rs->GetCollect("L0"), "third");
  EXPECT_EQ(rs->GetCollect("CPE3-P"), "0.8");
  rs->MoveNext();
  EXPECT_TRUE(rs->GetEOF());
  rs->Close();
}

TEST(Recordset, CursorMovesAndTheirEnds) {
  StoreFixture store;
  for (const char* value : {"r1", "r2", "r3"}) store.Append({{"R1", value}});
  auto rs = OpenOn(*store.connection);

  // Backwards from the first row: before the beginning, where nothing can be read or moved back.
  EXPECT_EQ(rs->GetCollect("R1"), "r1");
  rs->MovePrevious();
  EXPECT_FALSE(rs->GetEOF());
  EXPECT_EQ(ErrorOf([&] { rs->GetCollect("R1"); }), kHrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MovePrevious(); }), kHrNoCurrentRecord);
  rs->MoveNext();
  EXPECT_EQ(rs->GetCollect("R1"), "r1");

  // Forward to the end; past it, nothing.
  rs->MoveNext();
  rs->MoveNext();
  EXPECT_EQ(rs->GetCollect("R1"), "r3");
  rs->MoveNext();
  EXPECT_TRUE(rs->GetEOF());
  EXPECT_EQ(ErrorOf([&] { rs->GetCollect("R1"); }), kHrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), kHrNoCurrentRecord);
  EXPECT_TRUE(rs->GetEOF());

  // Back and forth from the end: every step lands on the right row.
  rs->MovePrevious();
  EXPECT_EQ(rs->GetCollect("R1"), "r3");
  rs->MovePrevious();
  EXPECT_EQ(rs->GetCollect("R1"), "r2");
  rs->MoveNext();
  EXPECT_EQ(rs->GetCollect("R1"), "r3");
  rs->MovePrevious();
  rs->MovePrevious();
  EXPECT_EQ(rs->GetCollect("R1"), "r1");
  rs->MoveNext();
  EXPECT_EQ(rs->GetCollect("R1"), "r2");
  rs->Close();
}

TEST(Recordset, EmptyTable) {
  StoreFixture store;
  auto rs = OpenOn(*store.connection);
  EXPECT_TRUE(rs->GetEOF());
  EXPECT_EQ(ErrorOf([&] { rs->GetCollect("L0"); }), kHrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), kHrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MovePrevious(); }), kHrNoCurrentRecord);
  rs->Close();
}

TEST(Recordset, OpenStateRules) {
  StoreFixture store;
  store.Append({{"L0", "only"}});
  std::unique_ptr<Recordset> rs = CreateRecordsetObject();

  // Every call on a closed recordset fails.
  EXPECT_EQ(ErrorOf([&] { rs->GetEOF(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->MovePrevious(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->GetCollect("L0"); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->PutCollect("L0", "x"); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->Update(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->CancelUpdate(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->Close(); }), kHrObjectClosed);

  // Only the table query opens it.
  EXPECT_EQ(ErrorOf([&] { rs->Open("SELECT * FROM table1 ORDER BY L0", *store.connection, 2, 3, 1); }),
            kHrCommandError);
  EXPECT_EQ(ErrorOf([&] { rs->Open("DROP TABLE table1", *store.connection, 2, 3, 1); }), kHrCommandError);
  EXPECT_EQ(ErrorOf([&] { rs->GetEOF(); }), kHrObjectClosed);

  // Open twice: the second fails and the first stays usable where it stood.
  rs->Open(kTableQuery, *store.connection, adOpenDynamic, adLockOptimistic, adCmdText);
  rs->MoveNext();
  EXPECT_EQ(ErrorOf([&] { rs->Open(kTableQuery, *store.connection, 2, 3, 1); }), kHrObjectOpen);
  EXPECT_TRUE(rs->GetEOF());
  rs->MovePrevious();
  EXPECT_EQ(rs->GetCollect("L0"), "only");
  rs->Close();
  // Closed again, and it opens anew.
  rs->Open(kTableQuery, *store.connection, adOpenDynamic, adLockOptimistic, adCmdText);
  EXPECT_EQ(rs->GetCollect("L0"), "only");

  // Closing the connection closes the recordset.
  store.connection->Close();
  EXPECT_EQ(ErrorOf([&] { rs->GetEOF(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->Close(); }), kHrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->Open(kTableQuery, *store.connection, 2, 3, 1); }), kHrInvalidConnection);
}

TEST(Recordset, MissingTable) {
  qtest::TempDir dir;
  // A keyed store without any table (a table of another name would refuse the store itself).
  const auto made = storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "PRAGMA user_version = 1;");
  ASSERT_EQ(made.status, 0) << made.output;
  std::unique_ptr<Connection> connection = CreateConnectionObject();
  connection->Open(ConnectionString("", dir.Dir()), "", "", 0);
  std::unique_ptr<Recordset> rs = CreateRecordsetObject();
  EXPECT_EQ(ErrorOf([&] { rs->Open(kTableQuery, *connection, 2, 3, 1); }), kHrNoSuchTable);
  EXPECT_EQ(ErrorOf([&] { rs->GetEOF(); }), kHrObjectClosed);
}

TEST(Recordset, AppendedRowIsCurrentAndLast) {
  StoreFixture store;
  store.Append({{"L0", "first"}});
  auto rs = OpenOn(*store.connection);
  while (!rs->GetEOF()) rs->MoveNext();
  rs->AddNew();
  EXPECT_FALSE(rs->GetEOF());
  EXPECT_EQ(rs->GetCollect("L0"), std::nullopt);
  rs->PutCollect("L0", "second");
  rs->PutCollect("R0", "1");
  rs->PutCollect("R0", "2");  // written twice: the later value holds
  EXPECT_EQ(rs->GetCollect("R0"), "2");
  rs->Update();
  EXPECT_EQ(rs->GetCollect("L0"), "second");
  EXPECT_EQ(rs->GetCollect("R0"), "2");
  EXPECT_EQ(rs->GetCollect("R1"), std::nullopt);
  rs->MoveNext();
  EXPECT_TRUE(rs->GetEOF());
  rs->MovePrevious();
  EXPECT_EQ(rs->GetCollect("L0"), "second");

  // A row with no value at all is a row of NULLs.
  rs->AddNew();
  rs->Update();
  rs->Close();
  EXPECT_EQ(DumpTable(store.DatabasePath()),
            "first" + kNullRowAfterL0 + "second,2,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n" +
                "<NULL>" + kNullRowAfterL0);
}

TEST(Recordset, PendingRowBlocksCloseAndMovesUntilCancelled) {
  StoreFixture store;
  store.Append({{"L0", "kept"}});
  const std::string before = DumpTable(store.DatabasePath());

  auto rs = OpenOn(*store.connection);
  rs->AddNew();
  rs->PutCollect("L0", "dropped");
  EXPECT_EQ(ErrorOf([&] { rs->Close(); }), kHrIllegalOperation);
  // Moving off a pending row would have to save it half-made: refused.
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }), kHrIllegalOperation);
  EXPECT_EQ(ErrorOf([&] { rs->MovePrevious(); }), kHrIllegalOperation);
  EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }), kHrIllegalOperation);
  EXPECT_EQ(rs->GetCollect("L0"), "dropped");
  rs->CancelUpdate();
  // Back on the row that was current before AddNew.
  EXPECT_EQ(rs->GetCollect("L0"), "kept");
  rs->Close();
  EXPECT_EQ(DumpTable(store.DatabasePath()), before);
}

TEST(Recordset, ClosingTheConnectionDropsAPendingRow) {
  StoreFixture store;
  auto rs = OpenOn(*store.connection);
  rs->AddNew();
  rs->PutCollect("L0", "never saved");
  store.connection->Close();
  EXPECT_EQ(ErrorOf([&] { rs->Update(); }), kHrObjectClosed);
  EXPECT_EQ(DumpTable(store.DatabasePath()), "");
}

TEST(Recordset, ColumnNamesAreCheckedAgainstTheTable) {
  StoreFixture store;
  store.Append({{"L0", "kept"}});
  const std::string before = DumpTable(store.DatabasePath());
  const auto schema = storetest::Sqlcipher(store.DatabasePath(), storetest::StoreKey(), "SELECT sql FROM sqlite_master;");

  auto rs = OpenOn(*store.connection);
  const char* hostile[] = {
      "L0\" TEXT); DROP TABLE table1; --", "L0; DROP TABLE table1", "[L0]", "\"L0\"", "`L0`", "'L0'",
      "l0", "L0 ", "rowid", "CPE1", "CPE1-t", "", "L0\"", "*",
  };
  for (const char* name : hostile) {
    EXPECT_EQ(ErrorOf([&] { rs->GetCollect(name); }), kHrItemNotFound) << name;
  }
  rs->AddNew();
  rs->PutCollect("L0", "pending");
  for (const char* name : hostile) {
    EXPECT_EQ(ErrorOf([&] { rs->PutCollect(name, "x"); }), kHrItemNotFound) << name;
  }
  // The key is the store's: never written from outside.
  EXPECT_EQ(ErrorOf([&] { rs->PutCollect("id", "1"); }), kHrFeatureNotAvailable);
  rs->CancelUpdate();
  // Existing rows are never changed.
  EXPECT_EQ(ErrorOf([&] { rs->PutCollect("L0", "changed"); }), kHrIllegalOperation);
  rs->Close();

  EXPECT_EQ(DumpTable(store.DatabasePath()), before);
  EXPECT_EQ(storetest::Sqlcipher(store.DatabasePath(), storetest::StoreKey(), "SELECT sql FROM sqlite_master;").output,
            schema.output);
}

TEST(Recordset, ValuesAreStoredByteForByte) {
  StoreFixture store;
  const std::string values[] = {"1.5E-3", "  7 ", "'; DROP TABLE table1; --", "a\"b,c\r\nd", "1e400", "0x1F",
                                std::string("nul\0inside", 10), "\xff\xfe"};
  for (const std::string& value : values) store.Append({{"CPE2-T", value}});
  auto rs = OpenOn(*store.connection);
  for (const std::string& value : values) {
    EXPECT_EQ(rs->GetCollect("CPE2-T"), value);
    rs->MoveNext();
  }
  EXPECT_TRUE(rs->GetEOF());
  rs->Close();
  // The shell sees text, not a number: no numeric affinity turned "1.5E-3" into 0.0015.
  EXPECT_EQ(storetest::Sqlcipher(store.DatabasePath(), storetest::StoreKey(),
                                 "SELECT typeof(\"CPE2-T\"), \"CPE2-T\" FROM table1 ORDER BY rowid LIMIT 1;")
                .output,
            "text,1.5E-3\n");
}

// A second connection in this process, as another program would hold the file.
class RawConnection {
 public:
  explicit RawConnection(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    const std::string key = storetest::StoreKey();
    sqlite3_key(m_db, key.data(), static_cast<int>(key.size()));
  }
  ~RawConnection() { sqlite3_close_v2(m_db); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  int Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

 private:
  sqlite3* m_db = nullptr;
};

TEST(Recordset, LockedDatabaseFailsTheUpdateAndKeepsTheRowPending) {
  StoreFixture store;
  store.Append({{"L0", "kept"}});
  auto rs = OpenOn(*store.connection);
  while (!rs->GetEOF()) rs->MoveNext();
  rs->AddNew();
  for (const char* column : kParameterColumns) rs->PutCollect(column, "v");

  RawConnection other(store.DatabasePath());
  ASSERT_EQ(other.Exec("BEGIN EXCLUSIVE"), SQLITE_OK);
  // Fails after the bounded wait instead of hanging, saying the store is busy; nothing is written.
  EXPECT_EQ(ErrorOf([&] { rs->Update(); }), kHrStoreBusy);
  EXPECT_EQ(rs->GetCollect("L0"), "v");
  ASSERT_EQ(other.Exec("ROLLBACK"), SQLITE_OK);
  EXPECT_EQ(DumpTable(store.DatabasePath()), "kept" + kNullRowAfterL0);

  // Once the lock is gone the same pending row saves, whole.
  rs->Update();
  rs->Close();
  EXPECT_EQ(DumpTable(store.DatabasePath()), "kept" + kNullRowAfterL0 + "v,v,v,v,v,v,v,v,v,v,v\n");
}

}  // namespace
