// The spreadsheet server of the Linux build. There is no automation server to drive, so the objects
// build the workbook in memory, and the desktop's spreadsheet application shows it: when the last
// reference to the server is released, every workbook added while the server was visible is written
// as .xlsx to a new file and opened, detached, with the default application for .xlsx (GIO). The
// report's workbook goes to the user's documents folder under qelmora/ by its report file name (the
// temporary directory when there is no documents folder), any other to the temporary directory.
// Without such an application the server cannot be created.
#include <gio/gio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/afx.h"
#include "app/platform.h"
#include "report/excel.h"
#include "report/report_xlsx.h"
#include "report/xlsx_linux.h"

namespace {

constexpr const char* kXlsxContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// The limits of a worksheet and of a cell text.
constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;
constexpr std::size_t kMaxCellCharacters = 32767;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, GObjectUnref>;

// Starts the application with the file, detached; the reason when it could not be started.
std::optional<std::string> Launch(GAppInfo* application, const std::string& path) {
  GFile* file = g_file_new_for_path(path.c_str());
  GList* files = g_list_append(nullptr, file);
  GError* error = nullptr;
  const gboolean launched = g_app_info_launch(application, files, nullptr, &error);
  g_list_free(files);
  g_object_unref(file);
  std::optional<std::string> failure;
  if (!launched) failure = error != nullptr ? error->message : "无法启动程序";
  if (error != nullptr) g_error_free(error);
  return failure;
}

// The running "application": its workbooks, and the program that shows them.
class Server {
 public:
  explicit Server(AppInfoPtr viewer) : m_viewer(std::move(viewer)) {}
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  bool visible = false;
  std::vector<std::shared_ptr<WorkbookContent>> workbooks;

 private:
  void Show(const WorkbookContent& workbook) noexcept;
  AppInfoPtr m_viewer;
};

// A dispatch reference: keeps the server alive, as a COM reference keeps its process.
class ServerObject : public DispatchObject {
 public:
  explicit ServerObject(std::shared_ptr<Server> server) : m_server(std::move(server)) {}

 protected:
  [[noreturn]] static void UnknownMember() { throw AutomationError("成员未找到。"); }
  [[noreturn]] static void TypeMismatch() { throw AutomationError("类型不匹配。"); }
  static void ExpectArgs(const std::vector<AutomationArg>& args, std::size_t count) {
    if (args.size() != count) throw AutomationError("参数个数无效。");
  }
  static const std::string& TextArg(const AutomationArg& arg) {
    const std::string* text = std::get_if<std::string>(&arg);
    if (text == nullptr) TypeMismatch();
    return *text;
  }
  std::shared_ptr<Server> m_server;
};

// Cells: the whole range of one worksheet.
class RangeObject final : public ServerObject {
 public:
  RangeObject(std::shared_ptr<Server> server, std::shared_ptr<WorkbookContent> book, std::size_t sheet)
      : ServerObject(std::move(server)), m_book(std::move(book)), m_sheet(sheet) {}

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int, bool, const std::vector<AutomationArg>&) override {
    UnknownMember();
  }

  void InvokePut(int dispid, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispItem) UnknownMember();
    ExpectArgs(args, 3);
    const int row = RowIndex(TextArg(args[0]));
    const int column = ColumnIndex(TextArg(args[1]));
    if (const std::string* text = std::get_if<std::string>(&args[2]); text != nullptr && Characters(*text) > kMaxCellCharacters) {
      throw AutomationError("单元格文本过长（最多 32767 个字符）。");
    }
    m_book->sheets[m_sheet].cells[{row, column}] = args[2];
  }

 private:
  // A row number given as text: "1" to "1048576".
  static int RowIndex(const std::string& text) {
    long value = 0;
    if (text.empty() || text.size() > 7) BadIndex();
    for (char c : text) {
      if (c < '0' || c > '9') BadIndex();
      value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxRow) BadIndex();
    return static_cast<int>(value);
  }

  // A column given as letters ("A" to "XFD", either case) or as its number.
  static int ColumnIndex(const std::string& text) {
    if (text.empty() || text.size() > 5) BadIndex();
    long value = 0;
    if (text[0] >= '0' && text[0] <= '9') {
      for (char c : text) {
        if (c < '0' || c > '9') BadIndex();
        value = value * 10 + (c - '0');
      }
    } else {
      if (text.size() > 3) BadIndex();
      for (char c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c < 'A' || c > 'Z') BadIndex();
        value = value * 26 + (c - 'A' + 1);
      }
    }
    if (value < 1 || value > kMaxColumn) BadIndex();
    return static_cast<int>(value);
  }

  static std::size_t Characters(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) {
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
  }

  [[noreturn]] static void BadIndex() { throw AutomationError("单元格地址无效。"); }

  std::shared_ptr<WorkbookContent> m_book;
  std::size_t m_sheet;
};

