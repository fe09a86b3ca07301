// qelmora-cli spectrum: the modelled impedance spectrum of the current parameter set as CSV on
// standard output, numbers with 17 significant digits (they read back to the same doubles), an empty
// field for a value that is not finite. Messages go to standard error.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/csv.h"
#include "report/spectrum.h"

namespace {

constexpr const char* kSpectrumCsvNames[kSpectrumColumns] = {"f_Hz", "Zre_ohm", "Zim_ohm", "Zmod_ohm", "phase_deg"};

// 17 significant digits, the shortest form of them, independent of the process locale.
std::string NumberField(const std::optional<double>& value) {
  if (!value) return "";
  char buffer[32];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

}  // namespace

int CliSpectrum(const CliContext& context, const std::vector<std::string>& args) {
  if (!args.empty()) {
    CliUsage();
    return 2;
  }
  // Store failures raise StoreError, which the dispatcher reports.
  const std::optional<StoredRow> row = CliReadCurrent(context);
  if (!row) return 1;

  std::string text = CsvRecord({std::begin(kSpectrumCsvNames), std::end(kSpectrumCsvNames)});
  std::vector<std::string> fields(kSpectrumColumns);
  for (const SpectrumPoint& point : ComputeSpectrum(row->parameters)) {
    for (std::size_t column = 0; column < kSpectrumColumns; ++column) fields[column] = NumberField(point[column]);
    text += CsvRecord(fields);
  }
  CsvBinaryStdout();
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;  // a failed write is found by the dispatcher
}
