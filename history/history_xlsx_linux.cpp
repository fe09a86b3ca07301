// The history workbook on Linux: libxlsxwriter for the charts, the notes, the headers and the styles;
// the rows streamed from the store into the sheets' XML beside it (SheetRows), in one read.
#include "history/history_xlsx.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <charconv>
#include <string_view>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/afx.h"
#include "base/platform.h"
#include "base/safe_write_linux.h"
#include "report/report.h"
#include "report/report_layout.h"
#include "report/report_sheets.h"
#include "spreadsheet/workbook_file.h"
#include "spreadsheet/xlsx_linux.h"
#include "spreadsheet/chart_parts_linux.h"
#include "history/history_series.h"
#include "store/store.h"
#include "store/store_location.h"

namespace {

// A cell holds at most 32,767 characters (UTF-16 units): a longer text is cut to fit, with this mark
// at its end. The CSV history keeps it whole.
constexpr std::size_t kCellLimit = 32767;
constexpr const char* kCutMark = "…（已截断）";
constexpr const char* kFlagMark = "▲";
constexpr const char* kWholeHistorySheetName = "全部历史";

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

// Columns of a history sheet, A = 0: the row number, the import time, the model file, every report
// quantity in the order of ReportQuantity, [who imported it and where], each parameter's standard
// error, each parameter's change flag.
constexpr lxw_col_t kColNumber = 0;
constexpr lxw_col_t kColImportedAt = 1;
constexpr lxw_col_t kColFile = 2;
constexpr lxw_col_t kColFirstValue = 3;
constexpr lxw_col_t QuantityColumn(std::size_t q) { return kColFirstValue + static_cast<lxw_col_t>(q); }
constexpr lxw_col_t kColAfterValues = QuantityColumn(kReportQuantityCount);

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
  throw OperationError(Format("无法写入文件：%s（%s）", path.c_str(), reason.c_str()));
}

// How a number text shows its digits: the decimals of its mantissa, and whether it has an exponent.
struct Digits {
  int decimals = 0;
  bool exponent = false;
};
constexpr int kMaxDecimals = 30;

Digits DigitsOf(const std::string& text) {
  Digits digits;
  bool fraction = false;
  for (const char c : text) {
    if (c == '.') {
      fraction = true;
    } else if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
      digits.exponent = true;
      break;
    } else if (fraction && c >= '0' && c <= '9') {
      ++digits.decimals;
    }
  }
  digits.decimals = std::min(digits.decimals, kMaxDecimals);
  return digits;
}

// The range a chart's value axis spans: the values and their standard errors.
struct Span {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Add(double value) {
    low = std::min(low, value);
    high = std::max(high, value);
  }
  bool Empty() const { return low > high; }
};

// Copies what is left of in to out. Returns the bytes copied, or -1 (errno says why).
ssize_t CopyAll(int in, int out) {
  ssize_t total = 0;
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? -1 : total;
    total += n;
  }
}

// Whether text is a number as a worksheet's XML writes one (blanks around it aside): then its digits
// go into the cell as they are.
std::string_view PlainNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
  };
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::size_t mantissa = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return {};  // "1600.": written as 1600
    mantissa = 1;
  }
  if (mantissa == 0) return {};
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (digits() == 0) return {};
  }
  return i == text.size() ? text : std::string_view{};
}

