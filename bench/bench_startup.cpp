// Start-up of the dialog program, offscreen: from nothing to the main dialog shown (view and controls
// built, the initialisation run with its location record and the store connection, the window shown
// and its first events processed). The process's one-time costs, the QApplication and the first
// (cold) dialog, are timed once and printed before the warm runs.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/main_dialog_view_linux.h"
#include "store/store.h"
#include "tests/support/test_support.h"

namespace {

// A program directory with a store, and the location record's directory, for the whole run.
struct Installation {
  qtest::TempDir program;
  qtest::TempDir system;
  qtest::TestPlatform platform;
  Installation() {
    platform.moduleFileName = program.Dir() + "qelmora";
    platform.systemDirectory = system.Path().string();
  }
};

// Shows the main dialog and ends it as soon as its modal loop runs; returns whether it was visible.
bool ShowDialogOnce() {
  QtMainDialogView view;
  MainDialog dialog(view);
  AfxSetMessageBoxes(&view);
  bool shown = false;
  QTimer::singleShot(0, [&view, &shown] {
    shown = view.Window()->isVisible();
    view.EndDialog(kIdCancel);
  });
  view.DoModal(dialog);
  AfxSetMessageBoxes(nullptr);
  return shown;
}

void BM_DialogShown(benchmark::State& state) {
  bool shown = true;
  for (auto _ : state) shown = ShowDialogOnce() && shown;
  if (!shown) state.SkipWithError("the dialog was not shown");
}
BENCHMARK(BM_DialogShown)->Unit(benchmark::kMillisecond)->MinTime(2.0);

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  Installation installation;
  try {
    CreateParameterStore(installation.program.Dir());
  } catch (const OperationError& e) {
    std::fprintf(stderr, "cannot create the store: %s\n", e.what());
    return 1;
  }

  const auto start = std::chrono::steady_clock::now();
  QApplication app(argc, argv);
  QApplication::setFont(qtview::DialogFont());
  const double application = MillisecondsSince(start);
  const auto firstStart = std::chrono::steady_clock::now();
  const bool shown = ShowDialogOnce();
  const double firstDialog = MillisecondsSince(firstStart);
  std::printf("cold start: QApplication %.1f ms + first dialog shown %.1f ms = %.1f ms%s\n", application,
              firstDialog, application + firstDialog, shown ? "" : " (NOT SHOWN)");

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return shown ? 0 : 1;
}
