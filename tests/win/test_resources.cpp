// The resources compiled into qelmora.exe, read back with the system's own resource functions and
// an independent reading of the dialog templates (DLGTEMPLATEEX).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "res/resource.h"

namespace {

const WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

struct Item {
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  WORD classOrdinal = 0;  // 0x80 button, 0x81 edit, 0x82 static
  std::wstring text;
  WORD textOrdinal = 0;  // a resource id as the text (the icon of a static icon)
};

struct Template {
  DWORD exStyle = 0;
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption;
  WORD pointSize = 0;
  WORD weight = 0;
  BYTE italic = 0;
  BYTE charset = 0;
  std::wstring face;
  std::vector<Item> items;
};

class Reader {
 public:
  Reader(const BYTE* data, DWORD size) : m_data(data), m_size(size) {}
  template <class T>
  T Get() {
    if (m_pos + sizeof(T) > m_size) throw std::runtime_error("template ends early");
    T value;
    std::memcpy(&value, m_data + m_pos, sizeof(T));
    m_pos += sizeof(T);
    return value;
  }
  std::wstring String() {
    std::wstring text;
    for (WCHAR c; (c = Get<WCHAR>()) != 0;) text += c;
    return text;
  }
  // A name or an ordinal: 0 (none), 0xFFFF + ordinal, or a string.
  void NameOrOrdinal(std::wstring* text, WORD* ordinal) {
    const WORD first = Get<WORD>();
    if (first == 0) return;
    if (first == 0xFFFF) {
      *ordinal = Get<WORD>();
      return;
    }
    *text = std::wstring(1, static_cast<WCHAR>(first)) + String();
  }
  void AlignDword() { m_pos = (m_pos + 3) & ~static_cast<DWORD>(3); }
  void Skip(DWORD n) { m_pos += n; }

 private:
  const BYTE* m_data;
  DWORD m_size;
  DWORD m_pos = 0;
};

std::string ExePath() { return std::string(QELMORA_WINE_BINARY_DIR) + "\\qelmora.exe"; }

class WinResources : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibraryExA(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m_module, nullptr) << ExePath();
  }
  void TearDown() override {
    if (m_module != nullptr) FreeLibrary(m_module);
  }

  std::vector<BYTE> Resource(LPCSTR type, WORD id) {
    const HRSRC found = FindResourceExA(m_module, type, MAKEINTRESOURCEA(id), kChinesePrc);
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(m_module, found);
    const BYTE* data = static_cast<const BYTE*>(LockResource(loaded));
    return std::vector<BYTE>(data, data + SizeofResource(m_module, found));
  }

  Template Dialog(WORD id) {
    const std::vector<BYTE> bytes = Resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, id);
    Template t;
    if (bytes.empty()) {
      ADD_FAILURE() << "no dialog " << id << " in language 2052";
      return t;
    }
    Reader r(bytes.data(), static_cast<DWORD>(bytes.size()));
    EXPECT_EQ(r.Get<WORD>(), 1);       // dlgVer
    EXPECT_EQ(r.Get<WORD>(), 0xFFFF);  // an extended template
    r.Get<DWORD>();                    // help id
    t.exStyle = r.Get<DWORD>();
    t.style = r.Get<DWORD>();
    const WORD count = r.Get<WORD>();
    t.x = r.Get<short>();
    t.y = r.Get<short>();
    t.cx = r.Get<short>();
    t.cy = r.Get<short>();
    std::wstring menu, windowClass;
    WORD menuOrdinal = 0, classOrdinal = 0;
    r.NameOrOrdinal(&menu, &menuOrdinal);
    r.NameOrOrdinal(&windowClass, &classOrdinal);
    EXPECT_TRUE(menu.empty() && menuOrdinal == 0);
    EXPECT_TRUE(windowClass.empty() && classOrdinal == 0);
    t.caption = r.String();
    if (t.style & DS_SETFONT) {
      t.pointSize = r.Get<WORD>();
      t.weight = r.Get<WORD>();
      t.italic = r.Get<BYTE>();
      t.charset = r.Get<BYTE>();
      t.face = r.String();
    }
    for (WORD i = 0; i < count; ++i) {
      r.AlignDword();
      Item item;
      r.Get<DWORD>();  // help id
      item.exStyle = r.Get<DWORD>();
      item.style = r.Get<DWORD>();
      item.x = r.Get<short>();
      item.y = r.Get<short>();
      item.cx = r.Get<short>();
      item.cy = r.Get<short>();
      item.id = r.Get<DWORD>();
      std::wstring className;
      r.NameOrOrdinal(&className, &item.classOrdinal);
      // A predefined class may be named instead of numbered; the dialog manager makes no difference.
      if (lstrcmpiW(className.c_str(), L"Button") == 0) item.classOrdinal = 0x80;
      if (lstrcmpiW(className.c_str(), L"Edit") == 0) item.classOrdinal = 0x81;
      if (lstrcmpiW(className.c_str(), L"Static") == 0) item.classOrdinal = 0x82;
      EXPECT_NE(item.classOrdinal, 0) << "controls use the predefined classes";
      r.NameOrOrdinal(&item.text, &item.textOrdinal);
      r.Skip(r.Get<WORD>());  // creation data
      t.items.push_back(item);
    }
    return t;
  }

  HMODULE m_module = nullptr;
};

