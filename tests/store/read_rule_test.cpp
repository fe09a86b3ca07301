// Opening the store, the read rule and the messages, through the application-wide objects.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/store/store_test_util.h"

namespace {

using storetest::AsColumns;
using storetest::SampleSet;

class ReadRule : public ::testing::Test {
 protected:
  void TearDown() override {
    g_pRecordset.Release();
    g_pConnection.Release();
  }

  // A new store in the temp dir with the rows given (empty texts left NULL), then
  // OpenParameterStore on it.
  void OpenWithRows(const std::vector<ParameterSet>& rows) {
    ASSERT_NO_THROW(CreateParameterStore(dir.Dir()));
    {
      std::unique_ptr<Connection> connection = CreateConnectionObject();
      connection->Open(ConnectionString("", dir.Dir()), "", "", 0);
      std::unique_ptr<Recordset> rs = CreateRecordsetObject();
      rs->Open(kTableQuery, *connection, adOpenDynamic, adLockOptimistic, adCmdText);
      for (const ParameterSet& row : rows) {
        rs->AddNew();
        for (std::size_t i = 0; i < kParameterCount; ++i) {
          if (!row[i].empty()) rs->PutCollect(kParameterColumns[i], row[i]);
        }
        rs->Update();
      }
      rs->Close();
      connection->Close();
    }
    OpenParameterStore("", dir.Dir());
    ASSERT_TRUE(ParameterStoreConnected());
    ASSERT_TRUE(boxes.Texts().empty());
  }

  static HResult ReadFails() {
    try {
      ReadCurrentParameterSet();
    } catch (const ComError& e) {
      return e.Error();
    }
    return 0;
  }

  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
};

TEST_F(ReadRule, OneRow) {
  OpenWithRows({SampleSet("only")});
  EXPECT_EQ(ReadCurrentParameterSet(), SampleSet("only"));
  EXPECT_TRUE(boxes.Texts().empty());
  // The recordset is left open, on that row.
  EXPECT_FALSE(g_pRecordset->GetEOF());
  EXPECT_EQ(g_pRecordset->GetCollect("L0"), SampleSet("only")[kL0]);
  g_pRecordset->Close();
}

TEST_F(ReadRule, SeveralRowsGiveTheLast) {
  OpenWithRows({SampleSet("a"), SampleSet("b"), SampleSet("c")});
  EXPECT_EQ(ReadCurrentParameterSet(), SampleSet("c"));
  g_pRecordset->Close();
  // A row appended afterwards becomes the current one.
  auto rs = CreateRecordsetObject();
  rs->Open(kTableQuery, *g_pConnection, adOpenDynamic, adLockOptimistic, adCmdText);
  rs->AddNew();
  for (const auto& [column, value] : AsColumns(SampleSet("d"))) rs->PutCollect(column, value);
  rs->Update();
  rs->Close();
  EXPECT_EQ(ReadCurrentParameterSet(), SampleSet("d"));
}

TEST_F(ReadRule, NullColumnIsEmptyTextAndOthersAreKept) {
  ParameterSet row = SampleSet("n");
  row[kCpe2T] = "";  // left NULL
  row[kL0] = "1.5E-3";
  OpenWithRows({SampleSet("earlier"), row});
  const ParameterSet read = ReadCurrentParameterSet();
  EXPECT_EQ(read, row);
  EXPECT_EQ(read[kCpe2T], "");
  EXPECT_EQ(read[kL0], "1.5E-3");
}

TEST_F(ReadRule, EmptyTableFailsAfterTheWalk) {
  OpenWithRows({});
  EXPECT_EQ(ReadFails(), kHrNoCurrentRecord);
  EXPECT_TRUE(boxes.Texts().empty());  // the open succeeded; the failure is the caller's to report
  EXPECT_TRUE(g_pRecordset->GetEOF());
}

TEST_F(ReadRule, AnOpenRecordsetServesTheWalk) {
  OpenWithRows({SampleSet("a"), SampleSet("b")});
  OpenTableRecordset();  // left open by an earlier command
  EXPECT_EQ(ReadCurrentParameterSet(), SampleSet("b"));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Unknown error 0x800A0E79"});
  // Read again over the same, still open recordset standing on the last row.
  boxes.Clear();
  EXPECT_EQ(ReadCurrentParameterSet(), SampleSet("b"));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Unknown error 0x800A0E79"});
}

TEST_F(ReadRule, MissingDatabase) {
  OpenParameterStore("", dir.Dir());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].kind, qtest::BoxKind::App);
  EXPECT_EQ(boxes.Boxes()[0].type, kMbOk);
  EXPECT_EQ(boxes.Boxes()[0].text, "连接数据库失败!\r\n错误信息：未指定的错误");
  EXPECT_FALSE(ParameterStoreConnected());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

  // Every later store call fails: the guarded open is reported, the walk raises.
  boxes.Clear();
  EXPECT_EQ(ReadFails(), kHrObjectClosed);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Unknown error 0x800A0E7D"});
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

  // Cancel's close of a connection that never opened fails, and can be told apart.
  try {
    CloseParameterStore();
    ADD_FAILURE() << "Close of a closed connection succeeded";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), kHrObjectClosed);
  }
}

TEST_F(ReadRule, WrongKeyIsReported) {
  const auto made = storetest::Sqlcipher(dir.Dir() + "dravo.mdb", "another key", "CREATE TABLE table1 (L0 TEXT);");
  ASSERT_EQ(made.status, 0) << made.output;
  OpenParameterStore("", dir.Dir());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"连接数据库失败!\r\n错误信息：IDispatch error #3149"});
  EXPECT_FALSE(ParameterStoreConnected());
}

TEST_F(ReadRule, EmptyConnectionPointerIsNeverUsed) {
  OpenWithRows({SampleSet("a")});
  g_pConnection.Release();
  EXPECT_EQ(ReadFails(), kHrObjectClosed);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"无效指针"});
  try {
    CloseParameterStore();
    ADD_FAILURE() << "Close through an empty pointer succeeded";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), kHrPointer);
  }
}

TEST_F(ReadRule, CloseAndReopen) {
  OpenWithRows({SampleSet("a")});
  OpenTableRecordset();
  CloseParameterStore();
  // The connection's recordset went with it.
  EXPECT_EQ(ReadFails(), kHrObjectClosed);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Unknown error 0x800A0E7D"});
  // Opening the store again replaces both objects and works.
  boxes.Clear();
  OpenParameterStore("", dir.Dir());
  EXPECT_TRUE(ParameterStoreConnected());
  EXPECT_EQ(ReadCurrentParameterSet(), SampleSet("a"));
  EXPECT_TRUE(boxes.Texts().empty());
}

}  // namespace
