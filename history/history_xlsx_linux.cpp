// The history workbook on Linux: libxlsxwriter in constant-memory mode, rows streamed from the store.
#include "history/history_xlsx.h"

#include <xlsxwriter.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/afx.h"
#include "base/platform.h"
#include "base/safe_write_linux.h"
#include "report/report.h"
#include "report/report_layout.h"
#include "report/report_sheets.h"
#include "spreadsheet/workbook_file.h"
#include "spreadsheet/xlsx_linux.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

// A worksheet holds 1,048,576 rows; the first holds the headers.
constexpr long kMaxStoredRows = 1048575;

// A cell holds at most 32,767 characters (UTF-16 units): a longer text is cut to fit, with this mark
// at its end. The CSV history keeps it whole.
constexpr std::size_t kCellLimit = 32767;
constexpr const char* kCutMark = "…（已截断）";

// The text (valid UTF-8) as a cell can hold it.
std::string CellText(const std::string& text) {
  std::size_t units = 0;  // of the characters before byte i
  std::size_t fits = 0;   // bytes of the characters that leave room for the mark's six
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xc0) == 0x80) continue;
    if (units <= kCellLimit - 6) fits = i;
    units += c >= 0xf0 ? 2 : 1;
  }
  return units <= kCellLimit ? text : text.substr(0, fits) + kCutMark;
}

// Columns of the sheet, A = 0: the row number, the import time, the model file, then every report
// quantity in the order of ReportQuantity (the eleven values, then C1, f1, C2, f2, C3, f3, Rp).
constexpr lxw_col_t kColNumber = 0;
constexpr lxw_col_t kColImportedAt = 1;
constexpr lxw_col_t kColFile = 2;
constexpr lxw_col_t kColFirstValue = 3;
constexpr lxw_col_t kColLast = kColFirstValue + kReportQuantityCount - 1;
constexpr lxw_col_t QuantityColumn(ReportQuantity q) { return kColFirstValue + static_cast<lxw_col_t>(q); }

// The charts plot hidden columns after the table that hold a quantity only where it is a positive
// number: a text or an empty value leaves a gap (a spreadsheet draws a text as 0), and a logarithmic
// axis has no place for 0 or less. One column per series of kHistoryCharts, in their order.
constexpr std::size_t ChartSeriesCount() {
  std::size_t count = 0;
  for (const HistoryChart& chart : kHistoryCharts) count += chart.series.size();
  return count;
}
constexpr std::size_t kChartSeriesCount = ChartSeriesCount();

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw OperationError(Format("无法写入文件：%s（%s）", path.c_str(), reason.c_str()));
}