// The rows of one history sheet as worksheet XML, in a scratch file of the private folder; they take
// the place of libxlsxwriter's rows once the workbook is written (RewriteParts). libxlsxwriter formats
// every number with printf and deflates the rows at its default level: the rows are most of the
// workbook, so they are written here, each number with the digits of its text, deflated fast.
class SheetRows {
 public:
  // letters: of each column, for the cells' references.
  SheetRows(std::string path, const std::string& shownPath, const std::vector<std::string>& letters)
      : m_path(std::move(path)), m_shownPath(shownPath), m_letters(letters) {
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) Fail(shownPath, std::strerror(errno));
    m_buffer.reserve(kFlushAt + 65536);
  }
  ~SheetRows() {
    if (m_fd >= 0) ::close(m_fd);
  }
  SheetRows(const SheetRows&) = delete;
  SheetRows& operator=(const SheetRows&) = delete;

  const std::string& path() const { return m_path; }

  void StartRow(lxw_row_t r) {
    m_row = std::to_string(r + 1);
    m_next = 0;
    m_buffer += "<row r=\"";
    m_buffer += m_row;
    m_buffer += "\">";
  }
  void EndRow() {
    m_buffer += "</row>";
    if (m_buffer.size() >= kFlushAt) Flush();
  }
  // A number: its digits as given, or the shortest text that reads back as number.
  void Number(lxw_col_t column, std::string_view digits, double number, int style) {
    char shortest[32];
    if (digits.empty()) {
      const auto [end, ec] = std::to_chars(shortest, shortest + sizeof shortest, number);
      digits = std::string_view(shortest, static_cast<std::size_t>(end - shortest));
    }
    Start(column, style);
    m_buffer += "><v>";
    m_buffer += digits;
    m_buffer += "</v></c>";
  }
  // A text, as a cell can hold it.
  void Text(lxw_col_t column, const std::string& text, int style) {
    Start(column, style);
    m_buffer += " t=\"inlineStr\"><is><t xml:space=\"preserve\">";
    for (const char c : CellText(WorkbookText(text))) {
      switch (c) {
        case '&': m_buffer += "&amp;"; break;
        case '<': m_buffer += "&lt;"; break;
        case '>': m_buffer += "&gt;"; break;
        default: m_buffer += c;
      }
    }
    m_buffer += "</t></is></c>";
  }
  void Flush() {
    for (std::size_t at = 0; at < m_buffer.size();) {
      const ssize_t n = ::write(m_fd, m_buffer.data() + at, m_buffer.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail(m_shownPath, std::strerror(errno));
      at += static_cast<std::size_t>(n);
    }
    m_buffer.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;

  // A cell's start; its reference only after a gap (a cell without one follows the one before).
  void Start(lxw_col_t column, int style) {
    m_buffer += "<c";
    if (column != m_next) {
      m_buffer += " r=\"";
      m_buffer += m_letters[column];
      m_buffer += m_row;
      m_buffer += '"';
    }
    m_next = column + 1;
    if (style > 0) {
      m_buffer += " s=\"";
      m_buffer += std::to_string(style);
      m_buffer += '"';
    }
  }

  std::string m_path;
  const std::string& m_shownPath;
  int m_fd = -1;
  const std::vector<std::string>& m_letters;
  std::string m_buffer;
  std::string m_row;
  lxw_col_t m_next = 0;  // the column a cell without a reference is in
};

// One table of the history: rows that pass a filter, on as many sheets as they take.
class HistoryTable {
 public:
  // The rows' scratch files go into scratchFolder, a folder only this user can enter.
  HistoryTable(lxw_workbook* book, const std::string& path, const std::string& scratchFolder, bool shared,
               std::string name, HistoryFilter filter, std::string folder, long rowsPerSheet)
      : m_book(book),
        m_scratchFolder(scratchFolder),
        m_path(path),
        m_shared(shared),
        m_name(std::move(name)),
        m_filter(std::move(filter)),
        m_folder(std::move(folder)),
        m_rowsPerSheet(rowsPerSheet),
        m_colFirstSe(kColAfterValues + (shared ? 2 : 0)),
        m_colFirstFlag(m_colFirstSe + kParameterCount),
        m_colLast(m_colFirstFlag + kParameterCount - 1) {
    m_header = workbook_add_format(book);
    format_set_bold(m_header);
    m_time = lxw_format_get_xf_index(NumberFormat("yyyy-mm-dd hh:mm:ss", false));
    lxw_format* flag = workbook_add_format(book);
    StandOut(flag);
    m_flag = lxw_format_get_xf_index(flag);
    for (lxw_col_t c = 0; c <= m_colLast; ++c) m_letters.push_back(ReportColumnLetters(c));
    std::fill_n(&m_digitStyles[0][0][0], sizeof m_digitStyles / sizeof(int), -1);
  }

  const HistoryFilter& filter() const { return m_filter; }

  // The note above the table: the rows, the series, the flags, the filters.
  std::string Note() const {
    std::string note = Format("%ld 行，%zu 个系列（模型文件的文件夹）；%ld 处变化大于前后两次导入合并标准误差的两倍，标为 %s",
                              m_rows, m_changes.Series(), m_changes.Count(), kFlagMark);
    const std::string filters = m_filter.Describe();
    if (!filters.empty()) note += "；筛选：" + filters;
    return note;
  }

  // Every row of the store the filter lets through, then each sheet's note and autofilter.
  void Write(ParameterStore& store) {
    store.ReadHistory([&](const StoredRow& row) {
      if (m_filter.Matches(row)) Add(row);
    }, m_filter.Days());
    if (m_sheets.empty()) AddSheet();
    const std::string note = WorkbookText(Note());
    for (std::size_t s = 0; s < m_sheets.size(); ++s) {
      m_sheets[s].rows->Flush();
      Check(worksheet_write_string(m_sheets[s].sheet, 0, 0, note.c_str(), m_header));
      Check(worksheet_autofilter(m_sheets[s].sheet, kHistoryHeaderRows - 1, kColNumber,
                                 static_cast<lxw_row_t>(kHistoryHeaderRows - 1 + RowsOn(s)), m_colLast));
    }
  }

  std::size_t series() const { return m_changes.Series(); }
  long rows() const { return m_rows; }
  std::size_t sheets() const { return m_sheets.size(); }
  const std::string& SheetName(std::size_t s) const { return m_sheets[s].name; }
  long RowsOn(std::size_t s) const {
    return std::min(m_rowsPerSheet, m_rows - static_cast<long>(s) * m_rowsPerSheet);
  }
  lxw_col_t SeColumn(std::size_t p) const { return m_colFirstSe + static_cast<lxw_col_t>(p); }

  // Once libxlsxwriter has written the workbook: each sheet's rows after its note and headers.
  void AddParts(std::vector<PartChange>& changes) const {
    for (std::size_t s = 0; s < m_sheets.size(); ++s) {
      const Sheet& sheet = m_sheets[s];
      const std::string last = m_letters.back() + std::to_string(kHistoryHeaderRows + RowsOn(s));
      changes.push_back({"xl/worksheets/sheet" + std::to_string(sheet.index + 1) + ".xml",
                         [this, &sheet, last](std::string xml) { return WithRows(std::move(xml), *sheet.rows, last); }});
    }
  }
  const Span& ValueSpan(std::size_t q) const { return m_spans[q]; }
  const Span& TimeSpan() const { return m_times; }

 private:
  struct Sheet {
    std::string name;
    lxw_worksheet* sheet;  // libxlsxwriter's, gone once the workbook is closed
    std::unique_ptr<SheetRows> rows;
    std::size_t index;  // the sheet's place in the workbook, which names its part
  };

  // The sheet's part with the rows of the scratch file after libxlsxwriter's (the note and the
  // headers), its dimension to the last cell, in a new scratch file.
  NewPart WithRows(std::string xml, const SheetRows& rows, const std::string& lastCell) const {
    const std::size_t end = xml.find("</sheetData>");
    if (end == std::string::npos) Fail(m_path, "工作表没有 sheetData");
    const std::size_t dimension = xml.find("<dimension ref=\"");
    if (dimension != std::string::npos && dimension < end) {
      const std::size_t refEnd = xml.find("\"/>", dimension);
      xml.replace(dimension, refEnd - dimension, "<dimension ref=\"A1:" + lastCell);
    }
    const std::string part = rows.path() + ".xml";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) Fail(m_path, std::strerror(errno));
    try {
      WriteAll(fd, std::string_view(xml).substr(0, xml.find("</sheetData>")));
      const int in = ::open(rows.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (in < 0) Fail(m_path, std::strerror(errno));
      const ssize_t copied = CopyAll(in, fd);
      ::close(in);
      if (copied < 0) Fail(m_path, std::strerror(errno));
      WriteAll(fd, std::string_view(xml).substr(xml.find("</sheetData>")));
    } catch (...) {
      ::close(fd);
      throw;
    }
    ::close(fd);
    ::unlink(rows.path().c_str());
    return {{}, part};
  }

  void WriteAll(int fd, std::string_view bytes) const {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail(m_path, std::strerror(errno));
      at += static_cast<std::size_t>(n);
    }
  }

  // The next sheet: the table's name, then "name (2)", "name (3)" ...
  void AddSheet() {
    const std::string name = m_sheets.empty() ? m_name : Format("%s (%zu)", m_name.c_str(), m_sheets.size() + 1);
    lxw_worksheet* sheet = workbook_add_worksheet(m_book, WorkbookText(name).c_str());
    if (sheet == nullptr) Fail(m_path, "无法添加工作表");
    const std::string scratch = m_scratchFolder + "/rows" + std::to_string(sheet->index);
    m_sheets.push_back({name, sheet, std::make_unique<SheetRows>(scratch, m_path, m_letters), sheet->index});
    worksheet_set_column(sheet, kColNumber, kColNumber, 7, nullptr);
    worksheet_set_column(sheet, kColImportedAt, kColImportedAt, 20, nullptr);
    worksheet_set_column(sheet, kColFile, kColFile, 40, nullptr);
    worksheet_set_column(sheet, kColFirstValue, kColAfterValues - 1, 12, nullptr);
    if (m_shared) worksheet_set_column(sheet, kColAfterValues, kColAfterValues + 1, 20, nullptr);
    worksheet_set_column(sheet, m_colFirstSe, m_colFirstFlag - 1, 12, nullptr);
    worksheet_set_column(sheet, m_colFirstFlag, m_colLast, 8, nullptr);
    worksheet_freeze_panes(sheet, kHistoryHeaderRows, 0);
    worksheet_set_landscape(sheet);
    worksheet_set_paper(sheet, 9);  // A4
    worksheet_repeat_rows(sheet, kHistoryHeaderRows - 1, kHistoryHeaderRows - 1);

    const lxw_row_t h = kHistoryHeaderRows - 1;
    Check(worksheet_write_string(sheet, h, kColNumber, "No.", m_header));
    Check(worksheet_write_string(sheet, h, kColImportedAt, kProvenanceColumns[kImportedAt], m_header));
    Check(worksheet_write_string(sheet, h, kColFile, m_folder.empty() ? "file" : "file（系列文件夹见标题）", m_header));
    for (std::size_t q = 0; q < kReportQuantityCount; ++q) {
      Check(worksheet_write_string(sheet, h, QuantityColumn(q), kQuantities[q].name, m_header));
    }
    if (m_shared) {
      Check(worksheet_write_string(sheet, h, kColAfterValues, kImportedByColumn, m_header));
      Check(worksheet_write_string(sheet, h, kColAfterValues + 1, kWorkstationColumn, m_header));
    }
    for (std::size_t p = 0; p < kParameterCount; ++p) {
      Check(worksheet_write_string(sheet, h, SeColumn(p), kQualityColumns[kQualityFirstSe + p], m_header));
      const std::string flag = std::string(kParameterColumns[p]) + " " + kFlagMark;
      Check(worksheet_write_string(sheet, h, m_colFirstFlag + static_cast<lxw_col_t>(p), flag.c_str(), m_header));
    }
  }

  void Add(const StoredRow& row) {
    SeriesChanges::Numbers values, errors;
    for (std::size_t p = 0; p < kParameterCount; ++p) {
      double number = 0;
      if (TextIsNumber(row.parameters[p], &number)) values[p] = number;
      if (TextIsNumber(row.quality[kQualityFirstSe + p], &number)) errors[p] = number;
    }
    const std::string& source = row.provenance[kSource];
    const ChangeFlags flags = m_changes.Next(SeriesFolder(source), values, errors);
    const std::size_t s = static_cast<std::size_t>(m_rows / m_rowsPerSheet);
    if (s == m_sheets.size()) AddSheet();
    SheetRows& rows = *m_sheets.at(s).rows;
    rows.StartRow(static_cast<lxw_row_t>(kHistoryHeaderRows + m_rows % m_rowsPerSheet));
    ++m_rows;
    rows.Number(kColNumber, {}, static_cast<double>(m_rows), 0);
    const std::string& importedAt = row.provenance[kImportedAt];
    if (const std::optional<ImportTime> time = ParseImportTime(importedAt)) {
      const double serial = SerialDate(*time);
      m_times.Add(serial);
      rows.Number(kColImportedAt, {}, serial, m_time);
    } else {
      Text(rows, kColImportedAt, importedAt);
    }
    // The path; a series titled by its folder shows the rest of it.
    Text(rows, kColFile, !m_folder.empty() && source.rfind(m_folder, 0) == 0 ? source.substr(m_folder.size()) : source);
    // The stored values as stored, the derived ones exactly as the report computes and writes them.
    const ReportTexts texts = ComputeReportTexts(row.parameters);
    std::array<std::optional<double>, kReportQuantityCount> shown;
    for (std::size_t q = 0; q < kReportQuantityCount; ++q) {
      if (q < kParameterCount) {
        shown[q] = values[q];
        Cell(rows, QuantityColumn(q), row.parameters[q], values[q], flags[q]);
      } else {
        shown[q] = Value(rows, QuantityColumn(q), texts[q]);
      }
    }
    if (m_shared) {
      Text(rows, kColAfterValues, row.importedBy);
      Text(rows, kColAfterValues + 1, row.workstation);
    }
    for (std::size_t p = 0; p < kParameterCount; ++p) {
      Cell(rows, SeColumn(p), row.quality[kQualityFirstSe + p], errors[p], false);
    }
    for (std::size_t p = 0; p < kParameterCount; ++p) {
      if (flags[p]) rows.Text(m_colFirstFlag + static_cast<lxw_col_t>(p), kFlagMark, m_flag);
    }
    rows.EndRow();
    for (std::size_t q = 0; q < kReportQuantityCount; ++q) {
      if (!shown[q]) continue;
      const double error = q < kParameterCount && errors[q] ? std::fabs(*errors[q]) : 0;
      m_spans[q].Add(*shown[q] - error);
      m_spans[q].Add(*shown[q] + error);
    }
  }

  static void StandOut(lxw_format* format) {
    format_set_bold(format);
    format_set_font_color(format, LXW_COLOR_RED);
    format_set_bg_color(format, 0xFFEB9C);
  }

  lxw_format* NumberFormat(const char* pattern, bool flagged) {
    lxw_format* format = workbook_add_format(m_book);
    format_set_num_format(format, pattern);
    if (flagged) StandOut(format);
    return format;
  }

  // The style that shows a number with the digits of its text; one per kind, made when first used.
  int DigitsStyle(const Digits& digits, bool flagged) {
    int& style = m_digitStyles[flagged][digits.exponent][digits.decimals];
    if (style < 0) {
      std::string pattern = digits.decimals > 0 ? "0." + std::string(digits.decimals, '0') : "0";
      if (digits.exponent) pattern += "E+00";
      style = lxw_format_get_xf_index(NumberFormat(pattern.c_str(), flagged));
    }
    return style;
  }

  void Check(lxw_error error) const {
    if (error != LXW_NO_ERROR) Fail(m_path, lxw_strerror(error));
  }

  void Text(SheetRows& rows, lxw_col_t c, const std::string& text) {
    if (!text.empty()) rows.Text(c, text, 0);
  }

  // A number when the atof rule reads the whole text (blanks around it aside) to a finite value,
  // shown with the digits of the text; otherwise the text as it is. Returns the number written.
  std::optional<double> Value(SheetRows& rows, lxw_col_t c, const std::string& text) {
    double number = 0;
    std::optional<double> read;
    if (TextIsNumber(text, &number)) read = number;
    Cell(rows, c, text, read, false);
    return read;
  }

  // The cell of a text read as number (nullopt: not a number, the text as it is).
  void Cell(SheetRows& rows, lxw_col_t c, const std::string& text, std::optional<double> number, bool flagged) {
    if (number) {
      rows.Number(c, PlainNumber(text), *number, DigitsStyle(DigitsOf(text), flagged));
    } else {
      Text(rows, c, text);
    }
  }

  lxw_workbook* m_book;
  std::string m_scratchFolder;
  std::string m_path;
  bool m_shared;
  std::string m_name;
  HistoryFilter m_filter;
  std::string m_folder;  // the series' folder when the table is one series titled by it
  long m_rowsPerSheet;
  lxw_col_t m_colFirstSe, m_colFirstFlag, m_colLast;
  lxw_format* m_header = nullptr;
  int m_time = 0;  // styles by their index
  int m_flag = 0;
  int m_digitStyles[2][2][kMaxDecimals + 1];
  std::vector<std::string> m_letters;  // of each column
  SeriesChanges m_changes;
  std::vector<Sheet> m_sheets;
  long m_rows = 0;
  std::array<Span, kReportQuantityCount> m_spans;
  Span m_times;
};

