#include "history/history_series.h"

#include <cmath>

#include "base/platform.h"
#include "report/report.h"

std::string SeriesFolder(const std::string& source) {
  const PathParts parts = SplitPath(source);
  return parts.drive + parts.dir;
}

std::optional<ImportTime> ParseImportTime(const std::string& text) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z') {
    return std::nullopt;
  }
  bool digits = true;
  auto number = [&](std::size_t at, std::size_t length) {
    int out = 0;
    for (std::size_t i = at; i < at + length; ++i) {
      digits = digits && text[i] >= '0' && text[i] <= '9';
      out = out * 10 + (text[i] - '0');
    }
    return out;
  };
  const ImportTime time{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
  if (!digits || time.year < 1900 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 ||
      time.hour > 23 || time.minute > 59 || time.second > 59) {
    return std::nullopt;
  }
  return time;
}

double SerialDate(const ImportTime& time) {
  // Days from 1970-01-01 of the proleptic Gregorian date (the civil-from-days inverse).
  const int y = time.year - (time.month <= 2 ? 1 : 0);
  const int era = y / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (time.month + (time.month > 2 ? -3 : 9)) + 2) / 5 + time.day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + doe - 719468;
  constexpr long kUnixEpochSerial = 25569;  // 1970-01-01
  return static_cast<double>(days + kUnixEpochSerial) +
         (time.hour * 3600.0 + time.minute * 60.0 + time.second) / 86400.0;
}

ChangeFlags SeriesChanges::Next(const StoredRow& row) {
  Numbers values, errors;
  for (std::size_t p = 0; p < kParameterCount; ++p) {
    double number = 0;
    if (TextIsNumber(row.parameters[p], &number)) values[p] = number;
    if (TextIsNumber(row.quality[kQualityFirstSe + p], &number)) errors[p] = number;
  }
  return Next(SeriesFolder(row.provenance[kSource]), values, errors);
}

ChangeFlags SeriesChanges::Next(const std::string& folder, const Numbers& values, const Numbers& errors) {
  ChangeFlags flags{};
  const auto [last, first] = m_last.try_emplace(folder, Values{values, errors});
  if (first) return flags;
  const Values& before = last->second;
  for (std::size_t p = 0; p < kParameterCount; ++p) {
    if (!values[p] || !errors[p] || !before.value[p] || !before.se[p]) continue;
    const double combined = std::sqrt(*errors[p] * *errors[p] + *before.se[p] * *before.se[p]);
    flags[p] = std::fabs(*values[p] - *before.value[p]) > 2 * combined;
    m_count += flags[p] ? 1 : 0;
  }
  last->second = Values{values, errors};
  return flags;
}
