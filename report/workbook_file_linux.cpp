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

// The workbook's cell formats, one per style.
class StyleFormats {
 public:
  explicit StyleFormats(lxw_workbook* book) : m_book(book) {}
  lxw_format* For(CellStyle style) {
    lxw_format*& format = m_formats[static_cast<std::size_t>(style)];
    if (format != nullptr) return format;
    format = workbook_add_format(m_book);
    if (format == nullptr) return nullptr;
    format_set_num_format(format, CellNumberFormat(style));
    if (style == CellStyle::kTitle || style == CellStyle::kHeader) format_set_bold(format);
    if (style == CellStyle::kTitle) format_set_font_size(format, 14);
    return format;
  }

 private:
  lxw_workbook* m_book;
  lxw_format* m_formats[8] = {};
};

// Adds one chart; a series on the secondary axis goes into a chart of its own below it, with the same
// x axis (this libxlsxwriter draws no secondary value axis). Returns an empty text, else the reason.
std::string AddCharts(lxw_workbook* book, lxw_worksheet* sheet, const std::string& sheetName, const SheetChart& spec) {
  double top = 0;
  for (const bool secondary : {false, true}) {
    bool any = false;
    for (const ChartSeries& s : spec.series) any = any || s.secondaryAxis == secondary;
    if (!any) continue;
    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS);
    if (chart == nullptr) return "无法添加图表";
    for (const ChartSeries& s : spec.series) {
      if (s.secondaryAxis != secondary) continue;
      lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
      if (series == nullptr) return "无法添加图表";
      const auto first = static_cast<lxw_row_t>(spec.firstRow), last = static_cast<lxw_row_t>(spec.lastRow);
      chart_series_set_categories(series, sheetName.c_str(), first, static_cast<lxw_col_t>(s.xColumn), last,
                                  static_cast<lxw_col_t>(s.xColumn));
      chart_series_set_values(series, sheetName.c_str(), first, static_cast<lxw_col_t>(s.yColumn), last,
                              static_cast<lxw_col_t>(s.yColumn));
      chart_series_set_name(series, s.name.c_str());
    }
    chart_title_set_name(chart, secondary ? (spec.title + " – " + spec.y2Title).c_str() : spec.title.c_str());
    chart_axis_set_name(chart->x_axis, spec.xTitle.c_str());
    chart_axis_set_name(chart->y_axis, (secondary ? spec.y2Title : spec.yTitle).c_str());
    if (spec.logX) chart_axis_set_log_base(chart->x_axis, 10);
    // The x axis's labels at the bottom of the plot, not where a negative phase crosses zero.
    chart_axis_set_label_position(chart->x_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    if (spec.logY && !secondary) chart_axis_set_log_base(chart->y_axis, 10);
    if (spec.equalAxesMax) {
      for (lxw_chart_axis* axis : {chart->x_axis, chart->y_axis}) {
        chart_axis_set_min(axis, 0);
        chart_axis_set_max(axis, *spec.equalAxesMax);
      }
    }
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    lxw_chart_options options = {};
    options.x_scale = spec.width / 480.0;  // the default chart is 480 × 288 pixels
    options.y_scale = spec.height / 288.0;
    options.y_offset = static_cast<int32_t>(top);
    const lxw_error error = worksheet_insert_chart_opt(sheet, static_cast<lxw_row_t>(spec.anchorRow),
                                                       static_cast<lxw_col_t>(spec.anchorColumn), chart, &options);
    if (error != LXW_NO_ERROR) return lxw_strerror(error);
    top += spec.height + 10;
  }
  return {};
}

// Puts one formatted sheet into the workbook. Returns an empty text, else the reason.
std::string AddFormattedWorksheet(lxw_workbook* book, StyleFormats& formats, const FormattedSheet& content) {
  lxw_worksheet* sheet = workbook_add_worksheet(book, content.name.c_str());
  if (sheet == nullptr) return "无法添加工作表 " + content.name;
  lxw_error error = LXW_NO_ERROR;
  const auto keep = [&error](lxw_error e) {
    if (error == LXW_NO_ERROR) error = e;
  };
  for (std::size_t column = 0; column < content.columnWidths.size(); ++column) {
    const auto c = static_cast<lxw_col_t>(column);
    keep(worksheet_set_column(sheet, c, c, content.columnWidths[column], nullptr));
  }
  for (const SheetCell& cell : content.cells) {
    const auto row = static_cast<lxw_row_t>(cell.row);
    const auto column = static_cast<lxw_col_t>(cell.column);
    if (const double* number = std::get_if<double>(&cell.value)) {
      keep(worksheet_write_number(sheet, row, column, *number, formats.For(cell.style)));
    } else {
      keep(worksheet_write_string(sheet, row, column, ValidUtf8(std::get<std::string>(cell.value)).c_str(),
                                  formats.For(cell.style)));
    }
  }
  if (content.landscape) worksheet_set_landscape(sheet);
  if (content.fitToOnePageWide) worksheet_fit_to_pages(sheet, 1, 0);
  if (error != LXW_NO_ERROR) return lxw_strerror(error);
  for (const SheetChart& chart : content.charts) {
    const std::string reason = AddCharts(book, sheet, content.name, chart);
    if (!reason.empty()) return reason;
  }
  return {};
}

}  // namespace

std::string WriteWorkbookFile(const WorkbookContent& workbook, const std::string& path, bool privateToUser,
                              bool replace) {
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
    const SafeWriteOptions file{.mode = privateToUser ? mode_t{0600} : CreationMode(0666), .replace = replace};
    WriteFileSafelyWith(path, file, [&](int fd, const std::string&) {
      lxw_workbook* book = workbook_new_opt(DescriptorPath(fd).c_str(), &options);
      if (book == nullptr) throw Failure{"无法创建工作簿"};
      std::string reason;
      for (const WorksheetContent& content : workbook.sheets) {
        reason = AddWorksheet(book, content);
        if (!reason.empty()) break;
      }
      StyleFormats formats(book);
      for (const FormattedSheet& content : workbook.formatted) {
        if (!reason.empty()) break;
        reason = AddFormattedWorksheet(book, formats, content);
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
