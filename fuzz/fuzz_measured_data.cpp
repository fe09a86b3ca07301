// The measured data reader under arbitrary bytes: a file either gives a spectrum or an
// OperationError with a reason; a spectrum has points, each with a positive finite frequency and a
// finite Z, in one sweep that never turns; the model and χ² follow without crashing.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/afx.h"
#include "fuzz/fuzz_common.h"
#include "report/measured_data.h"

using fuzzsupport::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MeasuredData measured;
  try {
    measured = ParseMeasuredData(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const OperationError& e) {
    Check(*e.what() != '\0', "a failure without a reason");
    return 0;
  }
  Check(!measured.points.empty() && measured.sweeps >= 1, "a spectrum without points");
  for (std::size_t i = 0; i < measured.points.size(); ++i) {
    const MeasuredPoint& p = measured.points[i];
    Check(p.frequency > 0 && std::isfinite(p.frequency) && std::isfinite(p.real) && std::isfinite(p.imaginary),
          "a point that is not a measurement");
    if (i >= 2) {
      const double first = measured.points[1].frequency - measured.points[0].frequency;
      Check((p.frequency - measured.points[i - 1].frequency) * first > 0, "a sweep that turns");
    }
  }
  const MeasuredFit fit = FitMeasuredData(measured, {"1e-7", "0.01", "0.004", "0.8", "0.78", "", "", "", "", "", ""});
  Check(fit.rows.size() == measured.points.size(), "a row per point");
  return 0;
}
