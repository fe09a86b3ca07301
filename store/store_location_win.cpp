// On Windows qelmora.conf in %APPDATA%\qelmora\ may name the store, and a store on a server is the
// lab store through ODBC (odbc_store_win.h).
#include <windows.h>

#include <shlobj.h>

#include "store/odbc_store_win.h"
#include "store/odbc_win.h"
#include "store/store.h"
#include "store/store_kind.h"
#include "store/store_location.h"

namespace {

// %APPDATA% as the environment gives it, else the shell's folder of the user's roaming data.
std::wstring AppDataFolder() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return buffer;
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK) return buffer;
  return {};
}

StoreError CannotRead(const std::string& file, DWORD error) {
  return StoreError("无法读取配置文件 " + file + "：" +
                    SystemMessageText(HRESULT_FROM_WIN32(error)).value_or(Format("错误 %lu", error)));
}

// The file's text in the program's code page: as it stands (the system code page, as Notepad saves
// "ANSI"), or from UTF-8 or UTF-16 when it begins with their byte-order mark.
std::string ProgramText(const std::string& bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return odbc::Narrow(odbc::FromUtf8(bytes.substr(3)));
  if (bytes.rfind("\xFF\xFE", 0) == 0) {
    std::wstring wide((bytes.size() - 2) / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                     (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    }
    return odbc::Narrow(wide);
  }
  return bytes;
}

}  // namespace

std::optional<std::string> ConfiguredStoreLocation() {
  const std::wstring folder = AppDataFolder();
  if (folder.empty()) return std::nullopt;
  const std::wstring path = folder + L"\\qelmora\\qelmora.conf";
  const std::string file = odbc::Narrow(path);
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw CannotRead(file, error);
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {  // a pipe or a device there is refused, not waited on
    CloseHandle(handle);
    throw StoreError("无法读取配置文件 " + file + "：它不是普通文件");
  }
  std::string bytes;
  DWORD error = 0;
  char buffer[4096];
  for (DWORD got = 1; got > 0;) {
    if (!ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
      error = GetLastError();
      break;
    }
    bytes.append(buffer, got);
  }
  CloseHandle(handle);
  if (error != 0) throw CannotRead(file, error);
  return StoreLocationInConfig(ProgramText(bytes), file);
}

namespace {

// The lab store through ODBC as a kind of store. Its table is made on Linux (qelmora-cli init-store,
// or psql), and the history of a PC is copied there from Linux too.
class OdbcStore final : public LabStoreKind {
 public:
  bool Recognises(const std::string& location) const override { return IsOdbcStoreLocation(location); }
  std::unique_ptr<ParameterStore> Open(const std::string& location) const override { return OpenOdbcStore(location); }

  std::string Init(const std::string&) const override {
    throw StoreError("实验室数据库的 table1 由管理员在 Linux 上用 qelmora-cli --store 连接串 init-store 建立");
  }

  void AcceptsHistory() const override {
    throw OperationError("copy-history 只能在 Linux 上运行：qelmora-cli --store 连接串 copy-history 本地目录");
  }
};

}  // namespace

const StoreKind* ServerStoreKind() {
  static const OdbcStore kind;
  return &kind;
}

void KeepImportsWhenAway(bool) {}

std::string SendWaitingImports(const std::string&) { throw StoreError("不支持的数据库位置"); }

std::vector<std::array<std::string, 4>> WaitingImportList() { return {}; }
