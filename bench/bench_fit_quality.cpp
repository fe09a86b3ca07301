// The fit's quality: BM_FitQuality100 is the whole computation for a 100-point spectrum (standard
// errors and the Kramers–Kronig search; goal: under 5 ms); BM_KramersKronigLongSearch a spectrum whose
// search goes on to M = 48 of the 50 (a single CPE of P = 0.6, free of noise), the search's worst case
// in practice. BM_ImportWithData times an import whose model file has measured data
// beside it against one without, alternately; its counter "ratio" is the goal's (at most 1.3).
#include <chrono>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/globals.h"
#include "model/import.h"
#include "model/model_reader.h"
#include "circuit/fit_quality.h"
#include "store/store.h"
#include "tests/report/quality_synthetic.h"
#include "tests/support/test_support.h"
#include "bench/bench_import_support.h"

namespace {

void BM_FitQuality100(benchmark::State& state) {
  const MeasuredData data = SyntheticSpectrum(100, 0.1, 1e5, 0.003);
  const ParameterSet parameters = KnownParameters();
  std::size_t m = 0;
  for (auto _ : state) {
    const FitQuality quality = ComputeFitQuality(data, parameters);
    m = quality.kk ? quality.kk->m : 0;
    benchmark::DoNotOptimize(quality.estimates);
  }
  state.counters["kk_M"] = static_cast<double>(m);
}
BENCHMARK(BM_FitQuality100)->Unit(benchmark::kMillisecond);

void BM_KramersKronigLongSearch(benchmark::State& state) {
  const CircuitValues cpe = ReadCircuitValues({"0", "10", "100", "1e-3", "0.6", "0", "1", "1", "0", "1", "1"});
  MeasuredData data;
  for (int i = 0; i < 100; ++i) {
    const double f = std::pow(10.0, 5 - 7.0 * i / 99);
    const std::complex<double> z = CircuitImpedance(cpe, f);
    data.points.push_back({f, z.real(), z.imag()});
  }
  std::size_t m = 0;
  for (auto _ : state) {
    const auto kk = CheckKramersKronig(data.points);
    m = kk ? kk->m : 0;
    benchmark::DoNotOptimize(kk);
  }
  state.counters["kk_M"] = static_cast<double>(m);
}
BENCHMARK(BM_KramersKronigLongSearch)->Unit(benchmark::kMillisecond);

void BM_ImportWithData(benchmark::State& state) {
  qtest::TempDir dir;
  qtest::ScriptedMessageBoxes boxes;
  if (!OpenNewStore(state, dir)) return;
  const std::vector<std::string> values = {"1e-6", "10", "20", "1e-6", "0.95", "100", "1e-4", "0.85", "1000", "1e-3", "0.8"};
  const std::string bare = (dir.Path() / "bare.mdl").string(), measured = (dir.Path() / "cell.mdl").string();
  qtest::WriteFileBytes(bare, qtest::ModelText(values));
  qtest::WriteFileBytes(measured, qtest::ModelText(values));
  qtest::WriteFileBytes((dir.Path() / "cell.csv").string(), SpectrumCsv(SyntheticSpectrum(100, 0.01, 1e5, 0.003)));

  const auto import = [&](const std::string& model) { return TimedImport(model, boxes); };
  double withData = 0, without = 0;
  for (auto _ : state) {
    const double a = import(measured), b = import(bare);
    if (a < 0 || b < 0) {
      state.SkipWithError("the import failed");
      break;
    }
    withData += a;
    without += b;
    state.SetIterationTime(a);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["with_data_us"] = withData / n * 1e6;
  state.counters["without_us"] = without / n * 1e6;
  state.counters["ratio"] = without > 0 ? withData / without : 0;
  CloseParameterStore();
}
BENCHMARK(BM_ImportWithData)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
