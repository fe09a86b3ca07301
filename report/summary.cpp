#include "report/summary.h"

#include "base/number_text.h"

std::vector<SummaryRow> BuildSummaryRows(const ReportTexts& texts) {
  std::vector<SummaryRow> rows;
  for (const ReportColumn& column : kReportSheets[0].columns) {
    const std::string& text = texts[column.quantity];
    rows.push_back({column.header, kQuantities[column.quantity].unit, text, CellNumber(text)});
  }
  return rows;
}
