// The .xlsx writer of the Linux build (libxlsxwriter).
#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/afx.h"
#include "app/platform.h"
#include "app/safe_write_linux.h"
#include "report/report_xlsx.h"
#include "report/xlsx_linux.h"

namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string WorkbookText(const std::string& text) {
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
      // C0 controls other than tab, line feed and carriage return have no place in XML 1.0.
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
        out += kReplacementCharacter;
      } else {
        out += static_cast<char>(c);
      }
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
    valid = valid && code >= min && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE &&
            code != 0xFFFF;
    if (valid) {
      out.append(text, i, length);
      i += length;
    } else {
      out += kReplacementCharacter;
      // The whole sequence of a noncharacter goes; a broken one loses its first byte only.
      i += length > 0 && i + length <= n && (code == 0xFFFE || code == 0xFFFF) ? length : 1;
    }
  }
  return out;
}

namespace {

// The workbook's cell formats, one per style and number format.
class StyleFormats {
 public:
  explicit StyleFormats(lxw_workbook* book) : m_book(book) {}
  lxw_format* For(CellStyle style, const std::string& numberFormat) {
    if (style == CellStyle::kText || style == CellStyle::kTypedText) return nullptr;
    lxw_format*& format = m_formats[{style, numberFormat}];
    if (format != nullptr) return format;
    format = workbook_add_format(m_book);
    if (format == nullptr) return nullptr;
    if (!numberFormat.empty()) format_set_num_format(format, numberFormat.c_str());
    if (style == CellStyle::kTitle || style == CellStyle::kHeader) format_set_bold(format);
    if (style == CellStyle::kTitle) format_set_font_size(format, 14);
    return format;
  }

