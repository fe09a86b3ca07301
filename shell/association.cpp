#include "shell/association.h"

#include "base/afx.h"
#include "base/platform.h"

namespace {

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

AssociationError::AssociationError(const std::string& code)
    : OperationError("文件关联设置失败\r\n错误代码-" + code, FailureCause::Step(code)) {}

void RegisterMdlFileType() {
  if (!AssociationWriteType()) throw AssociationError("bind001");
  const std::string target = AssociationTargetPath();
  if (!AssociationWriteOpenCommand(target)) throw AssociationError("bind002");
  if (!AssociationWriteIcon(target)) throw AssociationError("bind003");
}

void CheckMdlFileType() {
  if (!AssociationCheck(AssociationTargetPath())) throw AssociationError("inqury001");
}
