// The Linux store through ParameterStore over real SQLCipher files; what reaches the file is read
// back with the sqlcipher shell. (The import, the dialog and qelmora-cli check the rest through it.)
#include <gtest/gtest.h>

#include "tests/store/store_test_util.h"

namespace {

using storetest::DumpTable;
using storetest::StoreFailure;

const std::string kNullRowAfterL0 = ",<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n";

TEST(ParameterStore, RowsAreSavedWholeOrNotAtAllAndTheLastIsCurrentWithItsProvenance) {
  storetest::StoreFixture store;
  store.Append({{"L0", "first"}});
  {
    std::unique_ptr<PendingRow> row = store.store->StartRow();
    row->Put("L0", "second");
    row->Put("R0", "1");
    row->Put("R0", "2");                  // written twice: the later value holds
    row->Put("source", "from the file");  // the import's provenance wins
    row->Save({"t", "/m.mdl"});
    // Dropped, or let go without Save: nothing of it reaches the file.
    store.store->StartRow()->Put("L0", "let go");
    std::unique_ptr<PendingRow> dropped = store.store->StartRow();
    dropped->Put("L0", "dropped");
    dropped->Drop();
  }
  const StoredRow current = store.store->ReadCurrent();
  EXPECT_EQ(current.parameters[kL0], "second");
  EXPECT_EQ(current.provenance, (Provenance{"t", "/m.mdl"}));
  EXPECT_TRUE(current.importedBy.empty() && current.workstation.empty());
  EXPECT_EQ(DumpTable(store.DatabasePath()),
            "first" + kNullRowAfterL0 + "second,2,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>,<NULL>\n");
  EXPECT_EQ(store.store->Name(), store.DatabasePath());
}

TEST(ParameterStore, AStoreWithoutTable1IsOpenedAndEveryOperationSaysSo) {
  qtest::TempDir dir;
  // A keyed store without any table (a table of another name would refuse the store itself).
  const auto made = storetest::Sqlcipher(dir.Dir() + "dravo.mdb", storetest::StoreKey(), "PRAGMA user_version = 1;");
  ASSERT_EQ(made.status, 0) << made.output;
  std::unique_ptr<ParameterStore> store = OpenParameterStoreAt(dir.Dir());
  const std::string noTable = "参数数据库 " + dir.Dir() + "dravo.mdb 中没有表 table1，未执行任何操作。";
  EXPECT_EQ(StoreFailure([&] { store->ReadCurrent(); }), noTable);
  EXPECT_EQ(StoreFailure([&] { store->ReadHistory([](const StoredRow&) {}); }), noTable);
  EXPECT_EQ(StoreFailure([&] { store->StartRow(); }), noTable);
}

}  // namespace