// "YYYY-MM-DDThh:mm:ssZ" as a date; false for any other text.
bool ParseImportTime(const std::string& text, lxw_datetime& time) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z') {
    return false;
  }
  auto number = [&](std::size_t at, std::size_t length, int& out) {
    out = 0;
    for (std::size_t i = at; i < at + length; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  int second = 0;
  if (!number(0, 4, time.year) || !number(5, 2, time.month) || !number(8, 2, time.day) ||
      !number(11, 2, time.hour) || !number(14, 2, time.min) || !number(17, 2, second)) {
    return false;
  }
  time.sec = second;
  return time.year >= 1900 && time.month >= 1 && time.month <= 12 && time.day >= 1 && time.day <= 31 &&
         time.hour <= 23 && time.min <= 59 && second <= 59;
}

// The model file's name from its stored path.
std::string FileName(const std::string& source) {
  const PathParts parts = SplitPath(source);
  return parts.fname + parts.ext;
}

class HistorySheetWriter {
 public:
  // The workbook is made at file; its failures name path.
  // A shared store's sheet also has who imported each row and where, after the derived quantities;
  // the plotted columns and the charts follow the table.
  HistorySheetWriter(const std::string& file, const std::string& path, bool shared)
      : m_path(path),
        m_lastColumn(shared ? kColLast + 2 : kColLast),
        m_firstPlotted(m_lastColumn + 1),
        m_chartsColumn(m_firstPlotted + kChartSeriesCount + 1) {
    m_tmpdir = ThePlatform().TempPath();
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_tmpdir.data();
    m_book = workbook_new_opt(file.c_str(), &options);
    m_closer.book = m_book;
    if (m_book == nullptr) Fail(path, "无法创建工作簿");
    m_sheet = workbook_add_worksheet(m_book, kHistorySheetName);
    if (m_sheet == nullptr) Fail(path, "无法添加工作表");

    lxw_format* header = workbook_add_format(m_book);
    format_set_bold(header);
    m_time = NumberFormat("yyyy-mm-dd hh:mm:ss");
    m_scientific = NumberFormat("0.0000E+00");
    m_exponent = NumberFormat("0.0000");

    worksheet_set_column(m_sheet, kColNumber, kColNumber, 7, nullptr);
    worksheet_set_column(m_sheet, kColImportedAt, kColImportedAt, 20, m_time);
    worksheet_set_column(m_sheet, kColFile, kColFile, 28, nullptr);
    worksheet_set_column(m_sheet, kColFirstValue, kColLast, 12, nullptr);
    lxw_row_col_options hidden = {};
    hidden.hidden = LXW_TRUE;
    worksheet_set_column_opt(m_sheet, m_firstPlotted, m_firstPlotted + kChartSeriesCount - 1, 12, nullptr, &hidden);
    worksheet_freeze_panes(m_sheet, 1, 0);

    Check(worksheet_write_string(m_sheet, 0, kColNumber, "No.", header));
    Check(worksheet_write_string(m_sheet, 0, kColImportedAt, kProvenanceColumns[kImportedAt], header));
    Check(worksheet_write_string(m_sheet, 0, kColFile, "file", header));
    for (std::size_t q = 0; q < kReportQuantityCount; ++q) {
      Check(worksheet_write_string(m_sheet, 0, QuantityColumn(ReportQuantity(q)), kQuantities[q].name, header));
    }
    lxw_col_t plotted = m_firstPlotted;
    for (const HistoryChart& chart : kHistoryCharts) {
      for (const ReportQuantity q : chart.series) Check(worksheet_write_string(m_sheet, 0, plotted++, kQuantities[q].name, nullptr));
    }
    if (m_lastColumn != kColLast) {
      worksheet_set_column(m_sheet, kColLast + 1, m_lastColumn, 20, nullptr);
      Check(worksheet_write_string(m_sheet, 0, kColLast + 1, kImportedByColumn, header));
      Check(worksheet_write_string(m_sheet, 0, kColLast + 2, kWorkstationColumn, header));
    }
  }

  HistorySheetWriter(const HistorySheetWriter&) = delete;
  HistorySheetWriter& operator=(const HistorySheetWriter&) = delete;

  void Add(const StoredRow& row) {
    if (m_rows == kMaxStoredRows) Fail(m_path, "历史记录超过一张工作表的行数上限");
    const auto r = static_cast<lxw_row_t>(++m_rows);
    Check(worksheet_write_number(m_sheet, r, kColNumber, static_cast<double>(m_rows), nullptr));
    lxw_datetime time{};
    const std::string& importedAt = row.provenance[kImportedAt];
    if (ParseImportTime(importedAt, time)) {
      Check(worksheet_write_datetime(m_sheet, r, kColImportedAt, &time, m_time));
    } else {
      Text(r, kColImportedAt, importedAt);
    }
    Text(r, kColFile, FileName(row.provenance[kSource]));
    // The stored values as stored, the derived ones exactly as the report computes and writes them.
    const ReportTexts texts = ComputeReportTexts(row.parameters);
    std::array<std::optional<double>, kReportQuantityCount> numbers;
    for (std::size_t q = 0; q < kReportQuantityCount; ++q) {
      const bool exponent = q == kQuantityCpe1P || q == kQuantityCpe2P || q == kQuantityCpe3P;
      numbers[q] = Value(r, QuantityColumn(ReportQuantity(q)), texts[q], exponent ? m_exponent : m_scientific);
    }
    lxw_col_t plotted = m_firstPlotted;
    for (const HistoryChart& chart : kHistoryCharts) {
      for (const ReportQuantity q : chart.series) {
        if (numbers[q] && *numbers[q] > 0) Check(worksheet_write_number(m_sheet, r, plotted, *numbers[q], nullptr));
        ++plotted;
      }
    }
    if (m_lastColumn != kColLast) {
      Text(r, kColLast + 1, row.importedBy);
      Text(r, kColLast + 2, row.workstation);
    }
  }

  // Adds the autofilter and the charts, and writes the file.
  long Finish() {
    Check(worksheet_autofilter(m_sheet, 0, kColNumber, static_cast<lxw_row_t>(m_rows), m_lastColumn));
    if (m_rows > 0) {
      lxw_col_t plotted = m_firstPlotted;
      lxw_row_t anchor = 1;
      for (const HistoryChart& chart : kHistoryCharts) {
        AddChart(chart, plotted, anchor);
        plotted += static_cast<lxw_col_t>(chart.series.size());
        anchor += 23;
      }
    }
    const lxw_error closed = workbook_close(m_book);
    m_closer.book = nullptr;
    if (closed != LXW_NO_ERROR) Fail(m_path, lxw_strerror(closed));
    return m_rows;
  }

 private:
  lxw_format* NumberFormat(const char* pattern) {
    lxw_format* format = workbook_add_format(m_book);
    format_set_num_format(format, pattern);
    return format;
  }

  void Check(lxw_error error) const {
    if (error != LXW_NO_ERROR) Fail(m_path, lxw_strerror(error));
  }

  void Text(lxw_row_t r, lxw_col_t c, const std::string& text) {
    if (!text.empty()) Check(worksheet_write_string(m_sheet, r, c, CellText(WorkbookText(text)).c_str(), nullptr));
  }

  // A number when the atof rule reads the whole text (blanks around it aside) to a finite value;
  // otherwise the text as it is. Returns the number written.
  std::optional<double> Value(lxw_row_t r, lxw_col_t c, const std::string& text, lxw_format* format) {
    double number = 0;
    if (TextIsNumber(text, &number)) {
      Check(worksheet_write_number(m_sheet, r, c, number, format));
      return number;
    }
    Text(r, c, text);
    return std::nullopt;
  }

  // One chart of the history: its series from the plotted columns from the first on, over the row
  // number (whole-number ticks), on a logarithmic value axis.
  void AddChart(const HistoryChart& spec, lxw_col_t firstPlotted, lxw_row_t anchorRow) {
    lxw_chart* chart = workbook_add_chart(m_book, LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS);
    if (chart == nullptr) Fail(m_path, "无法添加图表");
    const auto last = static_cast<lxw_row_t>(m_rows);
    for (std::size_t i = 0; i < spec.series.size(); ++i) {
      const lxw_col_t column = firstPlotted + static_cast<lxw_col_t>(i);
      lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
      if (series == nullptr) Fail(m_path, "无法添加图表");
      chart_series_set_categories(series, kHistorySheetName, 1, kColNumber, last, kColNumber);
      chart_series_set_values(series, kHistorySheetName, 1, column, last, column);
      chart_series_set_name_range(series, kHistorySheetName, 0, column);
      chart_series_set_marker_type(series, LXW_CHART_MARKER_CIRCLE);
      chart_series_set_marker_size(series, 5);
    }
    chart_title_set_name(chart, spec.title);
    chart_axis_set_name(chart->x_axis, "No.（导入顺序）");
    chart_axis_set_min(chart->x_axis, 0);
    chart_axis_set_max(chart->x_axis, static_cast<double>(m_rows + 1));
    chart_axis_set_major_unit(chart->x_axis, WholeStep(m_rows));
    chart_axis_set_num_format(chart->x_axis, "0");
    chart_axis_set_name(chart->y_axis, spec.axisTitle);
    chart_axis_set_log_base(chart->y_axis, 10);
    chart_axis_set_label_position(chart->y_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_axis_set_label_position(chart->x_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_show_blanks_as(chart, LXW_CHART_BLANKS_AS_GAP);
    chart_show_hidden_data(chart);  // the plotted columns are hidden
    chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
    lxw_chart_options options = {};
    options.x_scale = 1.5;
    options.y_scale = 1.5;
    Check(worksheet_insert_chart_opt(m_sheet, anchorRow, m_chartsColumn, chart, &options));
  }

  // A whole-number tick step for rows: 1, 2, 5, 10, 20 … so that about ten ticks show.
  static double WholeStep(long rows) {
    double step = 1;
    for (int i = 0; rows / step > 10; ++i) step *= i % 3 == 1 ? 2.5 : 2;
    return step;
  }

  // Frees the workbook on every way out, also when the constructor fails half-way.
  struct Closer {
    lxw_workbook* book = nullptr;
    ~Closer() {
      if (book != nullptr) workbook_close(book);
    }
  };

  std::string m_path;
  std::string m_tmpdir;
  Closer m_closer;
  lxw_workbook* m_book = nullptr;
  lxw_worksheet* m_sheet = nullptr;
  lxw_format* m_time = nullptr;
  lxw_format* m_scientific = nullptr;
  lxw_format* m_exponent = nullptr;
  long m_rows = 0;
  lxw_col_t m_lastColumn;    // the table's last column
  lxw_col_t m_firstPlotted;  // the first of the hidden columns the charts plot
  lxw_col_t m_chartsColumn;  // where the charts stand
};

// Writes the history of the open store to file, a new file; failures name path.
long WriteHistoryWorkbook(const std::string& file, const std::string& path) {
  const CNumericLocale numericLocale;
  if (!numericLocale.ok()) Fail(path, "无法设置数字格式");
  HistorySheetWriter writer(file, path, TheParameterStore().Shared());
  TheParameterStore().ReadHistory([&](const StoredRow& row) { writer.Add(row); });
  return writer.Finish();
}

// Writes the history to target; failures name shownPath. replace false: a file there stays, and
// WorkbookNameTaken is raised.
long SaveHistory(const std::string& target, const std::string& shownPath, bool replace) {
  PathParts parts = SplitPath(target);
  if (parts.fname.empty() && parts.ext.empty()) Fail(shownPath, "不是文件名");
  // libxlsxwriter opens the file by name: it is made in a folder nobody else can enter.
  long rows = 0;
  try {
    WriteFileSafelyWith(target, {.mode = CreationMode(0666), .replace = replace, .privateDirectory = true},
                        [&](int, const std::string& file) { rows = WriteHistoryWorkbook(file, shownPath); });
  } catch (const FileSystemError& e) {
    if (!replace && e.error() == EEXIST) throw WorkbookNameTaken();
    Fail(shownPath, std::strerror(e.error()));
  }
  return rows;
}

}  // namespace

long SaveHistoryWorkbook(const std::string& target, bool replace) { return SaveHistory(target, target, replace); }

void ShowHistoryWorkbook() {
  if (!HasSpreadsheetApplication()) throw OperationError("无法打开参数历史：没有打开 .xlsx 文件的默认程序");
  const WorkbookFolder folder;
  const std::string name = "qelmora-history-" + FileStamp(ReportTimeText()) + ".xlsx";
  const std::string path = folder.WriteNew(
      name, [&](const std::string& file) { SaveHistory(file, folder.path() + file.substr(file.rfind('/')), false); });
  const std::string failure = OpenWithSpreadsheetApplication(path);
  if (!failure.empty()) throw OperationError(Format("无法打开文件 %s：%s", path.c_str(), failure.c_str()));
}
