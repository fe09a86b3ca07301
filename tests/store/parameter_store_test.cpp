// The Linux store over real SQLCipher files through ParameterStore, and the run's store of the
// dialog and qelmora-cli: what reaches the file is read back with the sqlcipher shell.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/store/store_test_util.h"

namespace {

using storetest::AsColumns;
using storetest::DumpTable;
using storetest::SampleSet;
using storetest::StoreFailure;
using storetest::StoreFixture;

const std::string kNullRowAfterL0 = ",<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n";

std::vector<StoredRow> History(ParameterStore& store) {
  std::vector<StoredRow> rows;
  store.ReadHistory([&](const StoredRow& row) { rows.push_back(row); });
  return rows;
}

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

TEST(ParameterStoreFile, CreationRefusesToOverwriteAndNeedsItsFolder) {
  StoreFixture store;
  store.Append({{"L0", "kept"}});
  store.store.reset();
  const std::string before = qtest::ReadFileBytes(store.DatabasePath());
  EXPECT_EQ(qtest::OperationFailure([&] { CreateParameterStore(store.dir.Dir()); }),
            "数据库文件已存在，未覆盖：" + store.DatabasePath());
  EXPECT_EQ(qtest::ReadFileBytes(store.DatabasePath()), before);
  // No temporary file is left beside it.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(store.dir.Path())) ++entries;
  EXPECT_EQ(entries, 1u);

  const std::string missing = store.dir.Dir() + "no-such-dir/";
  const std::string failure = qtest::OperationFailure([&] { CreateParameterStore(missing); });
  EXPECT_EQ(failure.rfind("无法创建数据库文件 " + missing + "dravo.mdb：", 0), 0u) << failure;
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(ParameterStoreOpen, AStoreWithoutTable1IsOpenedAndEveryOperationSaysSo) {
  qtest::TempDir dir;
  // A keyed store without any table (a table of another name would refuse the store itself).
  const auto made = storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "PRAGMA user_version = 1;");
  ASSERT_EQ(made.status, 0) << made.output;
  std::unique_ptr<ParameterStore> store = OpenParameterStoreAt(dir.Dir());
  const std::string noTable = "参数数据库 " + dir.Dir() + "dravo.mdb 中没有表 table1，未执行任何操作。";
  EXPECT_EQ(StoreFailure([&] { store->ReadCurrent(); }), noTable);
  EXPECT_EQ(StoreFailure([&] { History(*store); }), noTable);
  EXPECT_EQ(StoreFailure([&] { store->StartRow(); }), noTable);
  EXPECT_EQ(store->Name(), dir.Dir() + "dravo.mdb");
}

TEST(ParameterStoreRead, TheCurrentSetIsTheLastRowAndTheHistoryGoesInOrder) {
  StoreFixture store;
  EXPECT_EQ(StoreFailure([&] { store.store->ReadCurrent(); }), "参数历史中还没有数据，请先导入模型文件");
  EXPECT_TRUE(History(*store.store).empty());

  // Two rows written by the sqlcipher shell, two through the store.
  const auto written = storetest::Sqlcipher(
      store.DatabasePath(), storetest::StoreKey(),
      "INSERT INTO table1 (L0, \"CPE1-T\") VALUES ('1.5E-3', '2,5'); INSERT INTO table1 (R0) VALUES ('中文');");
  ASSERT_EQ(written.status, 0) << written.output;
  store.Append({{"L0", "third"}, {"CPE3-P", "0.8"}}, {"2026-01-02T03:04:05Z", "/data/a.mdl"});
  ParameterSet last = SampleSet("d");
  last[kCpe2T] = "";  // left NULL
  std::vector<std::pair<std::string, std::string>> columns = AsColumns(last);
  columns.erase(columns.begin() + kCpe2T);
  store.Append(columns);

  const StoredRow current = store.store->ReadCurrent();
  EXPECT_EQ(current.parameters, last);
  EXPECT_EQ(current.provenance, (Provenance{"", ""}));
  EXPECT_TRUE(current.importedBy.empty() && current.workstation.empty());
  const std::vector<StoredRow> rows = History(*store.store);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].parameters[kL0], "1.5E-3");
  EXPECT_EQ(rows[0].parameters[kCpe1T], "2,5");
  EXPECT_EQ(rows[0].parameters[kR0], "");
  EXPECT_EQ(rows[1].parameters[kR0], "中文");
  EXPECT_EQ(rows[2].parameters[kCpe3P], "0.8");
  EXPECT_EQ(rows[2].provenance, (Provenance{"2026-01-02T03:04:05Z", "/data/a.mdl"}));
  EXPECT_EQ(rows[3].parameters, last);
}

TEST(ParameterStoreWrite, ARowIsSavedWholeOrNotAtAll) {
  StoreFixture store;
  store.Append({{"L0", "first"}});
  {
    std::unique_ptr<PendingRow> row = store.store->StartRow();
    row->Put("L0", "second");
    row->Put("R0", "1");
    row->Put("R0", "2");  // written twice: the later value holds
    row->Put("source", "from the file");  // the import's provenance wins
    row->Save({"t", "/m.mdl"});
  }
  EXPECT_EQ(store.store->ReadCurrent().provenance, (Provenance{"t", "/m.mdl"}));
  {
    // Dropped, or let go without Save: nothing of it reaches the file.
    std::unique_ptr<PendingRow> dropped = store.store->StartRow();
    dropped->Put("L0", "dropped");
    dropped->Drop();
    store.store->StartRow()->Put("L0", "let go");
  }
  // A row with no value is a row of NULLs.
  store.Append({});
  EXPECT_EQ(DumpTable(store.DatabasePath()),
            "first" + kNullRowAfterL0 + "second,2,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n" +
                "<NULL>" + kNullRowAfterL0);
}

}  // namespace
