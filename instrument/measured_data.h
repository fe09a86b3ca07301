// The measured impedance spectrum the fit came from: the data file beside the model file, read from
// the files the common instruments write (recognised by their content).
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "circuit/measured_spectrum.h"

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

// "第 1 次扫描，共 4 次": which sweep of the file the points are.
std::string SweepText(const MeasuredData& data);
