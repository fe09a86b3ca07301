// Reading a measured spectrum: an EC-Lab text export of 10^5 rows (decimal commas, fifteen columns,
// the frequency in the middle, two loops), parsed from memory and read from a file. Reported in
// milliseconds.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "report/measured_data.h"
#include "tests/support/test_support.h"

namespace {

constexpr std::size_t kRows = 100000;

std::string EcLabExport() {
  std::string text = "EC-Lab ASCII FILE\r\nNb header lines : 4\r\n\r\n"
                     "mode\tox/red\terror\tcontrol changes\tNs changes\tcounter inc.\ttime/s\tcontrol/V\tEwe/V\t"
                     "I/mA\tfreq/Hz\tRe(Z)/Ohm\t-Im(Z)/Ohm\t|Z|/Ohm\tcycle number\r\n";
  char line[256];
  for (std::size_t i = 0; i < kRows; ++i) {
    const std::size_t k = i % (kRows / 2);
    const double f = 1e5 * std::pow(10.0, -7.0 * static_cast<double>(k) / (kRows / 2));
    std::snprintf(line, sizeof line,
                  "1\t0\t0\t0\t0\t0\t%.7E\t0,0000000E+000\t1,2345678E-001\t0,0000000E+000\t%.7E\t%.7E\t%.7E\t%.7E\t%zu,0\r\n",
                  static_cast<double>(i), f, 1.0 + 1.0 / f, 1.0 / (1.0 + f), 1.5, 1 + i / (kRows / 2));
    for (char* c = line; *c; ++c) {
      if (*c == '.') *c = ',';
    }
    text += line;
  }
  return text;
}

void BM_ParseEcLab(benchmark::State& state) {
  const std::string text = EcLabExport();
  for (auto _ : state) benchmark::DoNotOptimize(ParseMeasuredData(text));
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_ParseEcLab)->Unit(benchmark::kMillisecond);

void BM_ReadEcLabFile(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string path = (dir.Path() / "run.mpt").string();
  qtest::WriteFileBytes(path, EcLabExport());
  for (auto _ : state) benchmark::DoNotOptimize(ReadMeasuredData(path));
}
BENCHMARK(BM_ReadEcLabFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
