#include "report/summary.h"

#include "report/report_xlsx.h"

std::string ReportUnit(const std::string& name) {
  if (name == "L0") return "H";
  if (name.rfind("CPE", 0) == 0) return name.ends_with("-T") ? "S·s^P" : "";
  switch (name.empty() ? '\0' : name[0]) {
    case 'R': return "Ω";   // R0, R1 … R3, Rp
    case 'C': return "F";   // C1 … C3
    case 'f': return "Hz";  // f1 … f3
    default: return "";
  }
}

std::vector<SummaryRow> BuildSummaryRows(const ReportCells& cells) {
  std::vector<SummaryRow> rows;
  for (std::size_t column = 0; column < kReportColumns; ++column) {
    rows.push_back({cells.names[column], ReportUnit(cells.names[column]), cells.values[column],
                    CellNumber(cells.values[column])});
  }
  return rows;
}
