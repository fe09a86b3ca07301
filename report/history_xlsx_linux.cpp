// The history workbook on Linux: libxlsxwriter in constant-memory mode, rows streamed from the store.
#include "report/history_xlsx.h"

#include <xlsxwriter.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "app/afx.h"
#include "app/platform.h"
#include "app/safe_write_linux.h"
#include "report/report.h"
#include "report/xlsx_linux.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

// A worksheet holds 1,048,576 rows; the first holds the headers.
constexpr long kMaxStoredRows = 1048575;

// The report's names of the derived quantities, in the order of the sheet.
constexpr const char* kDerivedNames[] = {"C1", "f1", "C2", "f2", "C3", "f3", "Rp"};
constexpr std::size_t kDerivedCount = std::size(kDerivedNames);

// Columns of the sheet, A = 0.
constexpr lxw_col_t kColNumber = 0;
constexpr lxw_col_t kColImportedAt = 1;
constexpr lxw_col_t kColFile = 2;
constexpr lxw_col_t kColFirstValue = 3;  // the eleven values, then the derived quantities
constexpr lxw_col_t kColFirstDerived = kColFirstValue + kParameterCount;
constexpr lxw_col_t kColLast = kColFirstDerived + kDerivedCount - 1;

// The series of the two charts: sheet columns of R0, R1, R2, R3, Rp and of C1, C2, C3.
constexpr lxw_col_t DerivedColumn(std::size_t i) { return kColFirstDerived + static_cast<lxw_col_t>(i); }
constexpr lxw_col_t ValueColumn(ParameterIndex i) { return kColFirstValue + static_cast<lxw_col_t>(i); }
constexpr lxw_col_t kResistanceSeries[] = {ValueColumn(kR0), ValueColumn(kR1), ValueColumn(kR2), ValueColumn(kR3),
                                           DerivedColumn(6)};
