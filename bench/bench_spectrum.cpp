// The modelled impedance spectrum of a typical parameter set alone: 71 frequencies, three R–CPE
// stages, the texts read by the report's rule. Reported in microseconds.
#include <benchmark/benchmark.h>

#include "circuit/spectrum.h"

namespace {

const ParameterSet kParameters = {"1.2345E-07", "0.015234", "0.0041187", "0.81236", "0.78412", "0.023107",
                                  "12.453",     "0.91027",  "0.10342",   "356.71",  "0.65318"};

void BM_ComputeSpectrum(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ComputeSpectrum(kParameters));
}
BENCHMARK(BM_ComputeSpectrum)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