// The charts' sheet: the title, the note, one chart per quantity, one to a printed page.
class ChartSheet {
 public:
  static constexpr lxw_row_t kFirstChartRow = 3;
  static constexpr lxw_row_t kRowsPerChart = 24;  // a chart of 420 pixels and a margin, at 20 pixels a row

  ChartSheet(lxw_workbook* book, const std::string& path) : m_book(book), m_path(path) {
    m_sheet = workbook_add_worksheet(book, kHistoryChartSheetName);
    if (m_sheet == nullptr) Fail(path, "无法添加工作表");
    worksheet_set_landscape(m_sheet);
    worksheet_set_paper(m_sheet, 9);  // A4
    worksheet_fit_to_pages(m_sheet, 1, 0);
  }

  void Heading(const std::string& title, const std::string& note) {
    lxw_format* bold = workbook_add_format(m_book);
    format_set_bold(bold);
    format_set_font_size(bold, 14);
    Check(worksheet_write_string(m_sheet, 0, 0, WorkbookText(title).c_str(), bold));
    Check(worksheet_write_string(m_sheet, 1, 0, WorkbookText(note).c_str(), nullptr));
  }

  // One chart per quantity over the table's rows. Returns, per chart, the ranges of the standard
  // errors of its series that have error bars (put in by WithCellErrorBars once the file is written).
  std::vector<std::vector<std::string>> Add(const HistoryTable& table, bool oneSeries) {
    std::vector<std::vector<std::string>> errorRanges;
    std::vector<lxw_row_t> breaks;
    lxw_row_t anchor = kFirstChartRow;
    for (const ReportQuantity q : kHistoryChartQuantities) {
      errorRanges.push_back(AddChart(table, q, oneSeries, anchor));
      anchor += kRowsPerChart;
      breaks.push_back(anchor);
    }
    breaks.back() = 0;  // the list's end
    Check(worksheet_set_h_pagebreaks(m_sheet, breaks.data()));
    return errorRanges;
  }

