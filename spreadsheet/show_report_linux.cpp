// The report on Linux: the workbook written as .xlsx (libxlsxwriter) into the folder of the user's
// workbooks and opened, detached, with the desktop's default application for .xlsx (GIO).
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "base/afx.h"
#include "base/safe_write_linux.h"
#include "spreadsheet/workbook_file.h"
#include "spreadsheet/show_report.h"
#include "spreadsheet/xlsx_linux.h"
#include "base/xdg_linux.h"

namespace {

constexpr const char* kXlsxContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
constexpr const char* kFolderName = "qelmora";

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfoPtr = std::unique_ptr<GAppInfo, GObjectUnref>;

AppInfoPtr DefaultSpreadsheetApplication() {
  return AppInfoPtr(g_app_info_get_default_for_type(kXlsxContentType, FALSE));
}

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

[[noreturn]] void FolderFailure(const std::string& path, const std::string& reason) {
  throw OperationError(Format("无法使用文件夹 %s：%s", path.c_str(), reason.c_str()));
}

}  // namespace

bool HasSpreadsheetApplication() { return static_cast<bool>(DefaultSpreadsheetApplication()); }

std::string OpenWithSpreadsheetApplication(const std::string& path) {
  const AppInfoPtr viewer = DefaultSpreadsheetApplication();
  if (!viewer) return "没有打开 .xlsx 文件的默认程序";
  return Launch(viewer.get(), path).value_or("");
}

WorkbookFolder::WorkbookFolder() {
  const std::string documents = freedesktop::DocumentsDirectory();
  m_path = documents + "/" + kFolderName;
  // A documents folder named in user-dirs.dirs that is not there yet is the user's to have.
  if (g_mkdir_with_parents(documents.c_str(), 0777) != 0) FolderFailure(documents, std::strerror(errno));
  const int parent = open(documents.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) FolderFailure(documents, std::strerror(errno));
  if (mkdirat(parent, kFolderName, 0777) != 0 && errno != EEXIST) {
    const int error = errno;
    close(parent);
    FolderFailure(m_path, std::strerror(error));
  }
  // The folder itself, never what a link there points to.
  m_fd = openat(parent, kFolderName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int error = errno;
  close(parent);
  if (m_fd < 0) {
    FolderFailure(m_path, error == ELOOP || error == ENOTDIR ? "它不是文件夹（可能是链接），报表不会写到别处"
                                                             : std::strerror(error));
  }
  struct stat info;
  if (fstat(m_fd, &info) != 0 || info.st_uid != geteuid()) {
    close(m_fd);
    m_fd = -1;
    FolderFailure(m_path, "它不属于当前用户");
  }
}

WorkbookFolder::~WorkbookFolder() {
  if (m_fd >= 0) close(m_fd);
}

std::string WorkbookFolder::Through(const std::string& name) const { return DescriptorPath(m_fd) + "/" + name; }

std::string WorkbookFolder::WriteNew(const std::string& fileName,
                                     const std::function<void(const std::string& path)>& write) const {
  const std::string stem = fileName.ends_with(".xlsx") ? fileName.substr(0, fileName.size() - 5) : fileName;
  for (int n = 1; n < 1000; ++n) {
    const std::string name = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".xlsx";
    try {
      write(Through(name));
      return m_path + "/" + name;
    } catch (const WorkbookNameTaken&) {
      continue;  // an older file keeps its name
    } catch (const WorkbookWriteError& e) {
      throw OperationError(Format("无法写入文件 %s/%s：%s", m_path.c_str(), name.c_str(), e.what()), e.Cause());
    }
  }
  throw OperationError(Format("无法写入文件：%s 中同名的文件过多", m_path.c_str()));
}

void ShowReport(const ReportWorkbook& report) {
  const AppInfoPtr viewer = DefaultSpreadsheetApplication();
  if (!viewer) throw NoSpreadsheetProgram();
  const WorkbookFolder folder;
  const std::string path = folder.WriteNew(
      report.fileName, [&](const std::string& file) { WriteWorkbookFile(report, file, false, false); });
  if (const std::optional<std::string> failure = Launch(viewer.get(), path)) {
    throw OperationError(Format("无法打开报表文件 %s：%s", path.c_str(), failure->c_str()));
  }
}
