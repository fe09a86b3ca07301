#include "spreadsheet/show_report.h"

#include <utility>

namespace {

ReportShower& Shower() {
  static ReportShower shower;
  return shower;
}

}  // namespace

void ShowReportWorkbook(const ReportWorkbook& report) {
  if (Shower()) return Shower()(report);
  ShowReport(report);
}

void SetReportShower(ReportShower shower) { Shower() = std::move(shower); }