void ExpectFont(const Template& t) {
  EXPECT_EQ(t.pointSize, 9);
  EXPECT_EQ(t.weight, 0);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charset, 1);  // DEFAULT_CHARSET
  EXPECT_EQ(t.face, L"宋体");
}

struct Expected {
  DWORD id;
  WORD classOrdinal;
  const wchar_t* text;
  short x, y, cx, cy;
  DWORD style;
};

void ExpectItems(const Template& t, const std::vector<Expected>& expected) {
  ASSERT_EQ(t.items.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(i));
    const Item& item = t.items[i];
    const Expected& e = expected[i];
    // Ids are DWORDs in an extended template; -1 (65535 in a 16-bit id) is 0xFFFFFFFF there.
    EXPECT_EQ(item.id & 0xFFFF, e.id);
    EXPECT_EQ(item.classOrdinal, e.classOrdinal);
    if (e.text != nullptr) EXPECT_EQ(item.text, std::wstring(e.text));
    EXPECT_EQ(item.x, e.x);
    EXPECT_EQ(item.y, e.y);
    EXPECT_EQ(item.cx, e.cx);
    EXPECT_EQ(item.cy, e.cy);
    EXPECT_EQ(item.style, e.style) << std::hex << item.style << " != " << e.style;
    EXPECT_EQ(item.exStyle, 0u);
  }
}

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

