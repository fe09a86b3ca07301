#include "spreadsheet/show_report.h"

#include <utility>

namespace {

ReportShower& Shower() {
  static ReportShower shower;
  return shower;
}

}  // namespace

bool ShowReportWorkbook(const ReportWorkbook& report) { return Shower() ? Shower()(report) : ShowReport(report); }

void SetReportShower(ReportShower shower) { Shower() = std::move(shower); }
