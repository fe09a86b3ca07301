// The .xlsx writer of the Linux build (libxlsxwriter).
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/afx.h"
#include "base/number_text.h"
#include "base/platform.h"
#include "base/safe_write_linux.h"
#include "spreadsheet/workbook_file.h"
#include "spreadsheet/xlsx_linux.h"

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
  if (spec.gridlines) chart_axis_major_gridlines_set_visible(axis, LXW_TRUE);
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
  lxw_chart_line line = {};
  line.color = s.color.value_or(0);
  if (s.style == SeriesStyle::kMarkers) {
    line.none = LXW_TRUE;
    chart_series_set_line(series, &line);
  } else if (s.color) {
    line.width = 1.5;
    chart_series_set_line(series, &line);
  }
  if (s.style == SeriesStyle::kLine) {
    chart_series_set_marker_type(series, LXW_CHART_MARKER_NONE);
  } else {
    chart_series_set_marker_type(series, LXW_CHART_MARKER_CIRCLE);
    chart_series_set_marker_size(series, s.openMarkers ? 6 : 4);
    lxw_chart_line edge = {};
    edge.color = s.color.value_or(0);
    edge.width = 1.25;
    if (s.color) chart_series_set_marker_line(series, &edge);
    lxw_chart_fill fill = {};
    fill.color = s.color.value_or(0);
    fill.none = s.openMarkers ? LXW_TRUE : LXW_FALSE;
    if (s.color || s.openMarkers) chart_series_set_marker_fill(series, &fill);
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

// Where a chart's plot area lies, as fractions of the chart's width and height.
struct PlotFraction {
  double x, y, w, h;
};

// Adds one chart; the series on the secondary axis go into a chart of their own below it, with the
// same x axis (this libxlsxwriter draws no secondary value axis). Each chart's plot area goes into
// plots, in the order the charts are added (PlacePlotAreas writes it: this libxlsxwriter cannot).
// Returns an empty text, else the reason.
std::string AddChart(lxw_workbook* book, lxw_worksheet* sheet, const std::string& sheetName, const SheetChart& spec,
                     std::vector<std::optional<PlotFraction>>& plots) {
  double top = 0;
  for (const bool secondary : {false, true}) {
    bool any = false;
    for (const ChartSeries& s : spec.series) any = any || s.secondaryAxis == secondary;
    if (!any) continue;
    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS);
    if (chart == nullptr) return "无法添加图表";
    for (const ChartSeries& s : spec.series) {
      if (s.secondaryAxis != secondary) continue;
      const std::string reason = AddSeries(chart, spec.dataSheet.empty() ? sheetName : spec.dataSheet, s);
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
    std::optional<PlotFraction> plot;
    if (spec.plotArea && !secondary) {
      plot = PlotFraction{spec.plotArea->left / spec.width, spec.plotArea->top / spec.height,
                          spec.plotArea->width / spec.width, spec.plotArea->height / spec.height};
    }
    plots.push_back(plot);
    top += spec.height + 10;
  }
  return {};
}

// Puts one sheet into the workbook. Returns an empty text, else the reason.
std::string AddWorksheet(lxw_workbook* book, StyleFormats& formats, const FormattedSheet& content,
                         std::vector<std::optional<PlotFraction>>& plots) {
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
  if (content.formatted && content.rowHeight) {
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
    if (!content.formatted) break;
    const std::string reason = AddChart(book, sheet, content.name, chart, plots);
    if (!reason.empty()) return reason;
  }
  return {};
}

// The whole content of an open file.
std::string ReadDescriptor(int fd) {
  std::string bytes;
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileSystemError(FileSystemError::Step::write, "", errno);
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
}

void ReplaceDescriptorContent(int fd, const std::string& bytes) {
  if (ftruncate(fd, 0) != 0) throw FileSystemError(FileSystemError::Step::write, "", errno);
  for (std::size_t at = 0; at < bytes.size();) {
    const ssize_t n = pwrite(fd, bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileSystemError(FileSystemError::Step::write, "", errno);
    at += static_cast<std::size_t>(n);
  }
}

// The chart part with its plot area placed: the inner plot area (without tick labels and axis
// titles) at the fractions of the chart given, where libxlsxwriter leaves the layout automatic.
std::string WithPlotLayout(std::string xml, const PlotFraction& plot) {
  const std::string automatic = "<c:plotArea><c:layout/>";
  const std::size_t at = xml.find(automatic);
  if (at == std::string::npos) return xml;
  char manual[512];
  std::snprintf(manual, sizeof manual,
                "<c:plotArea><c:layout><c:manualLayout><c:layoutTarget val=\"inner\"/><c:xMode val=\"edge\"/>"
                "<c:yMode val=\"edge\"/><c:x val=\"%.6f\"/><c:y val=\"%.6f\"/><c:w val=\"%.6f\"/><c:h val=\"%.6f\"/>"
                "</c:manualLayout></c:layout>",
                plot.x, plot.y, plot.w, plot.h);
  return xml.replace(at, automatic.size(), manual);
}

// Places the plot areas libxlsxwriter could not in the workbook it wrote to fd: the chart parts
// xl/charts/chart<n>.xml are numbered in the order the charts were added. The archive is read and
// written again through the descriptor. Returns an empty text, else the reason.
std::string PlacePlotAreas(int fd, const std::vector<std::optional<PlotFraction>>& plots) {
  bool any = false;
  for (const auto& plot : plots) any = any || plot.has_value();
  if (!any) return {};
  const std::string original = ReadDescriptor(fd);
  zip_error_t error;
  zip_error_init(&error);
  // The source owns a copy of the bytes: libzip's buffer source shares the original's fragments with
  // the archive it writes and frees them with it, whoever gave them.
  void* bytes = std::malloc(original.size());
  if (bytes == nullptr) return "内存不足";
  std::memcpy(bytes, original.data(), original.size());
  zip_source_t* source = zip_source_buffer_create(bytes, original.size(), 1, &error);
  if (source == nullptr) {
    std::free(bytes);
    return zip_error_strerror(&error);
  }
  zip_source_keep(source);
  const auto fail = [&](zip_t* archive) {
    std::string reason = archive != nullptr ? zip_strerror(archive) : zip_error_strerror(&error);
    if (archive != nullptr) zip_discard(archive);
    zip_source_free(source);
    zip_error_fini(&error);
    return reason;
  };
  zip_t* archive = zip_open_from_source(source, 0, &error);
  if (archive == nullptr) return fail(nullptr);
  std::vector<std::string> parts(plots.size());  // alive until the archive is written
  for (std::size_t i = 0; i < plots.size(); ++i) {
    if (!plots[i]) continue;
    const std::string name = "xl/charts/chart" + std::to_string(i + 1) + ".xml";
    zip_stat_t stat;
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
    if (index < 0 || zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) return fail(archive);
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) return fail(archive);
    std::string xml(stat.size, '\0');
    const zip_int64_t read = zip_fread(file, xml.data(), xml.size());
    zip_fclose(file);
    if (read != static_cast<zip_int64_t>(xml.size())) return fail(archive);
    parts[i] = WithPlotLayout(std::move(xml), *plots[i]);
    zip_source_t* part = zip_source_buffer(archive, parts[i].data(), parts[i].size(), 0);
    if (part == nullptr) return fail(archive);
    if (zip_file_replace(archive, static_cast<zip_uint64_t>(index), part, 0) != 0) {
      zip_source_free(part);
      return fail(archive);
    }
  }
  if (zip_close(archive) != 0) return fail(archive);
  // The new archive is the source's content now.
  std::string written;
  zip_stat_t stat;
  if (zip_source_stat(source, &stat) != 0 || zip_source_open(source) != 0) return fail(nullptr);
  written.resize(stat.size);
  const zip_int64_t read = zip_source_read(source, written.data(), written.size());
  zip_source_close(source);
  zip_source_free(source);
  zip_error_fini(&error);
  if (read != static_cast<zip_int64_t>(written.size())) return "无法写入图表布局";
  ReplaceDescriptorContent(fd, written);
  return {};
}

}  // namespace

