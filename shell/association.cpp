#include "shell/association.h"

#include "base/afx.h"
#include "base/platform.h"

namespace {

constexpr const char* kErrorCaption = "错误提示";

void ShowStepFailure(const char* code) {
  OwnerlessMessageBox(Format("文件关联设置失败\r\n错误代码-%s", code), kErrorCaption, kMbOk);
}

bool SameBaseName(const std::string& a, const char* b) {
#ifdef _WIN32
  // File names are case-insensitive on Windows.
  if (a.size() != std::char_traits<char>::length(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
#else
  return a == b;
#endif
}

}  // namespace

std::string AssociationTargetPath() {
  const std::string self = ThePlatform().ModuleFileName();
  if (self.empty()) return self;
  const PathParts parts = SplitPath(self);
  // The command-line tool registers the dialog program that lies beside it.
  if (SameBaseName(parts.fname, "qelmora-cli")) return parts.drive + parts.dir + "qelmora" + parts.ext;
  return self;
}

void RegisterMdlFileType() {
  if (!AssociationWriteType()) {
    ShowStepFailure("bind001");
    return;
  }
  const std::string target = AssociationTargetPath();
  if (!AssociationWriteOpenCommand(target)) {
    ShowStepFailure("bind002");
    return;
  }
  if (!AssociationWriteIcon(target)) {
    ShowStepFailure("bind003");
    return;
  }
}

int CheckMdlFileType() {
  if (!AssociationCheck(AssociationTargetPath())) {
    ShowStepFailure("inqury001");
    return 0;
  }
  return 1;
}

int AssociateMdl() {
  // An open command and an icon without the program's path would point at nothing.
  if (AssociationTargetPath().empty()) {
    DialogMessageBox(kProgramPathUnknownText, kErrorCaption, kMbOk);
    return 0;
  }
  RegisterMdlFileType();
  // The outcome is decided by the check alone, whatever the registration reported.
  if (CheckMdlFileType() == 1) {
    DialogMessageBox("文件关联设置成功!", "信息提示", kMbOk);
    AssociationNotifyChanged();
    return 1;
  }
  DialogMessageBox("文件关联设置失败\r\n错误代码-whole001", kErrorCaption, kMbOk);
  return 0;
}
