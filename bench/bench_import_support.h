// What the import benchmarks share: a new local store, opened as the run's store, and one import of a
// model file, timed.
#pragma once

#include <chrono>
#include <string>

#include <benchmark/benchmark.h>

#include "base/afx.h"
#include "app/globals.h"
#include "model/import.h"
#include "app/import_command.h"
#include "app/run_store.h"
#include "store/store.h"
#include "tests/support/test_support.h"

// A new store in `dir`, opened for the run; false (the benchmark told why) when it cannot be made.
inline bool OpenNewStore(benchmark::State& state, const qtest::TempDir& dir) {
  try {
    CreateParameterStore(dir.Dir());
  } catch (const OperationError&) {
    state.SkipWithError("cannot create the store");
    return false;
  }
  OpenParameterStore(dir.Dir());
  return true;
}

// The seconds one import of `model` took, or -1 when nothing was saved; the message boxes it showed
// are forgotten.
inline double TimedImport(const std::string& model, qtest::ScriptedMessageBoxes& boxes) {
  const auto t0 = std::chrono::steady_clock::now();
  const bool saved = RunImport(model);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  boxes.Clear();
  return saved ? seconds : -1.0;
}
