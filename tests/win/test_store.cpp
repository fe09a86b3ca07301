// The ADO store under Wine: the system's message texts, and the start-up message when the Jet
// provider (absent from Wine) cannot open the database.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <string>

#include "app/import_command.h"
#include "app/run_store.h"
#include "model/model_reader.h"
#include "store/store.h"
#include "store/store_win.h"
#include "tests/support/test_support.h"

namespace {

// FormatMessageA as the system gives it, untrimmed; empty when there is none.
std::string RawSystemMessage(DWORD code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&buffer), 0,
                                      nullptr);
  std::string text = length > 0 ? std::string(buffer, length) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  return text;
}

TEST(WinStore, ComErrorTextIsTheSystemMessageWithoutItsLineEnd) {
  const std::string raw = RawSystemMessage(0x80070005);
  ASSERT_GE(raw.size(), 3u);
  ASSERT_EQ(raw.substr(raw.size() - 2), "\r\n");  // so that the cut is really exercised

  const std::string text = ComErrorText(MakeHResult(0x80070005));
  EXPECT_EQ(text, raw.substr(0, raw.size() - 2));
  EXPECT_EQ(text.find('\n'), std::string::npos);

  // The backend hands over the system's text unchanged; the cut belongs to ComErrorText.
  EXPECT_EQ(SystemMessageText(MakeHResult(0x80070005)).value_or(""), raw);
}

TEST(WinStore, CodesWithoutASystemMessageGetTheFallbackTexts) {
  // Provider codes have no system message; should this Wine know one, the fallback is not reached.
  if (!RawSystemMessage(0x80040E4D).empty() || !RawSystemMessage(0x80040200).empty() ||
      !RawSystemMessage(0x800A0CC1).empty()) {
    GTEST_SKIP() << "this system has messages for the provider codes";
  }
  EXPECT_FALSE(SystemMessageText(MakeHResult(0x80040E4D)).has_value());
  EXPECT_EQ(ComErrorText(MakeHResult(0x80040E4D)), "IDispatch error #3149");
  EXPECT_EQ(ComErrorText(MakeHResult(0x80040200)), "Unknown error 0x80040200");
  EXPECT_EQ(ComErrorText(MakeHResult(0x800A0CC1)), "Unknown error 0x800A0CC1");
}

class WinStoreOpen : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseParameterStore();
    g_pRecordset.Release();
    g_pConnection.Release();
  }
};

TEST_F(WinStoreOpen, MissingProviderOrFileIsReportedWithTheCodeOfTheFailedOpen) {
  qtest::TempDir program;
  qtest::ScriptedMessageBoxes boxes;
  const PathParts parts = SplitPath(program.Dir() + "qelmora.exe");
  OpenParameterStore(program.Dir());

  EXPECT_FALSE(ParameterStoreConnected());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  const qtest::ShownBox& box = boxes.Boxes()[0];
  EXPECT_EQ(box.kind, qtest::BoxKind::App);
  EXPECT_EQ(box.type, kMbOk);
  const std::string prefix = "连接数据库失败!\r\n错误信息：";
  ASSERT_EQ(box.text.compare(0, prefix.size(), prefix), 0) << box.text;
  const std::string rest = box.text.substr(prefix.size());
  EXPECT_FALSE(rest.empty());

  // The same open, made directly, fails with the code whose text the message carries.
  HResult hr = 0;
  if (g_pConnection) {
    auto connection = CreateConnectionObject();
    ASSERT_TRUE(connection);
    try {
      connection->Open(ConnectionString(parts.drive, parts.dir), "", "", 0);
    } catch (const ComError& e) {
      hr = e.Error();
    }
  } else {
    hr = kHrPointer;  // no ADO here at all: the open went through the empty pointer
  }
  ASSERT_NE(hr, 0);
  EXPECT_EQ(rest, ComErrorText(hr));

  // Every later store call fails with a ComError instead of crashing: a recordset over a connection
  // that never opened is refused as ADO refuses it.
  try {
    OpenTableRecordset();
    ADD_FAILURE() << "the recordset opened over a closed connection";
  } catch (const ComError& e) {
    EXPECT_EQ(e.Error(), g_pConnection ? kHrInvalidConnection : kHrPointer);
  }
  // The import tells that failure first, saves nothing and reads nothing of the model file.
  boxes.Clear();
  EXPECT_FALSE(RunImport(program.Dir() + "model.mdl"));
  ASSERT_FALSE(boxes.Texts().empty());
  EXPECT_EQ(boxes.Texts()[0], ComErrorText(g_pConnection ? kHrInvalidConnection : kHrPointer));
  for (const std::string& text : boxes.Texts()) EXPECT_NE(text, "插入成功!");
  EXPECT_EQ(g_nModelReadPos, 0u);
  std::printf("connection failure shown: %s\n", rest.c_str());
}

TEST_F(WinStoreOpen, CreatingAStoreWithoutTheProviderLeavesNothingBehind) {
  qtest::TempDir dir;
  const std::string failure = qtest::OperationFailure([&] { CreateParameterStore(dir.Dir()); });
  if (failure.empty()) {
    // A system with the Jet provider: the file exists and opens with the program's string.
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "dravo.mdb"));
    EXPECT_THROW(CreateParameterStore(dir.Dir()), OperationError);  // never overwritten
    return;
  }
  EXPECT_NE(failure.find("dravo.mdb"), std::string::npos) << failure;
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "dravo.mdb"));
}

TEST_F(WinStoreOpen, AnExistingFileIsNeverOverwritten) {
  qtest::TempDir dir;
  qtest::WriteFileBytes(dir.Path() / "dravo.mdb", "history");
  EXPECT_THROW(CreateParameterStore(dir.Dir()), OperationError);
  EXPECT_EQ(qtest::ReadFileBytes(dir.Path() / "dravo.mdb"), "history");
}

}  // namespace
