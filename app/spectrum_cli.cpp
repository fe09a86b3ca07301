// qelmora-cli spectrum: the modelled impedance spectrum of the current parameter set as CSV on
// standard output, numbers with 17 significant digits (they read back to the same doubles), an empty
// field for a value that is not finite. With --data FILE, the measured points of the data file
// beside the model at the measured frequencies and the residuals; what the file is and χ² go to
// standard error with the messages.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "base/afx.h"
#include "app/cli.h"
#include "base/csv.h"
#include "circuit/measured_fit.h"
#include "instrument/measured_data.h"
#include "circuit/spectrum.h"

namespace {

constexpr const char* kSpectrumCsvNames[kSpectrumColumns] = {"f_Hz", "Zre_ohm", "Zim_ohm", "Zmod_ohm", "phase_deg"};
constexpr const char* kMeasuredCsvNames[kMeasuredColumns] = {"f_Hz",          "Zre_ohm",  "Zim_ohm", "Zre_model_ohm",
                                                             "Zim_model_ohm", "dZre_pct", "dZim_pct"};

// 17 significant digits, the shortest form of them, independent of the process locale.
std::string NumberField(const std::optional<double>& value) {
  if (!value) return "";
  char buffer[32];
  const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

template <std::size_t N>
std::string CsvTable(const char* const (&names)[N], const auto& rows) {
  std::string text = CsvRecord({std::begin(names), std::end(names)});
  std::vector<std::string> fields(N);
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < N; ++column) fields[column] = NumberField(row[column]);
    text += CsvRecord(fields);
  }
  return text;
}

}  // namespace

int CliSpectrum(const CliContext& context, const std::vector<std::string>& args) {
  const bool measured = args.size() == 2 && args[0] == "--data" && !args[1].empty();
  if (!args.empty() && !measured) {
    CliUsage();
    return 2;
  }
  // A data file that cannot be read is the command's failure: there is nothing to put beside the model.
  MeasuredData data;
  if (measured) {
    try {
      data = ReadMeasuredData(args[1]);
    } catch (const OperationError& e) {
      std::fprintf(stderr, "无法读取测量数据文件 %s：%s\n", args[1].c_str(), e.what());
      return 1;
    }
  }
  // Store failures raise StoreError, which the dispatcher reports.
  const std::optional<StoredRow> row = CliReadCurrent(context);
  if (!row) return 1;
  const ParameterSet& parameters = row->parameters;

  std::string text;
  if (measured) {
    const MeasuredFit fit = FitMeasuredData(data, parameters);
    text = CsvTable(kMeasuredCsvNames, fit.rows);
    std::fprintf(stderr, "测量数据：%s（%s，%s 个点，%s … %s Hz，%s）\n", data.file.c_str(), data.format.c_str(),
                 std::to_string(data.points.size()).c_str(), NumberField(fit.minFrequency).c_str(), NumberField(fit.maxFrequency).c_str(),
                 SweepText(data).c_str());
    std::fprintf(stderr, "%s = %s\n", kChiSquareFormula, fit.chiSquare ? NumberField(fit.chiSquare).c_str() : "—");
    // What the file says of the measurement, and what the reader left out or chose.
    for (const auto& [key, value] : data.facts) std::fprintf(stderr, "%s：%s\n", key.c_str(), value.c_str());
  } else {
    text = CsvTable(kSpectrumCsvNames, ComputeSpectrum(parameters));
  }
  CsvBinaryStdout();
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;  // a failed write is found by the dispatcher
}
