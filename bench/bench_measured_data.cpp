// Reading a measured spectrum. Goal: a file of 10^5 points of any format under 100 ms.
// - BM_ParseEcLab / BM_ReadEcLabFile: an EC-Lab text export of 10^5 rows (decimal commas, fifteen
//   columns, the frequency in the middle, two loops), parsed from memory and read from a file.
// - BM_ReadFormat/<file>: one file of each format the readers know, each sweep 10^5 points long,
//   written by tests/report/make_measured_samples.py.
// - BM_LineBreaks: a file of 64 MB of line breaks (refused: no table); the counter peak_mb is the
//   process's peak resident size after it, the file's mapped pages included.
// Reported in milliseconds.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "base/afx.h"
#include "instrument/measured_data.h"
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

void BM_ReadFormat(benchmark::State& state, const std::string& path) {
  std::size_t points = 0;
  for (auto _ : state) points = ReadMeasuredData(path).points.size();
  state.counters["points"] = static_cast<double>(points);
}

void BM_LineBreaks(benchmark::State& state) {
  qtest::TempDir dir;
  const std::string path = (dir.Path() / "breaks.txt").string();
  qtest::WriteFileBytes(path, std::string(std::size_t{64} << 20, '\n'));
  for (auto _ : state) {
    try {
      ReadMeasuredData(path);
    } catch (const OperationError&) {
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_LineBreaks)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The sample files of every format, 10^5 points a sweep.
  qtest::TempDir samples;
  const std::string command = "python3 '" QELMORA_SOURCE_DIR "/tests/report/make_measured_samples.py' '" +
                              samples.Dir() + "' 100000";
  if (std::system(command.c_str()) != 0) return 1;
  const nlohmann::json expected = nlohmann::json::parse(qtest::ReadFileBytes(samples.Path() / "expected.json"));
  for (const nlohmann::json& file : expected["read"]) {
    const std::string name = file["file"].get<std::string>();
    benchmark::RegisterBenchmark(("BM_ReadFormat/" + name).c_str(), BM_ReadFormat, (samples.Path() / name).string())
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