void WriteWorkbookFile(const ReportWorkbook& workbook, const std::string& path, bool privateToUser, bool replace) {
  // libxlsxwriter keeps its scratch files in the user's temporary directory, not necessarily /tmp.
  const CNumericLocale numericLocale;
  if (!numericLocale.ok()) throw WorkbookWriteError("无法设置数字格式");
  std::string tmpdir = ThePlatform().TempPath();
  lxw_workbook_options options = {};
  options.tmpdir = tmpdir.data();

  try {
    // libxlsxwriter takes a file name: it is given the one that leads to the new file's descriptor.
    const SafeWriteOptions file{.mode = privateToUser ? mode_t{0600} : CreationMode(0666), .replace = replace};
    WriteFileSafelyWith(path, file, [&](int fd, const std::string&) {
      lxw_workbook* book = workbook_new_opt(DescriptorPath(fd).c_str(), &options);
      if (book == nullptr) throw WorkbookWriteError("无法创建工作簿");
      std::string reason;
      StyleFormats formats(book);
      std::vector<std::optional<PlotFraction>> plots;
      for (const FormattedSheet& content : workbook.sheets) {
        reason = AddWorksheet(book, formats, content, plots);
        if (!reason.empty()) break;
      }
      const lxw_error closed = workbook_close(book);  // writes the file and frees the workbook
      if (reason.empty() && closed != LXW_NO_ERROR) reason = lxw_strerror(closed);
      if (reason.empty()) reason = PlacePlotAreas(fd, plots);
      if (!reason.empty()) throw WorkbookWriteError(reason);
    });
  } catch (const FileSystemError& e) {
    if (e.error() == EEXIST && !replace) throw WorkbookNameTaken();
    throw WorkbookWriteError(std::strerror(e.error()), e.Cause());
  }
}