class WorksheetObject final : public ServerObject {
 public:
  WorksheetObject(std::shared_ptr<Server> server, std::shared_ptr<WorkbookContent> book, std::size_t sheet)
      : ServerObject(std::move(server)), m_book(std::move(book)), m_sheet(sheet) {}

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispCells) UnknownMember();
    ExpectArgs(args, 0);
    return std::make_unique<RangeObject>(m_server, m_book, m_sheet);
  }
  void InvokePut(int, const std::vector<AutomationArg>&) override { UnknownMember(); }

 private:
  std::shared_ptr<WorkbookContent> m_book;
  std::size_t m_sheet;
};

class WorksheetsObject final : public ServerObject {
 public:
  WorksheetsObject(std::shared_ptr<Server> server, std::shared_ptr<WorkbookContent> book)
      : ServerObject(std::move(server)), m_book(std::move(book)) {}

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispItem) UnknownMember();
    ExpectArgs(args, 1);
    // A text index is a sheet name, compared without regard to case.
    const std::string& name = TextArg(args[0]);
    for (std::size_t i = 0; i < m_book->sheets.size(); ++i) {
      if (g_ascii_strcasecmp(m_book->sheets[i].name.c_str(), name.c_str()) == 0) {
        return std::make_unique<WorksheetObject>(m_server, m_book, i);
      }
    }
    throw AutomationError("下标越界：工作簿中没有名为“" + name + "”的工作表。");
  }
  void InvokePut(int, const std::vector<AutomationArg>&) override { UnknownMember(); }

 private:
  std::shared_ptr<WorkbookContent> m_book;
};

class WorkbookObject final : public ServerObject {
 public:
  WorkbookObject(std::shared_ptr<Server> server, std::shared_ptr<WorkbookContent> book)
      : ServerObject(std::move(server)), m_book(std::move(book)) {}

  WorkbookContent& Content() { return *m_book; }

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispWorksheets) UnknownMember();
    ExpectArgs(args, 0);
    return std::make_unique<WorksheetsObject>(m_server, m_book);
  }
  void InvokePut(int, const std::vector<AutomationArg>&) override { UnknownMember(); }

 private:
  std::shared_ptr<WorkbookContent> m_book;
};

class WorkbooksObject final : public ServerObject {
 public:
  using ServerObject::ServerObject;

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispAdd) UnknownMember();
    if (args.size() > 1) throw AutomationError("参数个数无效。");
    // Templates are not supported: only the empty text makes a new, empty workbook.
    if (!args.empty() && !TextArg(args[0]).empty()) {
      throw AutomationError("找不到模板文件“" + TextArg(args[0]) + "”。");
    }
    auto book = std::make_shared<WorkbookContent>();
    book->sheets.push_back(WorksheetContent{kFirstSheetName, {}});
    m_server->workbooks.push_back(book);
    return std::make_unique<WorkbookObject>(m_server, std::move(book));
  }
  void InvokePut(int, const std::vector<AutomationArg>&) override { UnknownMember(); }
};

class ApplicationObject final : public ServerObject {
 public:
  using ServerObject::ServerObject;

  std::unique_ptr<DispatchObject> InvokeGetDispatch(int dispid, bool, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispWorkbooks) UnknownMember();
    ExpectArgs(args, 0);
    return std::make_unique<WorkbooksObject>(m_server);
  }

  void InvokePut(int dispid, const std::vector<AutomationArg>& args) override {
    if (dispid != kDispVisible) UnknownMember();
    ExpectArgs(args, 1);
    const bool* flag = std::get_if<bool>(&args[0]);
    if (flag == nullptr) TypeMismatch();
    m_server->visible = *flag;
  }
};

Server::~Server() {
  // A server that was never shown goes away with its workbooks, as an invisible one does.
  if (!visible) return;
  for (const auto& workbook : workbooks) Show(*workbook);
}