 private:
  void Check(lxw_error error) const {
    if (error != LXW_NO_ERROR) Fail(m_path, lxw_strerror(error));
  }

  static std::string Range(const std::string& sheet, lxw_col_t column, long rows) {
    char cells[64];
    const std::string letters = ReportColumnLetters(column);
    std::snprintf(cells, sizeof cells, "!$%s$%ld:$%s$%ld", letters.c_str(), kHistoryHeaderRows + 1, letters.c_str(),
                  kHistoryHeaderRows + rows);
    return "'" + sheet + "'" + cells;
  }

  // Sets an axis to span from low to high with a margin of 5 %, so that a change of a few % shows.
  static void Fit(lxw_chart_axis* axis, Span span) {
    if (span.Empty()) return;
    double margin = (span.high - span.low) * 0.05;
    if (margin == 0) margin = span.high != 0 ? std::fabs(span.high) * 0.05 : 1;
    chart_axis_set_min(axis, span.low - margin);
    chart_axis_set_max(axis, span.high + margin);
  }

  std::vector<std::string> AddChart(const HistoryTable& table, ReportQuantity q, bool oneSeries, lxw_row_t anchor) {
    std::vector<std::string> errorRanges;
    lxw_chart* chart =
        workbook_add_chart(m_book, oneSeries ? LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS : LXW_CHART_SCATTER);
    if (chart == nullptr) Fail(m_path, "无法添加图表");
    const lxw_col_t column = QuantityColumn(q);
    for (std::size_t s = 0; s < table.sheets(); ++s) {
      const long rows = table.RowsOn(s);
      if (rows <= 0) continue;
      const std::string name = WorkbookText(table.SheetName(s));
      const auto first = static_cast<lxw_row_t>(kHistoryHeaderRows);
      const auto last = static_cast<lxw_row_t>(kHistoryHeaderRows + rows - 1);
      lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
      if (series == nullptr) Fail(m_path, "无法添加图表");
      chart_series_set_categories(series, name.c_str(), first, kColImportedAt, last, kColImportedAt);
      chart_series_set_values(series, name.c_str(), first, column, last, column);
      // No copy of the values in the chart: libxlsxwriter would gather it from cells it never saw,
      // into a table of every row.
      series->categories->ignore_cache = LXW_TRUE;
      series->values->ignore_cache = LXW_TRUE;
      chart_series_set_name(series, kQuantities[q].name);
      chart_series_set_marker_type(series, LXW_CHART_MARKER_CIRCLE);
      chart_series_set_marker_size(series, 5);
      if (static_cast<std::size_t>(q) < kParameterCount) {
        chart_series_set_error_bars(series->y_error_bars, LXW_CHART_ERROR_BAR_TYPE_FIXED, 0);
        errorRanges.push_back(Range(name, table.SeColumn(q), rows));
      }
    }
    const std::string unit = kQuantities[q].unit;
    chart_title_set_name(chart, kQuantities[q].name);
    chart_axis_set_name(chart->x_axis, "导入时间 (UTC)");
    chart_axis_set_num_format(chart->x_axis, "yyyy-mm-dd");
    Fit(chart->x_axis, table.TimeSpan());
    const std::string axisTitle = unit.empty() ? std::string(kQuantities[q].name)
                                               : std::string(kQuantities[q].name) + " (" + unit + ")";
    chart_axis_set_name(chart->y_axis, axisTitle.c_str());
    Fit(chart->y_axis, table.ValueSpan(q));
    chart_axis_set_label_position(chart->x_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_axis_set_label_position(chart->y_axis, LXW_CHART_AXIS_LABEL_POSITION_LOW);
    chart_axis_major_gridlines_set_visible(chart->y_axis, LXW_TRUE);
    chart_show_blanks_as(chart, LXW_CHART_BLANKS_AS_GAP);
    chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
    lxw_chart_options options = {};
    options.x_scale = 1.5;   // 720 pixels wide
    options.y_scale = 1.45;  // 420 pixels high
    Check(worksheet_insert_chart_opt(m_sheet, anchor, 0, chart, &options));
    return errorRanges;
  }

  lxw_workbook* m_book;
  std::string m_path;
  lxw_worksheet* m_sheet = nullptr;
};

// Frees the workbook on every way out.
struct Closer {
  lxw_workbook* book = nullptr;
  ~Closer() {
    if (book != nullptr) workbook_close(book);
  }
};

// Copies the file at from into the open file fd (from its start, replacing what it held).
void CopyInto(const std::string& from, int fd, const std::string& path) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) Fail(path, std::strerror(errno));
  const ssize_t copied = ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 ? CopyAll(in, fd) : -1;
  const int error = errno;
  ::close(in);
  if (copied < 0) Fail(path, std::strerror(error));
}

