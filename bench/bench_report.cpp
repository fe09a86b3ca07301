// The report without the spreadsheet application: the cells of a typical parameter set (three
// branches, seven number texts) and the .xlsx file written from them. Goal: at most 50 ms.
//
// BM_Report times both together; BM_BuildReportCells and BM_WriteReportWorkbook show the two parts
// alone. BM_ReportWithSummaryAndSpectrum is the whole report as "OpenExcel" makes it: built as data
// (BM_BuildReportWorkbook alone) and written with the summary and spectrum sheets and their charts.
// Goal: under 30 ms. BM_ReportWithMeasuredData adds a data file of 1,000 measured points beside the
// model file: read, fitted, and written with the measured rows and the fourth chart. Goal: under 50 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "report/report.h"
#include "report/report_sheets.h"
#include "spreadsheet/workbook_file.h"
#include "tests/support/test_support.h"

namespace {

// The parameter sheet alone, written to path.
void WriteParameterSheet(const ReportTexts& texts, const std::string& path) {
  WriteWorkbookFile(ReportWorkbook{{BuildParameterSheet(kReportSheets[0], texts)}, {}}, path);
}

const ParameterSet kParameters = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
                                  "12.453",     "0.91027",  "0.10342",   "356.71",  "0.65318"};

void BM_Report(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string file = (dir.Path() / "report.xlsx").string();
  for (auto _ : state) {
    const ReportTexts texts = ComputeReportTexts(kParameters);
    WriteParameterSheet(texts, file);
  }
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

void BM_ReportWithSummaryAndSpectrum(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string file = (dir.Path() / "report.xlsx").string();
  SummaryHeading heading;
  heading.provenance = {"2026-11-02T08:15:00Z", "/data/cell 7/run3.mdl"};
  heading.storeFile = "/data/dravo.mdb";
  for (auto _ : state) {
    heading.reportTime = ReportTimeText();
    WriteWorkbookFile(BuildReportWorkbook(kParameters, heading), file);
  }
}
BENCHMARK(BM_ReportWithSummaryAndSpectrum)->Unit(benchmark::kMillisecond);

void BM_ReportWithMeasuredData(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string file = (dir.Path() / "report.xlsx").string();
  const std::string model = (dir.Path() / "run3.mdl").string();
  // 1,000 points from 100 kHz down to 10 mHz, 1 % off the model.
  const CircuitValues circuit = ReadCircuitValues(kParameters);
  std::string data = "freq/Hz,Re(Z)/Ohm,-Im(Z)/Ohm\n";
  for (int i = 0; i < 1000; ++i) {
    const double f = 1e5 * std::pow(10.0, -7.0 * i / 999.0);
    const std::complex<double> z = CircuitImpedance(circuit, f) * (i % 2 == 0 ? 1.01 : 0.99);
    data += std::to_string(f) + "," + std::to_string(z.real()) + "," + std::to_string(-z.imag()) + "\n";
  }
  qtest::WriteFileBytes(dir.Path() / "run3.csv", data);
  SummaryHeading heading;
  heading.provenance = {"2026-11-02T08:15:00Z", model};
  heading.storeFile = "/data/dravo.mdb";
  for (auto _ : state) {
    heading.reportTime = ReportTimeText();
    heading.measured = LoadMeasuredInput("", model);
    if (!heading.measured.data || heading.measured.data->points.size() != 1000) throw std::runtime_error("data file");
    WriteWorkbookFile(BuildReportWorkbook(kParameters, heading), file);
  }
}
BENCHMARK(BM_ReportWithMeasuredData)->Unit(benchmark::kMillisecond);

void BM_BuildReportWorkbook(benchmark::State& state) {
  SummaryHeading heading;
  heading.reportTime = ReportTimeText();
  for (auto _ : state) benchmark::DoNotOptimize(BuildReportWorkbook(kParameters, heading));
}
BENCHMARK(BM_BuildReportWorkbook)->Unit(benchmark::kMicrosecond);

void BM_BuildReportCells(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(BuildReportCells(kParameters));
}
BENCHMARK(BM_BuildReportCells)->Unit(benchmark::kMicrosecond);

void BM_WriteReportWorkbook(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string file = (dir.Path() / "report.xlsx").string();
  const ReportTexts texts = ComputeReportTexts(kParameters);
  for (auto _ : state) {
    WriteParameterSheet(texts, file);
  }
}
BENCHMARK(BM_WriteReportWorkbook)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
