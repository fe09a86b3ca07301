// The measured impedance spectrum the fit came from: the data file beside the model file, read from
// the text files the common instruments write (recognised by their content), and the fitted model
// evaluated at each measured frequency with its residuals and χ².
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/store.h"

// One measured point: Z″ is the imaginary part of Z, signed as the model's (negative for a capacitive arc).
struct MeasuredPoint {
  double frequency = 0;  // Hz
  double real = 0;       // Z′ (Ω)
  double imaginary = 0;  // Z″ (Ω)
  bool operator==(const MeasuredPoint&) const = default;
};

struct MeasuredData {
  std::string file;    // the data file's path
  std::string format;  // the reader's name in the table of readers: "EC-Lab", "Gamry", "ZPlot", ..., "表格文本" (a table with a header)
  std::vector<MeasuredPoint> points;  // the first sweep, in the file's order
  std::size_t sweeps = 1;             // sweeps in the file; the points are the first of them
  // What the file's header says of the measurement (date, time, title, cell, electrode area,
  // technique), key and value as the file writes them, in the program's text encoding
  // (ProgramTextFromUtf8); then what the reader did that the user must know (rows left out, the
  // drift-corrected columns taken).
  std::vector<std::pair<std::string, std::string>> facts;
};

// The report's measured data: the file named for this run or found beside the model file, and what
// reading it gave. No file: the report has no measured parts.
struct MeasuredInput {
  std::string file;
  std::optional<MeasuredData> data;  // the file was read
  std::string failure;               // why it could not be read
};

// Reads the file `named` (the user's choice for this run), else the one beside the model file
// `source`. A file that cannot be read leaves its reason in failure; nothing raises.
MeasuredInput LoadMeasuredInput(const std::string& named, const std::string& source);

// Backend: UTF-8 text as the program's texts are encoded (Linux: as it is; Windows: the system
// code page, a character it lacks as '?').
std::string ProgramTextFromUtf8(const std::string& text);

// Backend: calls use with the bytes of the regular file at path (mapped, not copied). The open never
// waits: a named pipe, a device or a folder is refused, and so is a file larger than maxBytes
// (OperationError).
void UseDataFileBytes(const std::string& path, std::size_t maxBytes, const std::function<void(std::string_view)>& use);

// The extensions of a data file beside the model file, in the order they are looked for.
inline constexpr const char* kMeasuredDataExtensions[] = {".mpt", ".mpr", ".DTA", ".dta", ".z", ".par", ".idf",
                                                          ".ids", ".ism", ".pssession", ".txt", ".csv"};

// The data file beside the model file `source`: the same base name with the first of
// kMeasuredDataExtensions that exists. Empty when there is none (or no source).
std::string FindMeasuredDataFile(const std::string& source);

// Reads the measured spectrum from a data file's bytes (the format by its content). A file that
// holds no usable spectrum raises OperationError with the reason the user is told.
MeasuredData ParseMeasuredData(std::string_view bytes);

// Reads the data file at path; it cannot be opened or read, or holds no spectrum: OperationError.
MeasuredData ReadMeasuredData(const std::string& path);

// The columns of one measured row of the report and of the CSV output: the measured point, the
// model at its frequency and the residuals ΔZ′/|Z| and ΔZ″/|Z| in % (Δ = measured − model, |Z| the
// measured modulus). A value that is not finite is left empty.
enum MeasuredColumn : std::size_t {
  kMeasuredFrequency,
  kMeasuredReal,
  kMeasuredImaginary,
  kModelReal,
  kModelImaginary,
  kResidualReal,
  kResidualImaginary,
  kMeasuredColumns
};
using MeasuredRow = std::array<std::optional<double>, kMeasuredColumns>;

// The square as the program's texts can hold it: code page 936, the Windows program's, has no "²".
#ifdef _WIN32
#define QELMORA_SQUARE "^2"
#else
#define QELMORA_SQUARE "²"
#endif
inline constexpr const char* kChiSquareName = "χ" QELMORA_SQUARE;
inline constexpr const char* kChiSquareFormula =
    "χ" QELMORA_SQUARE " = (1/N)·Σ[(Z′−Z′fit)" QELMORA_SQUARE " + (Z″−Z″fit)" QELMORA_SQUARE "]/|Zfit|" QELMORA_SQUARE;

// The most measured rows a report's sheet holds (its rows less the header) and the most points a
// chart's series draws (Excel 2007's limit of a series); more are left out and the summary says so.
inline constexpr std::size_t kMaxSheetMeasuredRows = 1048575;
inline constexpr std::size_t kMaxChartPoints = 32000;

struct MeasuredFit {
  std::vector<MeasuredRow> rows;     // one per measured point, at most the maxRows asked for
  std::size_t points = 0;            // the measured points; χ² and the range are over all of them
  std::optional<double> chiSquare;   // kChiSquareFormula; empty when a term is not finite
  double minFrequency = 0, maxFrequency = 0;
};

// The model of the parameter set at the measured frequencies, the residuals and χ²; rows for the
// first maxRows points.
MeasuredFit FitMeasuredData(const MeasuredData& data, const ParameterSet& parameters,
                            std::size_t maxRows = static_cast<std::size_t>(-1));

// "第 1 次扫描，共 4 次": which sweep of the file the points are.
std::string SweepText(const MeasuredData& data);