constexpr lxw_col_t kCapacitanceSeries[] = {DerivedColumn(0), DerivedColumn(2), DerivedColumn(4)};

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw std::runtime_error(Format("无法写入文件：%s（%s）", path.c_str(), reason.c_str()));
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
  // A shared store's sheet also has who imported each row and where, after the derived quantities.
  HistorySheetWriter(const std::string& file, const std::string& path, bool shared)
      : m_path(path), m_lastColumn(shared ? kColLast + 2 : kColLast) {
    m_derivedAt.fill(kReportColumns);
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
    worksheet_freeze_panes(m_sheet, 1, 0);

    Check(worksheet_write_string(m_sheet, 0, kColNumber, "No.", header));
    Check(worksheet_write_string(m_sheet, 0, kColImportedAt, kProvenanceColumns[kImportedAt], header));
    Check(worksheet_write_string(m_sheet, 0, kColFile, "file", header));
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      Check(worksheet_write_string(m_sheet, 0, kColFirstValue + static_cast<lxw_col_t>(i), kParameterColumns[i], header));
    }
    for (std::size_t i = 0; i < kDerivedCount; ++i) {
      Check(worksheet_write_string(m_sheet, 0, DerivedColumn(i), kDerivedNames[i], header));
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
    for (std::size_t i = 0; i < kParameterCount; ++i) {
      const bool exponent = i == kCpe1P || i == kCpe2P || i == kCpe3P;
      Value(r, kColFirstValue + static_cast<lxw_col_t>(i), row.parameters[i], exponent ? m_exponent : m_scientific);
    }
    // The derived quantities exactly as the report computes and writes them.
    const ReportCells cells = BuildReportCells(row.parameters);
    if (!m_derivedLocated) {
      m_derivedLocated = true;
      for (std::size_t i = 0; i < kDerivedCount; ++i) {
        for (std::size_t c = 0; c < kReportColumns; ++c) {
          if (cells.names[c] == kDerivedNames[i]) m_derivedAt[i] = c;
        }
      }
    }
    for (std::size_t i = 0; i < kDerivedCount; ++i) {
      if (m_derivedAt[i] < kReportColumns) Value(r, DerivedColumn(i), cells.values[m_derivedAt[i]], m_scientific);
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
      AddChart("R0, R1, R2, R3, Rp", kResistanceSeries, std::size(kResistanceSeries), 1);
      AddChart("C1, C2, C3", kCapacitanceSeries, std::size(kCapacitanceSeries), 23);
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
    if (!text.empty()) Check(worksheet_write_string(m_sheet, r, c, ValidUtf8(text).c_str(), nullptr));
  }

  // A number when the atof rule reads the whole text (blanks around it aside) to a finite value;
  // otherwise the text as it is.
  void Value(lxw_row_t r, lxw_col_t c, const std::string& text, lxw_format* format) {
    std::size_t used = 0;
    const double number = TextToDouble(text, &used);
    std::size_t end = text.size();
    while (end > used && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    if (used > 0 && used == end && std::isfinite(number)) {
      Check(worksheet_write_number(m_sheet, r, c, number, format));
    } else {
      Text(r, c, text);
    }
  }

  void AddChart(const char* title, const lxw_col_t* columns, std::size_t count, lxw_row_t anchorRow) {
    lxw_chart* chart = workbook_add_chart(m_book, LXW_CHART_SCATTER_STRAIGHT);
    if (chart == nullptr) Fail(m_path, "无法添加图表");
    const auto last = static_cast<lxw_row_t>(m_rows);
    for (std::size_t i = 0; i < count; ++i) {
      lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
      if (series == nullptr) Fail(m_path, "无法添加图表");
      chart_series_set_categories(series, kHistorySheetName, 1, kColNumber, last, kColNumber);
      chart_series_set_values(series, kHistorySheetName, 1, columns[i], last, columns[i]);
      chart_series_set_name_range(series, kHistorySheetName, 0, columns[i]);
    }
    chart_title_set_name(chart, title);
    chart_axis_set_name(chart->x_axis, "No.");
    chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
    lxw_chart_options options = {};
    options.x_scale = 1.5;
    options.y_scale = 1.5;
    Check(worksheet_insert_chart_opt(m_sheet, anchorRow, m_lastColumn + 2, chart, &options));
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
  // Where the report puts each derived quantity, found by its name in the first row built.
  std::array<std::size_t, kDerivedCount> m_derivedAt{};
  bool m_derivedLocated = false;
  lxw_col_t m_lastColumn;  // the table's last column
};

// Writes the history of the open store to file, a new file; failures name path.
long WriteHistoryWorkbook(const std::string& file, const std::string& path) {
  const CNumericLocale numericLocale;
  if (!numericLocale.ok()) Fail(path, "无法设置数字格式");
  HistorySheetWriter writer(file, path, TheParameterStore().Shared());
  TheParameterStore().ReadHistory([&](const StoredRow& row) { writer.Add(row); });
  return writer.Finish();
}

constexpr const char* kShownFileName = "qelmora-history.xlsx";

}  // namespace

long SaveHistoryWorkbook(const std::string& target) {
  PathParts parts = SplitPath(target);
  if (parts.fname.empty() && parts.ext.empty()) Fail(target, "不是文件名");
  // libxlsxwriter opens the file by name: it is made in a folder nobody else can enter.
  long rows = 0;
  try {
    WriteFileSafelyWith(target, {.mode = CreationMode(0666), .privateDirectory = true},
                        [&](int, const std::string& file) { rows = WriteHistoryWorkbook(file, target); });
  } catch (const FileSystemError& e) {
    Fail(target, std::strerror(e.error()));
  }
  return rows;
}

void ShowHistoryWorkbook() {
  PrivateDirectory folder(ThePlatform().TempPath() + "qelmora-history-XXXXXX");
  const std::string file = folder.path() + kPathSeparator + kShownFileName;
  WriteHistoryWorkbook(file, file);
  // The application reads the file after we are gone: it stays.
  folder.Keep();
  const std::string failure = OpenWithSpreadsheetApplication(file);
  if (!failure.empty()) {
    throw std::runtime_error(Format("无法打开文件 %s：%s", file.c_str(), failure.c_str()));
  }
}