TEST_F(WinResources, MainDialogTemplate) {
  const Template t = Dialog(IDD_MAIN_DIALOG);
  EXPECT_EQ(t.caption, L"qelmora");
  EXPECT_EQ(t.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(t.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
  EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
  EXPECT_EQ(t.cx, 320);
  EXPECT_EQ(t.cy, 200);
  ExpectFont(t);
  const DWORD tab = kChild | WS_TABSTOP;
  ExpectItems(t, {
      {IDOK, kButton, L"OK", 76, 118, 50, 14, tab | BS_DEFPUSHBUTTON},
      {IDCANCEL, kButton, L"Cancel", 167, 117, 50, 14, tab | BS_PUSHBUTTON},
      {IDC_EDIT_PATH, kEdit, L"", 45, 83, 183, 13, tab | WS_BORDER | ES_LEFT | ES_READONLY | ES_AUTOHSCROLL},
      {IDC_BUTTON_BROWSE, kButton, L"...", 241, 82, 26, 14, tab | BS_PUSHBUTTON},
      {IDC_BUTTON_EXCEL, kButton, L"OpenExcel", 120, 150, 50, 14, tab | BS_PUSHBUTTON},
      {IDC_BUTTON_TRANSFER, kButton, L"Transfer data", 114, 173, 64, 14, tab | BS_PUSHBUTTON},
      {IDC_BUTTON_ASSOCIATE, kButton, L"Associate mdl", 256, 10, 53, 13, tab | BS_PUSHBUTTON},
      {IDC_BUTTON_SHORTCUT, kButton, L"shortcut", 198, 9, 50, 14, tab | BS_PUSHBUTTON},
  });
}

TEST_F(WinResources, AboutBoxTemplate) {
  const Template t = Dialog(IDD_ABOUTBOX);
  EXPECT_EQ(t.caption, L"关于 qelmora");
  EXPECT_EQ(t.style, static_cast<DWORD>(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU));
  EXPECT_EQ(t.cx, 235);
  EXPECT_EQ(t.cy, 86);
  ExpectFont(t);
  const DWORD text = kChild | WS_GROUP | SS_LEFT;
  const DWORD none = 0xFFFF;  // static texts have id -1
  ExpectItems(t, {
      {none, kStatic, nullptr, 11, 17, 20, 20, kChild | SS_ICON},
      {none, kStatic, L"qelmora 2.0 版", 40, 8, 119, 8, text | SS_NOPREFIX},
      {none, kStatic, nullptr, 40, 20, 119, 8, text},
      {IDOK, kButton, L"OK", 178, 7, 50, 14, kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
      {none, kStatic, L"新增读入L0功能2012-11-01", 40, 31, 119, 8, text},
      {none, kStatic, L"数据导入临时文件", 39, 40, 119, 8, text},
      {none, kStatic, L"关联mdl文件", 39, 50, 119, 8, text},
      {none, kStatic, L"总结Rp", 39, 59, 119, 8, text},
      {none, kStatic, L"解决C数值显示精度问题", 40, 68, 89, 8, text},
      {none, kStatic, L"ValueClass", 133, 68, 37, 8, text},
      {none, kStatic, L"Eng btn", 183, 28, 37, 8, text},
  });
  // The static icon shows icon resource 128; the second line has a text of its own.
  EXPECT_EQ(t.items[0].textOrdinal, IDR_MAINFRAME);
  EXPECT_FALSE(t.items[2].text.empty());
}

TEST_F(WinResources, AboutItemTextIsString101) {
  // String 101 lives in block 101 / 16 + 1 = 7, at index 101 % 16 = 5, as a counted UTF-16 string.
  const std::vector<BYTE> block = Resource(MAKEINTRESOURCEA(6) /* RT_STRING */, IDS_ABOUTBOX / 16 + 1);
  ASSERT_FALSE(block.empty()) << "no string table block in language 2052";
  Reader r(block.data(), static_cast<DWORD>(block.size()));
  std::wstring text;
  for (int i = 0; i <= IDS_ABOUTBOX % 16; ++i) {
    const WORD length = r.Get<WORD>();
    std::wstring s;
    for (WORD k = 0; k < length; ++k) s += r.Get<WCHAR>();
    if (i == IDS_ABOUTBOX % 16) text = s;
  }
  EXPECT_EQ(text, L"关于 qelmora(&A)...");

  // The same text through LoadStringA, in code page 936, is the one the program puts into the menu.
  char buffer[64] = {};
  ASSERT_GT(LoadStringA(m_module, IDS_ABOUTBOX, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, kAboutMenuText);
}

TEST_F(WinResources, IconHasA32And16PixelImageOf16Colours) {
  const std::vector<BYTE> group = Resource(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, IDR_MAINFRAME);
  ASSERT_GE(group.size(), 6u) << "no icon group 128 in language 2052";
  Reader r(group.data(), static_cast<DWORD>(group.size()));
  r.Get<WORD>();
  EXPECT_EQ(r.Get<WORD>(), 1);  // icons
  const WORD count = r.Get<WORD>();
  ASSERT_EQ(count, 2);
  std::vector<std::pair<int, int>> sizes;
  for (WORD i = 0; i < count; ++i) {
    const BYTE width = r.Get<BYTE>();
    const BYTE height = r.Get<BYTE>();
    const BYTE colours = r.Get<BYTE>();
    r.Get<BYTE>();
    r.Get<WORD>();
    const WORD bits = r.Get<WORD>();
    r.Get<DWORD>();
    const WORD imageId = r.Get<WORD>();
    EXPECT_EQ(colours, 16);
    EXPECT_EQ(bits, 4);
    EXPECT_FALSE(Resource(MAKEINTRESOURCEA(3) /* RT_ICON */, imageId).empty());
    sizes.emplace_back(width, height);
  }
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{32, 32}, {16, 16}}));
}

}  // namespace