// Writes the workbook into fd; libxlsxwriter writes it by name as scratch (in the private folder of
// the new file), the chart parts are completed there, then it is copied into fd. Failures name path.
long WriteHistoryWorkbook(int fd, const std::string& file, const std::string& path,
                          const HistoryWorkbookRequest& request) {
  const CNumericLocale numericLocale;
  if (!numericLocale.ok()) Fail(path, "无法设置数字格式");
  ParameterStore& store = TheParameterStore();
  CheckHistoryFilterFor(request.filter, store);
  const std::string seriesFolder = request.filter.folder.value_or("");

  std::string tmpdir = ThePlatform().TempPath();
  lxw_workbook_options options = {};
  // libxlsxwriter writes the sheets' notes and headers and the charts, which it keeps in memory; the
  // rows go round it (SheetRows).
  options.tmpdir = tmpdir.data();
  const PathParts parts = SplitPath(file);
  const std::string folder = parts.drive + parts.dir;  // private, ends in '/'
  const std::string scratch = folder + (parts.fname + parts.ext == "0" ? "1" : "0");
  Closer closer;
  closer.book = workbook_new_opt(scratch.c_str(), &options);
  lxw_workbook* book = closer.book;
  if (book == nullptr) Fail(path, "无法创建工作簿");

  const bool shared = store.Shared();
  ChartSheet charts(book, path);
  const std::string rowsFolder = folder.substr(0, folder.size() - 1);
  HistoryTable table(book, path, rowsFolder, shared, kHistorySheetName, request.filter, seriesFolder,
                     request.rowsPerSheet);
  table.Write(store);
  std::string title = request.title;
  if (title.empty()) {
    title = kHistorySheetName;
    if (!request.filter.Empty()) title += "：" + request.filter.Describe();
  }
  charts.Heading(title, table.Note());
  std::optional<HistoryTable> whole;
  if (request.wholeHistory) {
    whole.emplace(book, path, rowsFolder, shared, kWholeHistorySheetName, HistoryFilter{}, std::string{},
                  request.rowsPerSheet);
    whole->Write(store);
  }
  std::vector<std::vector<std::string>> errorRanges;
  if (table.rows() > 0) errorRanges = charts.Add(table, table.series() == 1);

  const lxw_error closed = workbook_close(book);
  closer.book = nullptr;
  if (closed != LXW_NO_ERROR) Fail(path, lxw_strerror(closed));
  std::vector<PartChange> changes;
  for (std::size_t chart = 0; chart < errorRanges.size(); ++chart) {
    changes.push_back({"xl/charts/chart" + std::to_string(chart + 1) + ".xml", [&errorRanges, chart](std::string xml) {
                         return NewPart{WithCellErrorBars(std::move(xml), errorRanges[chart]), {}};
                       }});
  }
  table.AddParts(changes);
  if (whole) whole->AddParts(changes);
  const std::string reason = RewriteParts(scratch, changes);
  if (!reason.empty()) Fail(path, reason);
  CopyInto(scratch, fd, path);
  ::unlink(scratch.c_str());
  return table.rows();
}