// The folder of the reports: the user's documents folder (XDG user dirs) under qelmora/, created when
// missing; the temporary directory when there is no documents folder (none, or the home folder
// itself) or the folder cannot be made. Ends in the separator.
std::string ReportDirectory() {
  g_reload_user_special_dirs_cache();  // the user's settings now, not those the process started with
  const char* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
  if (documents != nullptr && *documents != '\0') {
    const std::string home = g_get_home_dir();
    std::string folder = documents;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder != home) {
      folder += "/qelmora";
      if (g_mkdir_with_parents(folder.c_str(), 0777) == 0) return folder + '/';
    }
  }
  return ThePlatform().TempPath();
}

// Writes the report's workbook under its file name in the report folder; an older report of the same
// name stays, and the new one gets a number ("name-2.xlsx" ...). Returns the path, or throws the reason.
std::string WriteNamedReport(const WorkbookContent& workbook) {
  const std::string directory = ReportDirectory();
  const std::string stem = workbook.fileName.substr(0, workbook.fileName.size() - std::strlen(".xlsx"));
  for (int n = 1; n < 1000; ++n) {
    const std::string path = directory + stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".xlsx";
    struct stat info;
    if (lstat(path.c_str(), &info) == 0) continue;
    const std::string reason = WriteWorkbookFile(workbook, path, directory == ThePlatform().TempPath(), false);
    if (reason.empty()) return path;
    // Another report took the name meanwhile: the next one.
    if (lstat(path.c_str(), &info) == 0) continue;
    throw std::runtime_error(Format("无法写入报表文件 %s：%s", path.c_str(), reason.c_str()));
  }
  throw std::runtime_error(Format("无法写入报表文件：%s 中同名的报表过多", directory.c_str()));
}

void Server::Show(const WorkbookContent& workbook) noexcept {
  try {
    if (!workbook.fileName.empty()) {
      std::string path;
      try {
        path = WriteNamedReport(workbook);
      } catch (const std::runtime_error& e) {
        AfxMessageBox(e.what());
        NoteWorkbookNotShown();
        return;
      }
      if (const std::optional<std::string> failure = Launch(m_viewer.get(), path)) {
        AfxMessageBox(Format("无法打开报表文件 %s：%s", path.c_str(), failure->c_str()));
        NoteWorkbookNotShown();
      }
      return;
    }
    // A new file of its own, never one that exists.
    std::string path = ThePlatform().TempPath() + "qelmora-report-XXXXXX.xlsx";
    const int fd = mkstemps(path.data(), 5);
    if (fd < 0) {
      AfxMessageBox(Format("无法创建报表文件 %s：%s", path.c_str(), std::strerror(errno)));
      NoteWorkbookNotShown();
      return;
    }
    close(fd);
    const std::string reason = WriteWorkbookFile(workbook, path, true);
    if (!reason.empty()) {
      unlink(path.c_str());
      AfxMessageBox(Format("无法写入报表文件 %s：%s", path.c_str(), reason.c_str()));
      NoteWorkbookNotShown();
      return;
    }
    const std::optional<std::string> failure = Launch(m_viewer.get(), path);
    if (failure) {
      AfxMessageBox(Format("无法打开报表文件 %s：%s", path.c_str(), failure->c_str()));
      NoteWorkbookNotShown();
    }
  } catch (...) {
    // Nothing may leave a release; the workbook is lost as it would be with a crashed server.
    NoteWorkbookNotShown();
  }
}

}  // namespace

void AddReportSheets(ExcelWorkbook& workbook, const std::vector<FormattedSheet>& sheets, const std::string& fileName) {
  auto* book = dynamic_cast<WorkbookObject*>(workbook.Object());
  if (book == nullptr) return;
  WorkbookContent& content = book->Content();
  content.formatted.insert(content.formatted.end(), sheets.begin(), sheets.end());
  content.fileName = fileName;
}

std::string OpenWithSpreadsheetApplication(const std::string& path) {
  AppInfoPtr viewer(g_app_info_get_default_for_type(kXlsxContentType, FALSE));
  if (!viewer) return "没有打开 .xlsx 文件的默认程序";
  return Launch(viewer.get(), path).value_or("");
}

std::unique_ptr<DispatchObject> CreateAutomationServer(const std::string& progId) {
  // Programmatic identifiers are compared without regard to case.
  if (g_ascii_strcasecmp(progId.c_str(), "Excel.Application") != 0) return nullptr;
  AppInfoPtr viewer(g_app_info_get_default_for_type(kXlsxContentType, FALSE));
  if (!viewer) return nullptr;
  TakeWorkbookNotShown();  // a note left by an earlier server is not this one's
  return std::make_unique<ApplicationObject>(std::make_shared<Server>(std::move(viewer)));
}
