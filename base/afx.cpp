#include "base/afx.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Used when no toolkit has installed its sink: early start-up and tools without a window.
ConsoleMessageBoxes g_stderrBoxes(stderr);
MessageBoxes* g_pMessageBoxes = nullptr;

// Short descriptions of the causes, in the interface language.
const char* CauseText(int cause) {
  switch (cause) {
    case FileException::fileNotFound: return "找不到文件";
    case FileException::badPath: return "路径无效";
    case FileException::tooManyOpenFiles: return "打开的文件过多";
    case FileException::accessDenied: return "拒绝访问";
    case FileException::invalidFile: return "文件无效";
    case FileException::directoryFull: return "目录已满";
    case FileException::badSeek: return "文件定位出错";
    case FileException::hardIO: return "硬件输入输出错误";
    case FileException::sharingViolation: return "文件正被其他程序使用";
    case FileException::lockViolation: return "文件已被锁定";
    case FileException::diskFull: return "磁盘已满";
    case FileException::endOfFile: return "已到文件末尾";
    default: return "未知的文件错误";
  }
}

}  // namespace

int ConsoleMessageBoxes::AppMessageBox(const std::string& text, unsigned) { return Print(text); }

int ConsoleMessageBoxes::DialogMessageBox(const std::string& text, const std::string&, unsigned) {
  return Print(text);
}

int ConsoleMessageBoxes::OwnerlessMessageBox(const std::string& text, const std::string&, unsigned) {
  return Print(text);
}

int ConsoleMessageBoxes::Print(const std::string& text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i];
  }
  while (!line.empty() && line.back() == '\n') line.pop_back();
  std::fprintf(m_stream, "%s\n", line.c_str());
  std::fflush(m_stream);
  return kIdOk;
}

void AfxSetMessageBoxes(MessageBoxes* sink) { g_pMessageBoxes = sink; }

MessageBoxes& AfxGetMessageBoxes() {
  return g_pMessageBoxes != nullptr ? *g_pMessageBoxes : static_cast<MessageBoxes&>(g_stderrBoxes);
}

int AfxMessageBox(const std::string& text, unsigned type) {
  return AfxGetMessageBoxes().AppMessageBox(text, type);
}

int DialogMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return AfxGetMessageBoxes().DialogMessageBox(text, caption, type);
}

int OwnerlessMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  return AfxGetMessageBoxes().OwnerlessMessageBox(text, caption, type);
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    result.assign(buffer.data(), static_cast<std::size_t>(length));
  }
  va_end(args);
  return result;
}

FileException::FileException(int cause, std::string fileName, long osError)
    : ProgramError({}, osError >= 0 ? FailureCause::ErrorNumber(static_cast<int>(osError)) : FailureCause{}),
      m_cause(cause),
      m_strFileName(std::move(fileName)),
      m_lOsError(osError) {
  SetText(Format("访问文件 %s 时出错：%s（原因 %d）。命令已中止。", m_strFileName.c_str(), CauseText(m_cause),
                 m_cause));
}

std::string FileException::NoticeText() const { return Format("error:%u\n", static_cast<unsigned>(m_cause)); }

FileSystemError::FileSystemError(Step step, std::string path, int error)
    : ProgramError({}, FailureCause::ErrorNumber(error)), m_step(step), m_path(std::move(path)), m_error(error) {
  const char* action = step == Step::create  ? "cannot create a file in "
                       : step == Step::write ? "cannot write "
                                             : "cannot replace ";
  SetText(action + m_path + ": " + std::strerror(error));
}

int FileCauseFromErrno(int err) {
  switch (err) {
    case ENOENT: return FileException::fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return FileException::badPath;
    case EMFILE:
    case ENFILE: return FileException::tooManyOpenFiles;
    case EACCES:
    case EISDIR:  // as on Windows, where opening a folder as a file is refused
    case EPERM:
    case EROFS: return FileException::accessDenied;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return FileException::sharingViolation;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return FileException::diskFull;
    default: return FileException::genericException;
  }
}

ComError::ComError(HResult hr, std::string description)
    : ProgramError({}, FailureCause::HResultOf(hr)), m_hr(hr), m_description(std::move(description)) {
  std::string text = Format("COM error 0x%08X", static_cast<unsigned>(hr));
  if (!m_description.empty()) text += ": " + m_description;
  SetText(std::move(text));
}
