// The .xlsx writer of the Linux build (libxlsxwriter).
#include <xlsxwriter.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/afx.h"
#include "app/platform.h"
#include "app/safe_write_linux.h"
#include "report/report_xlsx.h"
#include "report/xlsx_linux.h"

std::string ValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      length = 2, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      length = 3, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      length = 4, min = 0x10000;
    }
    bool valid = length > 0 && i + length <= n;
    std::uint32_t code = length > 0 ? (c & (0x7F >> length)) : 0;
    for (std::size_t k = 1; valid && k < length; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) {
        valid = false;
      } else {
        code = (code << 6) | (s[i + k] & 0x3F);
      }
    }
    valid = valid && code >= min && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    if (valid) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

namespace {

// Puts one sheet's cells into the workbook. Returns an empty text, else the reason.
std::string AddWorksheet(lxw_workbook* book, const WorksheetContent& content) {
  lxw_worksheet* sheet = workbook_add_worksheet(book, content.name.c_str());
  if (sheet == nullptr) return "无法添加工作表 " + content.name;
  std::string reason;
  for (const auto& [where, value] : content.cells) {
    const auto row = static_cast<lxw_row_t>(where.first - 1);
    const auto column = static_cast<lxw_col_t>(where.second - 1);
    lxw_error error = LXW_NO_ERROR;
    if (const bool* flag = std::get_if<bool>(&value)) {
      error = worksheet_write_boolean(sheet, row, column, *flag ? 1 : 0, nullptr);
    } else {
      const std::string& text = std::get<std::string>(value);
      if (text.empty()) continue;
      if (const std::optional<double> number = CellNumber(text)) {
        error = worksheet_write_number(sheet, row, column, *number, nullptr);
      } else {
        error = worksheet_write_string(sheet, row, column, ValidUtf8(text).c_str(), nullptr);
      }
    }
    if (error != LXW_NO_ERROR && reason.empty()) reason = lxw_strerror(error);
  }
  return reason;
}

}  // namespace

std::string WriteWorkbookFile(const WorkbookContent& workbook, const std::string& path, bool privateToUser) {
  // libxlsxwriter keeps its scratch files in the user's temporary directory, not necessarily /tmp.
  const CNumericLocale numericLocale;
  if (!numericLocale.ok()) return "无法设置数字格式";
  std::string tmpdir = ThePlatform().TempPath();
  lxw_workbook_options options = {};
  options.tmpdir = tmpdir.data();

  struct Failure {
    std::string reason;
  };
  try {
    // libxlsxwriter takes a file name: it is given the one that leads to the new file's descriptor.
    const SafeWriteOptions file{.mode = privateToUser ? mode_t{0600} : CreationMode(0666)};
    WriteFileSafelyWith(path, file, [&](int fd, const std::string&) {
      lxw_workbook* book = workbook_new_opt(DescriptorPath(fd).c_str(), &options);
      if (book == nullptr) throw Failure{"无法创建工作簿"};
      std::string reason;
      for (const WorksheetContent& content : workbook.sheets) {
        reason = AddWorksheet(book, content);
        if (!reason.empty()) break;
      }
      const lxw_error closed = workbook_close(book);  // writes the file and frees the workbook
      if (reason.empty() && closed != LXW_NO_ERROR) reason = lxw_strerror(closed);
      if (!reason.empty()) throw Failure{reason};
    });
  } catch (const Failure& failure) {
    return failure.reason;
  } catch (const FileSystemError& e) {
    return std::strerror(e.error());
  }
  return {};
}
