// A measured impedance spectrum as the circuit's mathematics takes it: the points of the first sweep
// and what the data file says of the measurement. The readers of instrument/ fill it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

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