// Writes the history to target; failures name shownPath. replace false: a file there stays, and
// NameTaken is raised.
long SaveHistory(const std::string& target, const std::string& shownPath, bool replace,
                 const HistoryWorkbookRequest& request) {
  PathParts parts = SplitPath(target);
  if (parts.fname.empty() && parts.ext.empty()) Fail(shownPath, "不是文件名");
  // libxlsxwriter opens the file by name: it is made in a folder nobody else can enter.
  long rows = 0;
  try {
    WriteFileSafelyWith(target, {.mode = CreationMode(0666), .replace = replace, .privateDirectory = true},
                        [&](int fd, const std::string& file) { rows = WriteHistoryWorkbook(fd, file, shownPath, request); });
  } catch (const FileSystemError& e) {
    if (!replace && e.error() == EEXIST) throw WorkbookNameTaken();
    Fail(shownPath, std::strerror(e.error()));
  }
  return rows;
}

}  // namespace

long SaveHistoryWorkbook(const std::string& target, bool replace, const HistoryWorkbookRequest& request) {
  return SaveHistory(target, target, replace, request);
}

HistoryWorkbookRequest SeriesRequest(const std::string& modelPath) {
  HistoryWorkbookRequest request;
  if (!modelPath.empty()) {
    request.filter.folder = SeriesFolder(modelPath);
    request.title = *request.filter.folder;
    request.wholeHistory = true;
  }
  return request;
}

void ShowHistoryWorkbook(const std::string& modelPath) {
  if (!HasSpreadsheetApplication()) throw OperationError("无法打开参数历史：没有打开 .xlsx 文件的默认程序");
  const HistoryWorkbookRequest request = SeriesRequest(modelPath);
  const WorkbookFolder folder;
  const std::string name = "qelmora-history-" + FileStamp(ReportTimeText()) + ".xlsx";
  const std::string path = folder.WriteNew(name, [&](const std::string& file) {
    SaveHistory(file, folder.path() + file.substr(file.rfind('/')), false, request);
  });
  const std::string failure = OpenWithSpreadsheetApplication(path);
  if (!failure.empty()) throw OperationError(Format("无法打开文件 %s：%s", path.c_str(), failure.c_str()));
}
