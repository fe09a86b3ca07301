// What the Linux .xlsx writers and the spreadsheet server share.
#pragma once

#include <locale.h>

#include <string>

// Texts are UTF-8 on Linux, but a stored text may hold bytes of another encoding; written as they are
// they would make the sheet's XML unreadable. Invalid sequences become U+FFFD.
std::string ValidUtf8(const std::string& text);

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

// Opens the file, detached, with the desktop's default application for .xlsx (GIO). Returns an empty
// text on success, else the reason.
std::string OpenWithSpreadsheetApplication(const std::string& path);
