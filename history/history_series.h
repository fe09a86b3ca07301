// The series of the history and the changes within a series that stand out from the fit's noise.
//
// A series is the rows whose model files lie in one folder (cellA/run001.mdl, run002.mdl, ...).
// Between two consecutive imports of a series, a parameter has changed when the difference of its
// values exceeds twice their combined standard error: |x2 − x1| > 2·√(SE1² + SE2²). A pair where
// either row lacks the value or its standard error as a number is neither flagged nor counted.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <unordered_map>

#include "store/parameter_store.h"

// The folder of a stored model file path (ending in its separator); empty for a path without one.
std::string SeriesFolder(const std::string& source);

// An import time "YYYY-MM-DDThh:mm:ssZ"; nullopt for any other text.
struct ImportTime {
  int year, month, day, hour, minute, second;
};
std::optional<ImportTime> ParseImportTime(const std::string& text);

// The time as a spreadsheet's serial date (days since 1899-12-30, the fraction the time of day).
double SerialDate(const ImportTime& time);

// The parameters flagged as changed in a row.
using ChangeFlags = std::array<bool, kParameterCount>;

// Follows every series through the rows in their order; Next gives the flags of each row against
// the previous row of its series.
class SeriesChanges {
 public:
  using Numbers = std::array<std::optional<double>, kParameterCount>;  // nullopt: no number
  ChangeFlags Next(const StoredRow& row);
  // The same for a row whose values and standard errors are read already.
  ChangeFlags Next(const std::string& folder, const Numbers& values, const Numbers& errors);
  long Count() const { return m_count; }  // flags given so far
  std::size_t Series() const { return m_last.size(); }  // series seen so far

 private:
  struct Values {
    Numbers value, se;
  };
  std::unordered_map<std::string, Values> m_last;  // by folder
  long m_count = 0;
};
