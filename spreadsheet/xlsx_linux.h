// What the Linux .xlsx writers and the spreadsheet server share.
#pragma once

#include <locale.h>

#include <functional>
#include <string>

// A text as a workbook can hold it. Texts are UTF-8 on Linux, but a stored text may hold bytes of
// another encoding, control characters or the noncharacters U+FFFE and U+FFFF, which XML cannot
// carry: one of them would make the whole workbook unreadable. Each becomes U+FFFD, visibly; the
// store keeps its bytes.
std::string WorkbookText(const std::string& text);

// The C numeric conventions for the calling thread while it exists. libxlsxwriter formats numbers
// with printf, which would write "2,3E-05" under a decimal-comma locale: a file no reader accepts.
class CNumericLocale {
 public:
  CNumericLocale() : m_c(newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr))) {
    if (m_c != static_cast<locale_t>(nullptr)) m_previous = uselocale(m_c);
  }
  ~CNumericLocale() {
    if (m_c == static_cast<locale_t>(nullptr)) return;
    uselocale(m_previous);
    freelocale(m_c);
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;
  bool ok() const { return m_c != static_cast<locale_t>(nullptr); }

 private:
  locale_t m_c;
  locale_t m_previous = static_cast<locale_t>(nullptr);
};

// Whether the desktop has a default application for .xlsx (GIO).
bool HasSpreadsheetApplication();

// Opens the file, detached, with the desktop's default application for .xlsx (GIO). Returns an empty
// text on success, else the reason.
std::string OpenWithSpreadsheetApplication(const std::string& path);

// The folder the dialog keeps its workbooks in: qelmora/ in the user's documents folder
// (XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents when it exists, else the home folder),
// made when missing. It must be a real folder of the user's own: a link there (one planted in a
// shared documents folder) is never followed. Held open while this lives; files are made through it.
class WorkbookFolder {
 public:
  WorkbookFolder();  // raises OperationError with what the user is told
  ~WorkbookFolder();
  WorkbookFolder(const WorkbookFolder&) = delete;
  WorkbookFolder& operator=(const WorkbookFolder&) = delete;

  const std::string& path() const { return m_path; }  // as the user knows it, no trailing separator
  // A name in the folder reached through the open folder, not by a new lookup of its path.
  std::string Through(const std::string& name) const;

  // Writes a new file "<stem>.xlsx" (then "<stem>-2.xlsx" … while a name is taken; an existing file
  // is never replaced) by write(path through the folder, replace = false), which raises
  // WorkbookNameTaken for a name that is taken, or WorkbookWriteError. Returns the new file's path as
  // the user knows it; raises OperationError naming the file.
  std::string WriteNew(const std::string& fileName, const std::function<void(const std::string& path)>& write) const;

 private:
  std::string m_path;
  int m_fd = -1;
};
