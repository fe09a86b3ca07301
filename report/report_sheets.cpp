#include "report/report_sheets.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string_view>

#include "report/summary.h"

namespace {

// Where a value below this or at least the upper bound is shown in scientific form.
constexpr double kFixedFrom = 1e-3;
constexpr double kFixedBelow = 1e6;

CellStyle NumberStyle(double v) {
  const double magnitude = std::fabs(v);
  return magnitude != 0 && (magnitude < kFixedFrom || magnitude >= kFixedBelow) ? CellStyle::kScientific
                                                                                  : CellStyle::kNumber;
}

void Put(FormattedSheet& sheet, std::size_t row, std::size_t column, std::variant<std::string, double> value,
         CellStyle style) {
  sheet.cells.push_back({row, column, std::move(value), style});
}

// The smallest of 1, 2, 5 × 10^n that is at least v (v > 0).
double NiceCeiling(double v) {
  const double decade = std::pow(10.0, std::floor(std::log10(v)));
  for (double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * decade >= v) return step * decade;
  }
  return 10.0 * decade;
}

// Spectrum sheet columns: the CSV's five, then −Z″ for the Nyquist chart.
constexpr const char* kSpectrumHeaders[] = {"f (Hz)", "Z′ (Ω)", "Z″ (Ω)", "|Z| (Ω)", "phase (°)", "−Z″ (Ω)"};
constexpr std::size_t kNegativeImaginaryColumn = kSpectrumColumns;

// The sheet's name in the layout table.
std::string SheetTitle(ReportSheetKind kind) {
  for (const ReportSheet& sheet : kReportSheets) {
    if (sheet.kind == kind) return sheet.title;
  }
  return {};
}

}  // namespace

const char* CellNumberFormat(CellStyle style) {
  switch (style) {
    case CellStyle::kScientific: return "0.00000000E+00";
    case CellStyle::kFixed2: return "0.00";
    default: return "General";
  }
}

FormattedSheet BuildSummarySheet(const ReportTexts& texts, const SummaryHeading& heading) {
  FormattedSheet sheet;
  sheet.name = SheetTitle(ReportSheetKind::kSummary);
  sheet.columnWidths = {16, 24, 10};
  Put(sheet, 0, 0, kSummaryTitle, CellStyle::kTitle);

  const auto orNone = [](const std::string& text) { return text.empty() ? std::string(kNoValue) : text; };
  const std::pair<const char*, std::string> facts[] = {
      {"报告时间", heading.reportTime},
      {"模型文件", orNone(heading.provenance[kSource])},
      {"导入时间", orNone(heading.provenance[kImportedAt])},
      {"数据库", heading.storeFile},
  };
  std::size_t row = 2;
  for (const auto& [label, text] : facts) {
    Put(sheet, row, 0, label, CellStyle::kHeader);
    Put(sheet, row, 1, text, CellStyle::kText);
    ++row;
  }

  ++row;
  Put(sheet, row, 0, "参数", CellStyle::kHeader);
  Put(sheet, row, 1, "数值", CellStyle::kHeader);
  Put(sheet, row, 2, "单位", CellStyle::kHeader);
  ++row;
  for (const SummaryRow& value : BuildSummaryRows(SheetCells(kReportSheets[0], texts))) {
    Put(sheet, row, 0, value.name, CellStyle::kText);
    if (value.number) {
      Put(sheet, row, 1, *value.number, NumberStyle(*value.number));
    } else if (!value.text.empty()) {
      Put(sheet, row, 1, value.text, CellStyle::kText);
    }
    if (!value.unit.empty()) Put(sheet, row, 2, value.unit, CellStyle::kText);
    ++row;
  }
  return sheet;
}

FormattedSheet BuildSpectrumSheet(const Spectrum& spectrum) {
  FormattedSheet sheet;
  sheet.name = SheetTitle(ReportSheetKind::kSpectrum);
  sheet.columnWidths = {12, 16, 16, 16, 12, 16};
  for (std::size_t column = 0; column < std::size(kSpectrumHeaders); ++column) {
    Put(sheet, 0, column, kSpectrumHeaders[column], CellStyle::kHeader);
  }

  double nyquistMax = 0;
  for (std::size_t k = 0; k < spectrum.size(); ++k) {
    const SpectrumPoint& point = spectrum[k];
    for (std::size_t column = 0; column < kSpectrumColumns; ++column) {
      if (!point[column]) continue;
      Put(sheet, k + 1, column, *point[column],
          column == kSpectrumPhase ? CellStyle::kFixed2 : column == kSpectrumFrequency ? CellStyle::kNumber
                                                                                       : CellStyle::kScientific);
    }
    if (point[kSpectrumImaginary]) {
      Put(sheet, k + 1, kNegativeImaginaryColumn, -*point[kSpectrumImaginary], CellStyle::kScientific);
      if (point[kSpectrumReal]) {
        nyquistMax = std::max({nyquistMax, *point[kSpectrumReal], -*point[kSpectrumImaginary]});
      }
    }
  }

  SheetChart nyquist;
  nyquist.title = "Nyquist";
  nyquist.xTitle = "Z′ (Ω)";
  nyquist.yTitle = "−Z″ (Ω)";
  nyquist.firstRow = 1;
  nyquist.lastRow = spectrum.size();
  nyquist.series = {{"Z", kSpectrumReal, kNegativeImaginaryColumn, false}};
  if (nyquistMax > 0 && std::isfinite(nyquistMax)) nyquist.equalAxesMax = NiceCeiling(nyquistMax);
  nyquist.anchorRow = 1;
  nyquist.anchorColumn = 7;
  nyquist.width = 400;
  nyquist.height = 400;

  SheetChart bode;
  bode.title = "Bode";
  bode.xTitle = "f (Hz)";
  bode.yTitle = "|Z| (Ω)";
  bode.y2Title = "phase (°)";
  bode.firstRow = 1;
  bode.lastRow = spectrum.size();
  bode.series = {{"|Z|", kSpectrumFrequency, kSpectrumModulus, false},
                 {"phase", kSpectrumFrequency, kSpectrumPhase, true}};
  bode.logX = true;
  bode.logY = true;
  bode.anchorRow = 22;
  bode.anchorColumn = 7;
  bode.width = 560;
  bode.height = 320;

  sheet.charts = {nyquist, bode};
  return sheet;
}

std::vector<FormattedSheet> BuildFormattedSheets(const ParameterSet& parameters, const SummaryHeading& heading) {
  std::vector<FormattedSheet> sheets;
  for (const ReportSheet& sheet : kReportSheets) {
    if (sheet.kind == ReportSheetKind::kSummary) {
      sheets.push_back(BuildSummarySheet(ComputeReportTexts(parameters), heading));
    } else if (sheet.kind == ReportSheetKind::kSpectrum) {
      sheets.push_back(BuildSpectrumSheet(ComputeSpectrum(parameters)));
    }
  }
  return sheets;
}

std::string ReportTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string ReportFileName(const std::string& source, const std::string& reportTime) {
  std::string name = source;
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  if (name.empty()) name = "qelmora-report";
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) c = '_';
  }
  std::string stamp;
  for (char c : reportTime) {
    if (c >= '0' && c <= '9') stamp += c;
    if (stamp.size() == 8 && c == ' ') stamp += '-';
  }
  return name + "-" + stamp + ".xlsx";
}
