// Narrow literals are compiled to code page 936, the system code page the program runs in.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/win_support.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    wsprintfA(buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

TEST(WinCodePage, TheTestsRunInCodePage936) { EXPECT_EQ(GetACP(), 936u); }

TEST(WinCodePage, LiteralsHaveTheBytesOfCodePage936) {
  EXPECT_EQ(Hex("插入成功!"), "B2 E5 C8 EB B3 C9 B9 A6 21");
  EXPECT_EQ(Hex("错误提示"), "B4 ED CE F3 CC E1 CA BE");
  EXPECT_EQ(Hex("："), "A3 BA");  // the full-width colon of the connection message
}

TEST(WinCodePage, LiteralsReadBackAsTheirUnicodeText) {
  struct Case {
    const char* narrow;
    const wchar_t* wide;
  };
  const Case cases[] = {
      {"连接数据库失败!\r\n错误信息：", L"连接数据库失败!\r\n错误信息："},
      {"您没有导入-mdl-文件\r\n\r\n单击-*确定*-继续打开上次导入的mdl文件数据\r\n\r\n单击-*取消*-返回!\r\n",
       L"您没有导入-mdl-文件\r\n\r\n单击-*确定*-继续打开上次导入的mdl文件数据\r\n\r\n单击-*取消*-返回!\r\n"},
      {"本次打开是数据来自上次导入的mdl文件", L"本次打开是数据来自上次导入的mdl文件"},
      {"创建Excel服务失败!", L"创建Excel服务失败!"},
      {"文件关联设置失败\r\n错误代码-inqury001", L"文件关联设置失败\r\n错误代码-inqury001"},
      {"关于 qelmora(&A)...", L"关于 qelmora(&A)..."},
      {"无法找到文件：", L"无法找到文件："},
      {"请查找mdl文件!", L"请查找mdl文件!"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiToWide(c.narrow), std::wstring(c.wide)) << Hex(c.narrow);
    EXPECT_EQ(WideToAnsi(c.wide), std::string(c.narrow));
  }
}

}  // namespace
