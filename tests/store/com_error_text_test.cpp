// The report text of a failed store call, formed from the HRESULT alone; the connection string.
#include <gtest/gtest.h>

#include "store/store.h"

namespace {

TEST(ComErrorText, CodesWithoutSystemMessage) {
  // Inside the IDispatch range: the number is HRESULT - 0x80040200.
  EXPECT_EQ(ComErrorText(MakeHResult(0x80040E4D)), "IDispatch error #3149");
  EXPECT_EQ(ComErrorText(MakeHResult(0x80040201)), "IDispatch error #1");
  EXPECT_EQ(ComErrorText(MakeHResult(0x8004FFFF)), "IDispatch error #65023");
  // The low 16 bits of HRESULT - 0x200 are zero: no IDispatch number.
  EXPECT_EQ(ComErrorText(MakeHResult(0x80040200)), "Unknown error 0x80040200");
  // Just outside the range on either side, and far outside (ADO's own codes).
  EXPECT_EQ(ComErrorText(MakeHResult(0x800401FF)), "Unknown error 0x800401FF");
  EXPECT_EQ(ComErrorText(MakeHResult(0x80050000)), "Unknown error 0x80050000");
  EXPECT_EQ(ComErrorText(MakeHResult(0x800A0CC1)), "Unknown error 0x800A0CC1");
  EXPECT_EQ(ComErrorText(kHrNoCurrentRecord), "Unknown error 0x800A0BCD");
  // A code with the sign bit clear is printed as it is, not sign-extended to 64 bits.
  EXPECT_EQ(ComErrorText(MakeHResult(0x00040E4D)), "Unknown error 0x40E4D");
}

TEST(ComErrorText, SystemMessagesLoseTheirLineEnd) {
  const std::pair<HResult, const char*> known[] = {
      {kHrFail, "未指定的错误"},   {kHrPointer, "无效指针"}, {kHrOutOfMemory, "内存不足"},
      {kHrInvalidArg, "参数错误"}, {kHrNotImpl, "未实现"},   {kHrAccessDenied, "拒绝访问。"},
      {kHrUnexpected, "灾难性故障"},
  };
  for (const auto& [hr, text] : known) {
    // The system's text ends in CR LF, as the Windows message table's do; the report has neither.
    const std::optional<std::string> system = SystemMessageText(hr);
    ASSERT_TRUE(system.has_value()) << std::hex << hr;
    EXPECT_EQ(*system, std::string(text) + "\r\n");
    EXPECT_EQ(ComErrorText(hr), text);
  }
  EXPECT_FALSE(SystemMessageText(kHrWrongPassword).has_value());
  EXPECT_FALSE(SystemMessageText(kHrItemNotFound).has_value());
}

TEST(ConnectionString, CarriesFileAndKey) {
  const std::string text = ConnectionString("C:", "\\Program Files\\qelmora\\");
  EXPECT_EQ(text,
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Program Files\\qelmora\\dravo.mdb;"
            "Persist Security Info=False;Jet OLEDB:Database Password=582046");
  EXPECT_EQ(ConnectionStringProperty(text, "Data Source"), "C:\\Program Files\\qelmora\\dravo.mdb");
  EXPECT_EQ(ConnectionStringProperty(text, "jet oledb:database password"), "582046");
  EXPECT_EQ(ConnectionStringProperty(text, "Password"), std::nullopt);
}

TEST(ConnectionString, QuotedValuesAndStrayParts) {
  EXPECT_EQ(ConnectionStringProperty("Data Source=\"/a;b/it's.mdb\";X=1", "Data Source"), "/a;b/it's.mdb");
  EXPECT_EQ(ConnectionStringProperty("Data Source='/a/''q''.mdb'", "Data Source"), "/a/'q'.mdb");
  EXPECT_EQ(ConnectionStringProperty("junk; Data Source = /x.mdb ;Y=2", "Data Source"), "/x.mdb");
  EXPECT_EQ(ConnectionStringProperty("Data Source=", "Data Source"), "");
  EXPECT_EQ(ConnectionStringProperty("", "Data Source"), std::nullopt);
}

}  // namespace
