// The measured data reader under arbitrary bytes: a spectrum of measured points (a positive finite
// frequency, a finite Z) in one sweep that never turns, facts with a name, or an OperationError with
// a reason. The seeds hold a file of each format the table of readers knows, whole and cut short.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "base/afx.h"
#include "fuzz/fuzz_common.h"
#include "instrument/measured_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const MeasuredData measured = ParseMeasuredData(std::string_view(reinterpret_cast<const char*>(data), size));
    fuzzsupport::Check(!measured.points.empty() && measured.sweeps >= 1, "a spectrum without points");
    const std::vector<MeasuredPoint>& p = measured.points;
    for (std::size_t i = 0; i < p.size(); ++i) {
      fuzzsupport::Check(p[i].frequency > 0 && std::isfinite(p[i].frequency) && std::isfinite(p[i].real) &&
                             std::isfinite(p[i].imaginary) &&
                             (i < 2 || (p[i].frequency != p[i - 1].frequency &&
                                       (p[i].frequency > p[i - 1].frequency) == (p[1].frequency > p[0].frequency))),
                         "a point that is no measurement of the sweep");
    }
    for (const auto& [key, value] : measured.facts) fuzzsupport::Check(!key.empty(), "a fact without a name");
  } catch (const OperationError& e) {
    fuzzsupport::Check(*e.what() != '\0', "a failure without a reason");
  }
  return 0;
}