 private:
  lxw_workbook* m_book;
  std::map<std::pair<CellStyle, std::string>, lxw_format*> m_formats;
};

// Series of more points than this carry no cache of their values in the chart.
constexpr std::size_t kMaxCachedSeriesPoints = 200;

void SetAxis(lxw_chart_axis* axis, const ChartAxis& spec) {
  chart_axis_set_name(axis, WorkbookText(spec.title).c_str());
  if (spec.logarithmic) chart_axis_set_log_base(axis, 10);
  if (spec.min) chart_axis_set_min(axis, *spec.min);
  if (spec.max) chart_axis_set_max(axis, *spec.max);
  if (spec.majorUnit && !spec.logarithmic) chart_axis_set_major_unit(axis, *spec.majorUnit);
  if (!spec.numberFormat.empty()) chart_axis_set_num_format(axis, spec.numberFormat.c_str());
}

// One series with its style and its point labels. Returns an empty text, else the reason.
std::string AddSeries(lxw_chart* chart, const std::string& sheetName, const ChartSeries& s) {
  lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
  if (series == nullptr) return "无法添加图表";
  const auto first = static_cast<lxw_row_t>(s.firstRow), last = static_cast<lxw_row_t>(s.lastRow);
  chart_series_set_categories(series, sheetName.c_str(), first, static_cast<lxw_col_t>(s.xColumn), last,
                              static_cast<lxw_col_t>(s.xColumn));
  chart_series_set_values(series, sheetName.c_str(), first, static_cast<lxw_col_t>(s.yColumn), last,
                          static_cast<lxw_col_t>(s.yColumn));
  chart_series_set_name(series, WorkbookText(s.name).c_str());
  // A long series (the measured points) is drawn from its cells alone: its values cached again in
  // the chart were most of the workbook's bytes to compress.
  if (s.lastRow - s.firstRow + 1 > kMaxCachedSeriesPoints) {
    series->categories->ignore_cache = LXW_TRUE;
    series->values->ignore_cache = LXW_TRUE;
  }
  if (s.style == SeriesStyle::kMarkers) {
    lxw_chart_line none = {};
    none.none = LXW_TRUE;
    chart_series_set_line(series, &none);
  } else if (s.style == SeriesStyle::kLine) {
    chart_series_set_marker_type(series, LXW_CHART_MARKER_NONE);
  } else {
    chart_series_set_marker_type(series, LXW_CHART_MARKER_CIRCLE);
    chart_series_set_marker_size(series, 4);
  }
  if (s.pointLabels.empty()) return {};
  // Every point has a label entry: the labelled ones their text, the others none.
  const std::size_t count = s.lastRow - s.firstRow + 1;
  std::vector<std::string> texts(count);
  for (const auto& [index, text] : s.pointLabels) {
    if (index < count) texts[index] = WorkbookText(text);
  }
  std::vector<lxw_chart_data_label> labels(count);
  std::vector<lxw_chart_data_label*> pointers;
  lxw_chart_font font = {};
  font.size = 8;
  for (std::size_t i = 0; i < count; ++i) {
    labels[i].hide = texts[i].empty() ? LXW_TRUE : LXW_FALSE;
    labels[i].value = texts[i].empty() ? nullptr : texts[i].data();
    labels[i].font = &font;
    pointers.push_back(&labels[i]);
  }
  pointers.push_back(nullptr);
  chart_series_set_labels(series);
  chart_series_set_labels_position(series, LXW_CHART_LABEL_POSITION_RIGHT);
  const lxw_error error = chart_series_set_labels_custom(series, pointers.data());
  return error == LXW_NO_ERROR ? std::string() : lxw_strerror(error);
}

// Adds one chart; the series on the secondary axis go into a chart of their own below it, with the
// same x axis (this libxlsxwriter draws no secondary value axis, nor a plot area of a given layout:
// the chart's automatic layout holds the plot). Returns an empty text, else the reason.
std::string AddChart(lxw_workbook* book, lxw_worksheet* sheet, const std::string& sheetName, const SheetChart& spec) {
  double top = 0;
  for (const bool secondary : {false, true}) {
    bool any = false;
    for (const ChartSeries& s : spec.series) any = any || s.secondaryAxis == secondary;
    if (!any) continue;
    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS);
    if (chart == nullptr) return "无法添加图表";
    for (const ChartSeries& s : spec.series) {
      if (s.secondaryAxis != secondary) continue;
      const std::string reason = AddSeries(chart, sheetName, s);
      if (!reason.empty()) return reason;
    }
    const std::string title = secondary ? spec.title + " – " + spec.y2.title : spec.title;
    chart_title_set_name(chart, WorkbookText(title).c_str());
    SetAxis(chart->x_axis, spec.x);
    SetAxis(chart->y_axis, secondary ? spec.y2 : spec.y);
    // The x axis's labels at the bottom of the plot, not where a negative value crosses zero.
    chart_axis_set_label_position(chart->x_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_axis_set_label_position(chart->y_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_show_blanks_as(chart, LXW_CHART_BLANKS_AS_GAP);
    chart_legend_set_position(chart, spec.legend ? LXW_CHART_LEGEND_BOTTOM : LXW_CHART_LEGEND_NONE);
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

// Puts one sheet into the workbook. Returns an empty text, else the reason.
std::string AddWorksheet(lxw_workbook* book, StyleFormats& formats, const FormattedSheet& content) {
  lxw_worksheet* sheet = workbook_add_worksheet(book, WorkbookText(content.name).c_str());
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
    lxw_format* format = formats.For(cell.style, cell.numberFormat);
    if (const double* number = std::get_if<double>(&cell.value)) {
      keep(worksheet_write_number(sheet, row, column, *number, format));
      continue;
    }
    const std::string& text = std::get<std::string>(cell.value);
    if (cell.style == CellStyle::kTypedText) {
      if (text.empty()) continue;  // typing nothing makes no cell
      if (const std::optional<double> number = CellNumber(text)) {
        keep(worksheet_write_number(sheet, row, column, *number, format));
        continue;
      }
    }
    keep(worksheet_write_string(sheet, row, column, WorkbookText(text).c_str(), format));
  }
  if (error != LXW_NO_ERROR) return lxw_strerror(error);
  if (!content.formatted) return {};
  if (content.rowHeight) {
    const std::size_t rows = RowsInUse(content);  // a walk over every cell: once, not per row
    for (std::size_t row = 0; row < rows; ++row) {
      keep(worksheet_set_row(sheet, static_cast<lxw_row_t>(row), *content.rowHeight, nullptr));
    }
  }
  worksheet_set_paper(sheet, 9);  // A4
  if (content.landscape) {
    worksheet_set_landscape(sheet);
  } else {
    worksheet_set_portrait(sheet);
  }
  if (content.fitToOnePageWide) worksheet_fit_to_pages(sheet, 1, 0);
  if (content.repeatRows) keep(worksheet_repeat_rows(sheet, 0, static_cast<lxw_row_t>(*content.repeatRows)));
  std::vector<lxw_row_t> breaks(content.pageBreaks.begin(), content.pageBreaks.end());
  if (!breaks.empty()) {
    breaks.push_back(0);
    keep(worksheet_set_h_pagebreaks(sheet, breaks.data()));
  }
  if (error != LXW_NO_ERROR) return lxw_strerror(error);
  for (const SheetChart& chart : content.charts) {
    const std::string reason = AddChart(book, sheet, content.name, chart);
    if (!reason.empty()) return reason;
  }
  return {};
}

}  // namespace

std::string WriteWorkbookFile(const ReportWorkbook& workbook, const std::string& path, bool privateToUser,
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
      StyleFormats formats(book);
      for (const FormattedSheet& content : workbook.sheets) {
        reason = AddWorksheet(book, formats, content);
        if (!reason.empty()) break;
      }
      const lxw_error closed = workbook_close(book);  // writes the file and frees the workbook
      if (reason.empty() && closed != LXW_NO_ERROR) reason = lxw_strerror(closed);
      if (!reason.empty()) throw Failure{reason};
    });
  } catch (const Failure& failure) {
    return failure.reason;
  } catch (const FileSystemError& e) {
    if (e.error() == EEXIST && !replace) return kFileExists;
    return std::strerror(e.error());
  }
  return {};
}
