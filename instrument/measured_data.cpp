#include "instrument/measured_data.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <new>
#include <nlohmann/json.hpp>
#include <numbers>
#include <system_error>

#include "base/afx.h"
#include "base/platform.h"

namespace {

// A data file larger than this is not an impedance spectrum of any instrument.
constexpr std::size_t kMaxDataFileBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxFacts = 8;
constexpr std::size_t kMaxFactBytes = 200;
// How far into a file of an unknown layout its column-name line is looked for.
constexpr std::size_t kHeaderSearchLines = 400;

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// The summary's keys of what a reader did.
constexpr const char* kLeftOutKey = "略去的行";
constexpr const char* kDriftKey = "漂移校正";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Unquote(std::string_view s) {
  s = Trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = Trim(s.substr(1, s.size() - 2));
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(s[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

enum class Separator { kTab, kSemicolon, kComma, kBlanks };

// The separator of a table line: a tab, else a semicolon, else a comma, else runs of blanks.
Separator SeparatorOf(std::string_view line) {
  if (line.find('\t') != std::string_view::npos) return Separator::kTab;
  if (line.find(';') != std::string_view::npos) return Separator::kSemicolon;
  if (line.find(',') != std::string_view::npos) return Separator::kComma;
  return Separator::kBlanks;
}

// The fields of a line, at most `limit` of them (the rest of the line is not split).
void SplitFields(std::string_view line, Separator separator, std::vector<std::string_view>& fields,
                 std::size_t limit = kNone) {
  fields.clear();
  if (separator == Separator::kBlanks) {
    std::size_t i = 0;
    while (i < line.size() && fields.size() < limit) {
      while (i < line.size() && IsSpace(line[i])) ++i;
      const std::size_t start = i;
      while (i < line.size() && !IsSpace(line[i])) ++i;
      if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return;
  }
  const char mark = separator == Separator::kTab ? '\t' : separator == Separator::kSemicolon ? ';' : ',';
  std::size_t start = 0;
  while (fields.size() < limit) {
    const std::size_t end = line.find(mark, start);
    fields.push_back(Trim(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

// A whole field as a number, independent of the process locale: an optional sign, a decimal comma
// read as a point where commas do not separate the fields, "inf" and "nan" as they are.
bool ParseNumber(std::string_view field, bool decimalComma, double& value) {
  field = Unquote(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  char buffer[64];
  if (field.empty() || field.size() >= sizeof buffer) return false;
  for (std::size_t i = 0; i < field.size(); ++i) buffer[i] = decimalComma && field[i] == ',' ? '.' : field[i];
  const char* const end = buffer + field.size();
  const std::from_chars_result result = std::from_chars(buffer, end, value, std::chars_format::general);
  return result.ec == std::errc() && result.ptr == end;
}

bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > s.size() || (length == 2 && c < 0xC2)) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// Windows-1252 as UTF-8 (the instruments' text export of a Western Windows); the five bytes that
// code page leaves undefined become U+FFFD.
std::string Windows1252ToUtf8(std::string_view s) {
  static constexpr char16_t k80To9F[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::string out;
  for (const char byte : s) {
    const auto c = static_cast<unsigned char>(byte);
    const char32_t u = c < 0x80 ? c : c < 0xA0 ? k80To9F[c - 0x80] : c;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string TextOfFile(std::string_view s) {
  s = Unquote(s);
  if (s.size() > kMaxFactBytes) s = s.substr(0, kMaxFactBytes);
  return ProgramTextFromUtf8(ValidUtf8(s) ? std::string(s) : Windows1252ToUtf8(s));
}

// Keeps a header entry that tells the date, time, title, cell or electrode area of the measurement.
void AddFact(MeasuredData& data, std::string_view key, std::string_view value) {
  key = Unquote(key);
  value = Unquote(value);
  if (key.empty() || value.empty() || data.facts.size() >= kMaxFacts) return;
  const std::string name = LowerAscii(key);
  const bool wanted = name.find("date") != std::string::npos || name.find("started on") != std::string::npos ||
                      name == "time" || name.find("title") != std::string::npos || name == "header" ||
                      name.find("cell") != std::string::npos || name.find("area") != std::string::npos;
  if (wanted) data.facts.emplace_back(TextOfFile(key), TextOfFile(value));
}

// A header line "Key : value", "Key: value" or "Key = value".
void AddFactLine(MeasuredData& data, std::string_view line) {
  line = Unquote(line);
  const std::size_t mark = line.find_first_of(":=");
  if (mark != std::string_view::npos) AddFact(data, line.substr(0, mark), line.substr(mark + 1));
}

// What a column holds, by its name.
enum Role : std::size_t { kFrequency, kReal, kImaginary, kModulus, kPhase, kRoles };

constexpr std::size_t kMaxLoopColumns = 4;

using Loops = std::array<double, kMaxLoopColumns>;

struct Columns {
  std::array<std::size_t, kRoles> index;
  std::array<bool, kRoles> negated{};
  std::array<std::string, kRoles> names;  // as the file names them, for the messages
  bool driftCorrected = false;            // a "…DrCor" column was taken
  std::vector<std::size_t> loops;  // loop and sequence numbers ("cycle number", "Ns"), at most kMaxLoopColumns
  bool polar = false;              // |Z| and phase instead of Z′ and Z″
  std::size_t needed = 0;          // fields a row must have
};

bool IsUnit(std::string_view unit) {
  for (std::string_view known : {"hz", "khz", "ohm", "ohms", "\xCE\xA9", "kohm", "deg", "degree", "degrees", "\xC2\xB0",
                                  "a", "b"}) {
    if (unit == known) return true;
  }
  return false;
}

// The name folded for comparison: lower case, no blanks or underscores, primes as apostrophes, a
// leading minus sign taken off (negated), a trailing unit "/Ohm", "(Hz)", "[deg]" taken off.
std::string FoldName(std::string_view raw, bool& negated) {
  raw = Unquote(raw);
  std::string name;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const std::string_view rest = raw.substr(i);
    if (rest.starts_with("\xE2\x88\x92")) {  // −
      name += '-';
      i += 2;
    } else if (rest.starts_with("\xE2\x80\xB2")) {  // ′
      name += '\'';
      i += 2;
    } else if (rest.starts_with("\xE2\x80\xB3")) {  // ″
      name += "''";
      i += 2;
    } else if (raw[i] == '"') {
      name += "''";
    } else if (!IsSpace(raw[i]) && raw[i] != '_') {
      name += Lower(raw[i]);
    }
  }
  negated = name.starts_with('-');
  if (negated) name.erase(0, 1);
  const auto strip = [&](char open, char close) {
    if (name.size() < 2 || name.back() != close) return;
    const std::size_t at = name.rfind(open);
    if (at != std::string::npos && at > 0 && IsUnit(std::string_view(name).substr(at + 1, name.size() - at - 2))) {
      name.erase(at);
    }
  };
  const std::size_t slash = name.rfind('/');
  if (slash != std::string::npos && slash > 0 && IsUnit(std::string_view(name).substr(slash + 1))) name.erase(slash);
  strip('(', ')');
  strip('[', ']');
  return name;
}

std::size_t RoleOf(const std::string& name) {
  static const std::vector<std::pair<std::string_view, Role>> kNames = {
      {"f", kFrequency},      {"freq", kFrequency},   {"frequency", kFrequency},
      {"z'", kReal},          {"zre", kReal},         {"zreal", kReal},         {"re(z)", kReal},
      {"real", kReal},        {"re", kReal},          {"z''", kImaginary},      {"zim", kImaginary},
      {"zimag", kImaginary},   {"zimg", kImaginary},  {"im(z)", kImaginary},  {"imag", kImaginary},     {"imaginary", kImaginary},
      {"im", kImaginary},     {"|z|", kModulus},      {"z", kModulus},          {"zmod", kModulus},
      {"mod(z)", kModulus},   {"modulus", kModulus},  {"phase", kPhase},        {"phase(z)", kPhase},
      {"zphz", kPhase},       {"phz", kPhase},        {"phi", kPhase},          {"theta", kPhase},
  };
  for (const auto& [known, role] : kNames) {
    if (name == known) return role;
  }
  return kNone;
}

// The columns of a name line; nullopt unless it names the frequency and either both parts of Z or
// its modulus and phase. With driftCorrected, a column "…DrCor" (Gamry's drift-corrected Zreal,
// Zimag, Zmod, Zphz) takes the place of the raw one; without, it is passed over.
std::optional<Columns> ReadColumns(const std::vector<std::string_view>& names, bool driftCorrected = false) {
  Columns columns;
  columns.index.fill(kNone);
  std::array<bool, kRoles> corrected{};
  for (std::size_t i = 0; i < names.size(); ++i) {
    bool negated = false;
    std::string name = FoldName(names[i], negated);
    if (name == "cyclenumber" || name == "cycle" || name == "loop" || name == "ns" || name == "sequence") {
      if (columns.loops.size() < kMaxLoopColumns) columns.loops.push_back(i);
      continue;
    }
    const bool drift = name.size() > 5 && name.ends_with("drcor");
    if (drift && !driftCorrected) continue;
    if (drift) name.resize(name.size() - 5);
    const std::size_t role = RoleOf(name);
    if (role == kNone || (columns.index[role] != kNone && (corrected[role] || !drift))) continue;
    columns.index[role] = i;
    columns.negated[role] = negated;
    corrected[role] = drift;
  }
  const auto has = [&](Role role) { return columns.index[role] != kNone; };
  if (!has(kFrequency)) return std::nullopt;
  if (!has(kReal) || !has(kImaginary)) {
    if (!has(kModulus) || !has(kPhase)) return std::nullopt;
    columns.polar = true;
  }
  for (std::size_t role = 0; role < kRoles; ++role) {
    const bool used = role == kFrequency || (columns.polar ? role == kModulus || role == kPhase
                                                           : role == kReal || role == kImaginary);
    if (!used) columns.index[role] = kNone;
    if (columns.index[role] != kNone) {
      columns.needed = std::max(columns.needed, columns.index[role] + 1);
      columns.names[role] = TextOfFile(names[columns.index[role]]);
      columns.driftCorrected = columns.driftCorrected || corrected[role];
    }
  }
  for (std::size_t loop : columns.loops) columns.needed = std::max(columns.needed, loop + 1);
  return columns;
}

// The lines of a text, one at a time: ended by CR LF, LF, CR alone or CR CR LF (a CR LF file passed
// once more through a text-mode copy); the ends are not part of the lines. Nothing is kept of the
// lines already read.
class Lines {
 public:
  explicit Lines(std::string_view text) : m_text(text) {}
  bool Next(std::string_view& line) {
    if (m_pos >= m_text.size()) return false;
    std::size_t end = m_pos;
    while (end < m_text.size() && m_text[end] != '\n' && m_text[end] != '\r') ++end;
    line = m_text.substr(m_pos, end - m_pos);
    if (end < m_text.size() && m_text[end] == '\r') {
      if (m_text.substr(end, 3) == "\r\r\n") {
        end += 2;
      } else if (end + 1 < m_text.size() && m_text[end + 1] == '\n') {
        ++end;
      }
    }
    m_pos = end + 1;
    ++m_number;
    return true;
  }
  // The number of the line Next gave last, from 1.
  std::size_t Number() const { return m_number; }

 private:
  std::string_view m_text;
  std::size_t m_pos = 0;
  std::size_t m_number = 0;
};

std::string LineText(std::size_t number) { return "第 " + std::to_string(number) + " 行"; }

// Rows the readers leave out (a rest row of frequency 0, a value that is not finite): how many, and
// the first of their line numbers, for the summary.
class LeftOut {
 public:
  void Add(std::size_t line) {
    if (m_lines.size() < kListed) m_lines.push_back(line);
    ++m_count;
  }
  void Note(MeasuredData& data) const {
    if (m_count == 0) return;
    std::string lines;
    for (std::size_t line : m_lines) lines += (lines.empty() ? "" : "、") + std::to_string(line);
    data.facts.emplace_back(kLeftOutKey, std::to_string(m_count) + " 行的频率不是正数或 Z 不是有限数，未用（第 " + lines +
                                             (m_count > m_lines.size() ? " 行等）" : " 行）"));
  }
  std::size_t Count() const { return m_count; }

 private:
  static constexpr std::size_t kListed = 10;
  std::vector<std::size_t> m_lines;
  std::size_t m_count = 0;
};

// The sweeps of a run of points: a new one begins where a loop or sequence number changes or where
// the frequency repeats or stops falling or rising. The points of the first are kept, the others
// only counted.
class Sweeps {
 public:
  explicit Sweeps(MeasuredData& data) : m_data(data) { m_data.sweeps = 0; }
  void Add(const MeasuredPoint& point, const Loops& loops) {
    bool split = m_data.sweeps == 0;
    if (!split) {
      split = loops != m_loops || point.frequency == m_previous;
      if (!split && m_inSweep >= 2) split = m_falling ? point.frequency > m_previous : point.frequency < m_previous;
    }
    if (split) {
      ++m_data.sweeps;
      m_inSweep = 0;
    }
    if (m_inSweep == 1) m_falling = point.frequency < m_previous;
    if (m_data.sweeps == 1) m_data.points.push_back(point);
    m_previous = point.frequency;
    m_loops = loops;
    ++m_inSweep;
  }

 private:
  MeasuredData& m_data;
  Loops m_loops{};
  double m_previous = 0;
  bool m_falling = false;
  std::size_t m_inSweep = 0;
};

bool ValidPoint(const MeasuredPoint& p) {
  return p.frequency > 0 && std::isfinite(p.frequency) && std::isfinite(p.real) && std::isfinite(p.imaginary);
}

// Adds a point read from the file: a valid one to its sweep, another to the rows left out.
void AddPoint(const MeasuredPoint& point, const Loops& loops, std::size_t line, Sweeps& sweeps, LeftOut& leftOut) {
  if (ValidPoint(point)) {
    sweeps.Add(point, loops);
  } else {
    leftOut.Add(line);
  }
}

MeasuredPoint PointOf(const Columns& columns, const std::array<double, kRoles>& values) {
  MeasuredPoint point;
  point.frequency = values[kFrequency];
  if (columns.polar) {
    const double phase = values[kPhase] * (std::numbers::pi / 180.0);
    point.real = values[kModulus] * std::cos(phase);
    point.imaginary = values[kModulus] * std::sin(phase);
  } else {
    point.real = values[kReal];
    point.imaginary = values[kImaginary];
  }
  return point;
}

// Where a format's table stands in its lines.
struct TableLayout {
  Separator separator = Separator::kTab;  // of the name line; the rows' own is found at the first row
  bool leadingTab = false;                // every row starts with a tab (Gamry)
  std::size_t maxRows = kNone;            // the file's own point count
};

enum class RowKind { kNone, kRow };

// One line of a table read into values. A line whose frequency field is not a number is no row
// (kNone); a line whose frequency is a number but which lacks a column or holds a non-number in
// one is an error that names the line.
RowKind ReadRow(std::string_view line, std::size_t number, Separator separator, const Columns& columns,
                std::vector<std::string_view>& fields, std::array<double, kRoles>& values, Loops& loops) {
  const bool decimalComma = separator != Separator::kComma;
  SplitFields(line, separator, fields, columns.needed);
  const std::size_t f = columns.index[kFrequency];
  if (fields.size() <= f || !ParseNumber(fields[f], decimalComma, values[kFrequency])) return RowKind::kNone;
  if (fields.size() < columns.needed) {
    throw OperationError(LineText(number) + "只有 " + std::to_string(fields.size()) + " 列，少于数据表的 " +
                         std::to_string(columns.needed) + " 列");
  }
  for (std::size_t role = 0; role < kRoles; ++role) {
    if (columns.index[role] == kNone) continue;
    if (!ParseNumber(fields[columns.index[role]], decimalComma, values[role])) {
      throw OperationError(LineText(number) + "的 " + columns.names[role] + " 不是数字：" +
                           TextOfFile(fields[columns.index[role]]));
    }
    if (columns.negated[role]) values[role] = -values[role];
  }
  loops.fill(0);
  for (std::size_t k = 0; k < columns.loops.size(); ++k) {
    if (!ParseNumber(fields[columns.loops[k]], decimalComma, loops[k])) {
      throw OperationError(LineText(number) + "的循环号不是数字：" + TextOfFile(fields[columns.loops[k]]));
    }
  }
  return RowKind::kRow;
}

// The rows of a table after its name line. Before the first row, lines that are not rows (a units
// line, "End Comments", blank lines) are passed over; after it, the first line that is not one ends
// the table, unless rows follow it: then it is a broken row and the file is refused.
void ReadRows(Lines& lines, const TableLayout& layout, const Columns& columns, MeasuredData& data) {
  Separator separator = layout.separator;
  std::vector<std::string_view> fields;
  std::array<double, kRoles> values{};
  Loops loops{};
  Sweeps sweeps(data);
  LeftOut leftOut;
  std::size_t read = 0;
  const auto rowOf = [&](std::string_view line) -> std::optional<std::string_view> {
    if (layout.leadingTab) {
      if (!line.starts_with('\t')) return std::nullopt;
      line.remove_prefix(1);
    }
    return line;
  };
  std::string_view line;
  while (read < layout.maxRows && lines.Next(line)) {
    if (Trim(line).empty()) continue;
    std::optional<std::string_view> row = rowOf(line);
    if (row && read == 0) {
      // The rows may be split otherwise than the names ("Freq Z' Z''" over comma-separated rows).
      SplitFields(*row, separator, fields, columns.needed);
      if (fields.size() < columns.needed) separator = SeparatorOf(*row);
    }
    if (!row || ReadRow(*row, lines.Number(), separator, columns, fields, values, loops) == RowKind::kNone) {
      if (read == 0) continue;
      const std::size_t end = lines.Number();
      Lines after = lines;
      std::string_view next;
      while (after.Next(next) && Trim(next).empty()) {
      }
      std::optional<std::string_view> nextRow = rowOf(next);
      if (!Trim(next).empty() && nextRow &&
          ReadRow(*nextRow, after.Number(), separator, columns, fields, values, loops) == RowKind::kRow) {
        throw OperationError(LineText(end) + "不是数据行，而数据表在它之后还有数据行：" + TextOfFile(line));
      }
      break;
    }
    ++read;
    AddPoint(PointOf(columns, values), loops, lines.Number(), sweeps, leftOut);
  }
  if (read == 0) throw OperationError("数据表中没有数据行（只有表头）");
  if (data.points.empty()) {
    throw OperationError("数据表中没有频率为正数的测量点（" + std::to_string(leftOut.Count()) + " 行都不能用）");
  }
  leftOut.Note(data);
  if (columns.driftCorrected) data.facts.emplace_back(kDriftKey, "开：Z′、Z″ 取自漂移校正后的列（…DrCor）");
}

Columns NamedColumns(std::string_view nameLine, Separator separator, bool driftCorrected = false) {
  std::vector<std::string_view> names;
  SplitFields(nameLine, separator, names);
  const std::optional<Columns> columns = ReadColumns(names, driftCorrected);
  if (!columns) throw OperationError("数据表的列名中没有频率与阻抗（Z′ 与 Z″，或 |Z| 与相位）");
  return *columns;
}

// Reads on to the first line within the search range that names the columns of an impedance table;
// the lines before it are offered to onHeader. Returns the name line and its separator.
std::optional<std::pair<std::string_view, Separator>> FindNameLine(
    Lines& lines, const std::function<void(std::string_view)>& onHeader) {
  std::vector<std::string_view> fields;
  std::string_view line;
  for (std::size_t i = 0; i < kHeaderSearchLines && lines.Next(line); ++i) {
    const Separator candidate = SeparatorOf(line);
    SplitFields(line, candidate, fields);
    if (ReadColumns(fields)) return std::pair{line, candidate};
    onHeader(line);
  }
  return std::nullopt;
}

// ---- The readers, each: does it recognise the bytes, and reads them. ----

std::string_view FirstLine(std::string_view text) {
  Lines lines(text);
  std::string_view line;
  return lines.Next(line) ? Trim(line) : std::string_view();
}

// EC-Lab / BT-Lab text export: "Nb header lines : N" on line 2; the column names on line N.
bool IsEcLab(std::string_view text) { return StartsWithNoCase(FirstLine(text), "EC-Lab ASCII FILE"); }
bool IsBtLab(std::string_view text) { return StartsWithNoCase(FirstLine(text), "BT-Lab ASCII FILE"); }

void ReadEcLab(std::string_view text, MeasuredData& data) {
  Lines lines(text);
  std::string_view line, second;
  lines.Next(line);
  std::size_t headerLines = 0;
  if (lines.Next(second) && StartsWithNoCase(second, "Nb header lines")) {
    const std::size_t colon = second.find(':');
    const std::string_view count = Trim(second.substr(colon == std::string_view::npos ? second.size() : colon + 1));
    std::from_chars(count.data(), count.data() + count.size(), headerLines);
  }
  if (headerLines < 3) throw OperationError("EC-Lab 文件的 \"Nb header lines\" 不是有效的行数");
  while (lines.Number() + 1 < headerLines && lines.Next(line)) AddFactLine(data, line);
  if (!lines.Next(line)) throw OperationError("EC-Lab 文件的 \"Nb header lines\" 不是有效的行数（文件只有 " +
                                              std::to_string(lines.Number()) + " 行）");
  ReadRows(lines, {}, NamedColumns(line, Separator::kTab), data);
}

// Gamry: "KEY<TAB>TYPE<TAB>VALUE…" header lines, then the table after "ZCURVE<TAB>TABLE".
bool IsGamry(std::string_view text) { return FirstLine(text) == "EXPLAIN"; }

void ReadGamry(std::string_view text, MeasuredData& data) {
  Lines lines(text);
  std::vector<std::string_view> fields;
  std::string_view line;
  lines.Next(line);
  bool driftCorrected = false;
  while (lines.Next(line)) {
    SplitFields(line, Separator::kTab, fields);
    if (fields.size() >= 2 && fields[0] == "ZCURVE" && fields[1] == "TABLE") {
      if (!lines.Next(line)) break;
      if (line.starts_with('\t')) line.remove_prefix(1);
      ReadRows(lines, {Separator::kTab, true}, NamedColumns(line, Separator::kTab, driftCorrected), data);
      return;
    }
    // GALVEIS is the galvanostatic EIS's tag (EISGALV its default file name, kept for older files).
    if (lines.Number() == 2 && fields.size() >= 2 && fields[0] == "TAG" && fields[1] != "EISPOT" &&
        fields[1] != "GALVEIS" && fields[1] != "EISGALV") {
      throw OperationError("Gamry 文件的测量方法 " + TextOfFile(fields[1]) + " 不是阻抗谱（EISPOT 或 GALVEIS）");
    }
    if (fields.size() >= 2 && fields[0] == "TAG") data.facts.emplace_back("TAG", TextOfFile(fields[1]));
    // Drift correction on: "DRIFTCOR  TOGGLE  T" (or a number other than 0).
    if (fields.size() >= 3 && fields[0] == "DRIFTCOR") {
      double on = 0;
      driftCorrected = Trim(fields[2]) == "T" || (ParseNumber(fields[2], true, on) && on != 0);
    }
    // A quantity's description names its unit: "AREA  QUANT  0.5  Sample Area (cm^2)".
    if (fields.size() >= 3) {
      std::string value(fields[2]);
      if (fields[1] == "QUANT" && fields.size() >= 4 && !fields[3].empty()) value += " (" + std::string(fields[3]) + ")";
      AddFact(data, fields[0], value);
    }
  }
  throw OperationError("Gamry 文件中没有 ZCURVE 表");
}

// The .z text format: "ZPLOT2 ASCII" with "Key: value" header lines, or the older quoted layouts of
// "ZPlotW Data File" and Autolab's "Z60W Data File", whose point count stands on the line before the
// column names.
bool IsZPlot(std::string_view text) {
  const std::string_view first = FirstLine(text);
  return StartsWithNoCase(first, "ZPLOT2 ASCII") || StartsWithNoCase(Unquote(first), "ZPlotW Data File");
}
bool IsZ60W(std::string_view text) { return StartsWithNoCase(Unquote(FirstLine(text)), "Z60W Data File"); }

void ReadZPlot(std::string_view text, MeasuredData& data) {
  Lines lines(text);
  std::string_view line, previous;
  lines.Next(line);
  const auto found = FindNameLine(lines, [&](std::string_view header) {
    AddFactLine(data, header);
    if (!Trim(header).empty()) previous = header;
  });
  if (!found) throw OperationError(data.format + " 文件中没有 Freq(Hz)、Z'(a)、Z''(b) 列");
  TableLayout layout{found->second};
  std::size_t count = 0;
  const std::string_view countText = Unquote(previous);
  const std::from_chars_result result = std::from_chars(countText.data(), countText.data() + countText.size(), count);
  if (result.ec == std::errc() && result.ptr == countText.data() + countText.size() && count > 0) layout.maxRows = count;
  ReadRows(lines, layout, NamedColumns(found->first, found->second), data);
}

// NOVA's column table: "Index", "Frequency (Hz)", "Z' (Ω)", "-Z'' (Ω)", … on the first line.
bool IsNova(std::string_view text) {
  const std::string_view first = FirstLine(text);
  std::vector<std::string_view> names;
  SplitFields(first, SeparatorOf(first), names);
  bool negated = false;
  return names.size() >= 3 && FoldName(names[0], negated) == "index" && ReadColumns(names) &&
         first.find("\xCE\xA9") != std::string_view::npos;
}

// CH Instruments: the date on line 1, "A.C. Impedance" on one of the next lines, "Key = value"
// lines, the column names.
bool IsChi(std::string_view text) {
  Lines lines(text);
  std::string_view line;
  lines.Next(line);
  for (int i = 0; i < 3 && lines.Next(line); ++i) {
    if (Trim(line) == "A.C. Impedance") return true;
  }
  return false;
}

// A delimited text table: its first line that names the columns.
void ReadDelimited(std::string_view text, MeasuredData& data) {
  Lines lines(text);
  const bool chi = data.format == "CH Instruments";
  const auto found = FindNameLine(lines, [&](std::string_view header) {
    if (chi && lines.Number() == 1) {
      AddFact(data, "Date", header);
    } else {
      AddFactLine(data, header);
    }
  });
  if (!found) throw OperationError("未找到数据表的列名行（频率与 Z′、Z″，或 |Z| 与相位）");
  ReadRows(lines, {found->second}, NamedColumns(found->first, found->second), data);
}

// VersaStudio .par: an XML-like text of sections; the data in <Segment1>, <Segment2>, … each a line
// "Definition=Segment #, Point #, E(V), …, Frequency(Hz), …, Z Real, Z Imag, …" and comma-separated
// rows up to </SegmentN>. A segment of another technique (its frequencies 0) is passed over; each
// impedance segment is a sweep.
bool IsVersaStudio(std::string_view text) {
  const std::string_view head = text.substr(0, 4096);
  return head.starts_with("<") && head.find("VersaStudio") != std::string_view::npos;
}

void ReadVersaStudio(std::string_view text, MeasuredData& data) {
  Lines lines(text);
  std::string_view line;
  std::vector<std::string_view> fields;
  std::array<double, kRoles> values{};
  Loops loops{};
  Sweeps sweeps(data);
  LeftOut leftOut;
  std::optional<Columns> columns;
  std::size_t segment = 0, rows = 0, otherSegments = 0;
  bool inSegment = false, impedance = false;
  while (lines.Next(line)) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.starts_with("<Segment")) {
      inSegment = true;
      impedance = false;
      columns.reset();
      ++segment;
      continue;
    }
    if (trimmed.starts_with("</Segment")) {
      if (inSegment && columns && !impedance) ++otherSegments;
      inSegment = false;
      continue;
    }
    if (!inSegment) {
      if (segment == 0) AddFactLine(data, trimmed);
      continue;
    }
    if (StartsWithNoCase(trimmed, "Definition=")) {
      SplitFields(trimmed.substr(11), Separator::kComma, fields);
      columns = ReadColumns(fields);
      if (!columns) ++otherSegments;
      continue;
    }
    if (!columns || trimmed.empty()) continue;
    if (ReadRow(trimmed, lines.Number(), Separator::kComma, *columns, fields, values, loops) == RowKind::kNone) continue;
    // A segment whose first row has frequency 0 is of another technique.
    if (!impedance) {
      if (values[kFrequency] == 0) {
        columns.reset();
        continue;
      }
      impedance = true;
    }
    ++rows;
    loops[0] = static_cast<double>(segment);
    AddPoint(PointOf(*columns, values), loops, lines.Number(), sweeps, leftOut);
  }
  if (rows == 0) throw OperationError("VersaStudio 文件中没有阻抗段（Definition= 行含 Frequency(Hz)、Z Real、Z Imag 且频率不为 0）");
  if (data.points.empty()) throw OperationError("VersaStudio 文件的阻抗段中没有频率为正数的测量点");
  leftOut.Note(data);
  if (otherSegments > 0) data.facts.emplace_back("其他段", std::to_string(otherSegments) + " 段不是阻抗谱，未用");
}

// Ivium .idf / .ids: "Key=value" lines in [sections]; each data set's points after a line
// "primary_data": the column count (3), the point count, then rows "Z′ Z″ f". An .ids holds several
// data sets: each a sweep. Some bytes between sections are control characters (0, 0x1C, 0x1E).
bool IsIvium(std::string_view text) {
  return FirstLine(text).starts_with('[') && text.find("primary_data") != std::string_view::npos;
}

std::string_view TrimControls(std::string_view s) {
  const auto control = [](char c) { return c == '\0' || c == '\x1c' || c == '\x1e' || IsSpace(c); };
  while (!s.empty() && control(s.front())) s.remove_prefix(1);
  while (!s.empty() && control(s.back())) s.remove_suffix(1);
  return s;
}

void ReadIvium(std::string_view text, MeasuredData& data) {
  Lines lines(text);
  std::string_view line;
  std::vector<std::string_view> fields;
  Sweeps sweeps(data);
  LeftOut leftOut;
  Columns columns;  // Z′, Z″, f
  columns.index = {2, 0, 1, kNone, kNone};
  columns.needed = 3;
  columns.names = {"f", "Z'", "Z''", "", ""};
  std::array<double, kRoles> values{};
  Loops loops{};
  std::size_t dataSets = 0, rows = 0;
  const auto count = [&](const char* what) {
    std::size_t n = 0;
    while (lines.Next(line) && TrimControls(line).empty()) {
    }
    const std::string_view text = TrimControls(line);
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), n);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
      throw OperationError(LineText(lines.Number()) + "应是 primary_data 的" + what + "：" + TextOfFile(text));
    }
    return n;
  };
  while (lines.Next(line)) {
    const std::string_view trimmed = TrimControls(line);
    if (trimmed != "primary_data") {
      if (dataSets == 0) AddFactLine(data, trimmed);
      continue;
    }
    ++dataSets;
    if (count("列数") != 3) throw OperationError(LineText(lines.Number()) + "：primary_data 不是 3 列（Z′、Z″、f）");
    const std::size_t points = count("点数");
    for (std::size_t i = 0; i < points; ++i) {
      if (!lines.Next(line)) throw OperationError("Ivium 文件在第 " + std::to_string(dataSets) + " 组数据的第 " +
                                                  std::to_string(i + 1) + " 点处结束（应有 " + std::to_string(points) + " 点）");
      if (ReadRow(TrimControls(line), lines.Number(), Separator::kBlanks, columns, fields, values, loops) ==
          RowKind::kNone) {
        throw OperationError(LineText(lines.Number()) + "不是数据行：" + TextOfFile(TrimControls(line)));
      }
      loops[0] = static_cast<double>(dataSets);
      ++rows;
      AddPoint(PointOf(columns, values), loops, lines.Number(), sweeps, leftOut);
    }
  }
  if (dataSets == 0) throw OperationError("Ivium 文件中没有 primary_data");
  if (rows == 0) throw OperationError("Ivium 文件的 primary_data 中没有数据行");
  if (data.points.empty()) throw OperationError("Ivium 文件中没有频率为正数的测量点");
  leftOut.Note(data);
}

// ---- Binary files ----

// Little- and big-endian numbers at an offset of a byte run the caller has checked for length.
template <typename T>
T LittleEndian(std::string_view bytes, std::size_t at) {
  std::array<unsigned char, sizeof(T)> raw{};
  for (std::size_t i = 0; i < sizeof(T); ++i) raw[i] = static_cast<unsigned char>(bytes[at + i]);
  if constexpr (std::endian::native == std::endian::big) std::reverse(raw.begin(), raw.end());
  return std::bit_cast<T>(raw);
}

template <typename T>
T BigEndian(std::string_view bytes, std::size_t at) {
  std::array<unsigned char, sizeof(T)> raw{};
  for (std::size_t i = 0; i < sizeof(T); ++i) raw[i] = static_cast<unsigned char>(bytes[at + i]);
  if constexpr (std::endian::native == std::endian::little) std::reverse(raw.begin(), raw.end());
  return std::bit_cast<T>(raw);
}

// EC-Lab binary .mpr: "BIO-LOGIC MODULAR FILE\x1a" padded with blanks to 48 bytes and 4 zero bytes,
// then modules, each "MODULE", a short name (10 bytes: "VMP Set   ", "VMP data  ", "VMP LOG   ",
// "VMP loop  "), a long name (25), the length of its data (u32), its version (u32), its date
// ("mm/dd/yy", 8) and its data. The data module: the point count (u32), the column count (u8), the
// column ids (u8 in version 0, u16 in versions 2 and 3), then the rows from byte 100 (version 0),
// 405 (2) or 406 (3) of the module's data, each the columns' values in id order (little-endian).
// The flag columns (mode, ox/red, error, control changes, Ns changes, counter inc.) share one byte,
// where the first of them stands. The loop module: the count (u32) and the first row of each loop.
constexpr std::string_view kMprMagic = "BIO-LOGIC MODULAR FILE\x1a";
constexpr std::size_t kMprHeaderBytes = 52;
constexpr std::size_t kModuleHeaderBytes = 6 + 10 + 25 + 4 + 4 + 8;

enum class MprType { kFlags, kF32, kF64, kU16, kU32 };

struct MprColumn {
  std::uint16_t id;
  MprType type;
};

// The column ids and their value types; 32 f, 35 phase, 36 |Z|, 37 Re(Z), 38 −Im(Z), 24 cycle
// number, 131 Ns are the ones read.
constexpr MprColumn kMprColumns[] = {
    {1, MprType::kFlags},   {2, MprType::kFlags},   {3, MprType::kFlags},   {21, MprType::kFlags},
    {31, MprType::kFlags},  {65, MprType::kFlags},  {4, MprType::kF64},     {5, MprType::kF32},
    {6, MprType::kF32},     {7, MprType::kF64},     {8, MprType::kF32},     {9, MprType::kF32},
    {11, MprType::kF64},    {13, MprType::kF64},    {19, MprType::kF32},    {20, MprType::kF32},
    {23, MprType::kF64},    {24, MprType::kF64},    {32, MprType::kF32},    {33, MprType::kF32},
    {34, MprType::kF32},    {35, MprType::kF32},    {36, MprType::kF32},    {37, MprType::kF32},
    {38, MprType::kF32},    {39, MprType::kU16},    {70, MprType::kF32},    {74, MprType::kF64},
    {76, MprType::kF32},    {77, MprType::kF32},    {96, MprType::kF32},    {98, MprType::kF32},
    {99, MprType::kF32},    {100, MprType::kF32},   {101, MprType::kF32},   {123, MprType::kF64},
    {124, MprType::kF64},   {125, MprType::kF64},   {126, MprType::kF64},   {131, MprType::kU16},
    {168, MprType::kF32},   {169, MprType::kF32},   {172, MprType::kF32},   {430, MprType::kF32},
    {431, MprType::kF32},   {432, MprType::kF32},   {433, MprType::kF32},   {434, MprType::kF32},
    {435, MprType::kF32},   {441, MprType::kF32},   {462, MprType::kF32},   {467, MprType::kF64},
    {468, MprType::kU32},   {469, MprType::kU32},   {471, MprType::kF32},   {473, MprType::kF32},
    {474, MprType::kF32},   {476, MprType::kF32},   {477, MprType::kF32},   {479, MprType::kF32},
    {480, MprType::kF32},
};

std::size_t SizeOf(MprType type) {
  switch (type) {
    case MprType::kFlags: return 1;
    case MprType::kF32: return 4;
    case MprType::kF64: return 8;
    case MprType::kU16: return 2;
    case MprType::kU32: return 4;
  }
  return 0;
}

double MprValue(std::string_view row, std::size_t at, MprType type) {
  switch (type) {
    case MprType::kF32: return LittleEndian<float>(row, at);
    case MprType::kF64: return LittleEndian<double>(row, at);
    case MprType::kU16: return LittleEndian<std::uint16_t>(row, at);
    case MprType::kU32: return LittleEndian<std::uint32_t>(row, at);
    case MprType::kFlags: return static_cast<unsigned char>(row[at]);
  }
  return 0;
}

bool IsMpr(std::string_view bytes) { return bytes.starts_with(kMprMagic); }

struct MprModule {
  std::string_view name;
  std::uint32_t version = 0;
  std::string_view date;
  std::string_view data;
};

void ReadMpr(std::string_view bytes, MeasuredData& data) {
  if (bytes.size() < kMprHeaderBytes) throw OperationError("EC-Lab .mpr 文件在文件头处结束");
  std::optional<MprModule> dataModule;
  std::vector<std::uint32_t> loopStarts;
  for (std::size_t at = kMprHeaderBytes; at < bytes.size();) {
    if (bytes.size() - at < kModuleHeaderBytes || bytes.substr(at, 6) != "MODULE") {
      throw OperationError("EC-Lab .mpr 文件的第 " + std::to_string(at) + " 字节处不是模块头（MODULE）");
    }
    MprModule module;
    module.name = bytes.substr(at + 6, 10);
    const std::uint32_t length = LittleEndian<std::uint32_t>(bytes, at + 41);
    module.version = LittleEndian<std::uint32_t>(bytes, at + 45);
    module.date = bytes.substr(at + 49, 8);
    at += kModuleHeaderBytes;
    if (length > bytes.size() - at) throw OperationError("EC-Lab .mpr 文件的模块 " + TextOfFile(module.name) + " 被截断");
    module.data = bytes.substr(at, length);
    at += length;
    if (module.name == "VMP Set   ") {
      AddFact(data, "Date", module.date);
    } else if (module.name == "VMP data  ") {
      if (dataModule) throw OperationError("EC-Lab .mpr 文件有两个数据模块（VMP data）");
      dataModule = module;
    } else if (module.name == "VMP loop  " && module.data.size() >= 4) {
      const std::uint32_t count = LittleEndian<std::uint32_t>(module.data, 0);
      for (std::uint32_t i = 0; i < count && 4 + 4 * (i + 1) <= module.data.size(); ++i) {
        loopStarts.push_back(LittleEndian<std::uint32_t>(module.data, 4 + 4 * i));
      }
    }
  }
  if (!dataModule) throw OperationError("EC-Lab .mpr 文件中没有数据模块（VMP data）");
  const std::string_view module = dataModule->data;
  const std::uint32_t version = dataModule->version;
  if (version != 0 && version != 2 && version != 3) {
    throw OperationError("EC-Lab .mpr 文件的数据模块版本 " + std::to_string(version) + " 未知（可读 0、2、3）");
  }
  const std::size_t idBytes = version == 0 ? 1 : 2;
  const std::size_t rowsAt = version == 0 ? 100 : version == 2 ? 405 : 406;
  if (module.size() < rowsAt) throw OperationError("EC-Lab .mpr 文件的数据模块被截断");
  const std::uint32_t points = LittleEndian<std::uint32_t>(module, 0);
  const std::size_t columnCount = static_cast<unsigned char>(module[4]);
  if (5 + idBytes * columnCount > rowsAt) throw OperationError("EC-Lab .mpr 文件的数据模块的列数不对");
  // Where each value stands in a row, and which columns are read.
  std::size_t rowBytes = 0;
  bool flags = false;
  std::array<std::optional<std::pair<std::size_t, MprType>>, 7> wanted{};  // f, |Z|, phase, Re, −Im, cycle, Ns
  for (std::size_t c = 0; c < columnCount; ++c) {
    const std::uint16_t id = idBytes == 1 ? static_cast<unsigned char>(module[5 + c])
                                          : LittleEndian<std::uint16_t>(module, 5 + 2 * c);
    const auto known = std::find_if(std::begin(kMprColumns), std::end(kMprColumns), [&](const MprColumn& k) { return k.id == id; });
    if (known == std::end(kMprColumns)) {
      throw OperationError("EC-Lab .mpr 文件的第 " + std::to_string(c + 1) + " 列的编号 " + std::to_string(id) +
                           " 未知，无法确定行的长度");
    }
    if (known->type == MprType::kFlags) {
      if (flags) continue;
      flags = true;
    }
    const int slot = id == 32 ? 0 : id == 36 ? 1 : id == 35 ? 2 : id == 37 ? 3 : id == 38 ? 4 : id == 24 ? 5 : id == 131 ? 6 : -1;
    if (slot >= 0 && !wanted[slot]) wanted[slot] = std::pair{rowBytes, known->type};
    rowBytes += SizeOf(known->type);
  }
  const bool cartesian = wanted[3] && wanted[4];
  if (!wanted[0] || (!cartesian && !(wanted[1] && wanted[2]))) {
    throw OperationError("EC-Lab .mpr 文件的数据中没有频率与阻抗列（freq/Hz 与 Re(Z)、-Im(Z)，或 |Z| 与 Phase(Z)）");
  }
  if (rowBytes == 0 || points > (module.size() - rowsAt) / rowBytes) {
    throw OperationError("EC-Lab .mpr 文件的数据模块被截断（应有 " + std::to_string(points) + " 行）");
  }
  if (points == 0) throw OperationError("数据表中没有数据行（只有表头）");
  Sweeps sweeps(data);
  LeftOut leftOut;
  std::size_t loop = 0;
  for (std::uint32_t i = 0; i < points; ++i) {
    const std::string_view row = module.substr(rowsAt + static_cast<std::size_t>(i) * rowBytes, rowBytes);
    const auto value = [&](std::size_t slot) { return MprValue(row, wanted[slot]->first, wanted[slot]->second); };
    MeasuredPoint point;
    point.frequency = value(0);
    if (cartesian) {
      point.real = value(3);
      point.imaginary = -value(4);
    } else {
      const double phase = value(2) * (std::numbers::pi / 180.0);
      point.real = value(1) * std::cos(phase);
      point.imaginary = value(1) * std::sin(phase);
    }
    while (loop < loopStarts.size() && loopStarts[loop] <= i) ++loop;
    const Loops loops{static_cast<double>(loop), wanted[5] ? value(5) : 0, wanted[6] ? value(6) : 0, 0};
    // The row's number from 1, as the text export would number its data row.
    AddPoint(point, loops, i + 1, sweeps, leftOut);
  }
  if (data.points.empty()) {
    throw OperationError("数据表中没有频率为正数的测量点（" + std::to_string(leftOut.Count()) + " 行都不能用）");
  }
  leftOut.Note(data);
}

// Zahner .ism (Thales), big-endian: the version (6-byte integer), the point count less one (6-byte
// integer), then the frequencies, |Z|, phases (radians) and times (f8 each) and significances (i2),
// and the date "ddmmyy" (i2 length and letters of swapped case). The sweep starts above its reversal
// frequency and measures there twice: the points kept run between the lowest and highest frequency.
bool IsIsm(std::string_view bytes) {
  if (bytes.size() < 12 + 34 + 2 || bytes.substr(0, 4) != std::string_view("\0\0\0\0", 4)) return false;
  const std::uint64_t n = (static_cast<std::uint64_t>(BigEndian<std::uint16_t>(bytes, 6)) << 32) |
                          BigEndian<std::uint32_t>(bytes, 8);
  if (n + 1 > (bytes.size() - 14) / 34) return false;
  const double f = BigEndian<double>(bytes, 12);
  return f > 0 && f < 1e9;
}

void ReadIsm(std::string_view bytes, MeasuredData& data) {
  const std::size_t n = static_cast<std::size_t>(BigEndian<std::uint32_t>(bytes, 8)) + 1;
  const auto at = [&](std::size_t array, std::size_t i) { return BigEndian<double>(bytes, 12 + 8 * (array * n + i)); };
  std::size_t dateAt = 12 + 34 * n;
  if (dateAt + 2 <= bytes.size()) {
    const auto length = static_cast<std::size_t>(BigEndian<std::uint16_t>(bytes, dateAt));
    std::string date(bytes.substr(dateAt + 2, std::min<std::size_t>(length, 6)));
    if (date.size() == 6 && std::all_of(date.begin(), date.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      AddFact(data, "Date", date.substr(0, 2) + "." + date.substr(2, 2) + "." + (date[4] < '7' ? "20" : "19") + date.substr(4, 2));
    }
  }
  std::size_t low = 0, high = 0;
  for (std::size_t i = 1; i < n; ++i) {
    if (at(0, i) < at(0, low)) low = i;
    if (at(0, i) > at(0, high)) high = i;
  }
  Sweeps sweeps(data);
  LeftOut leftOut;
  const std::size_t first = std::min(low, high), last = std::max(low, high);
  for (std::size_t i = first; i <= last; ++i) {
    const double modulus = at(1, i), phase = at(2, i);
    AddPoint({at(0, i), modulus * std::cos(phase), modulus * std::sin(phase)}, {}, i + 1, sweeps, leftOut);
  }
  if (data.points.empty()) throw OperationError("Zahner .ism 文件中没有频率为正数的测量点");
  leftOut.Note(data);
}

// PalmSens .pssession: JSON in UTF-16 (little-endian, mostly with a byte-order mark, sometimes a
// stray character after the closing brace). "Measurements": each with "Title" and a "DataSet" whose
// "Type" names EIS; its "Values" are arrays with a "Unit" ("Type" naming Hertz, ZRe or ZIm) and
// "DataValues" [{"V": …}, …]. ZIm is −Z″. Each impedance measurement is a sweep.
bool IsPsSession(std::string_view bytes) {
  std::string_view head = bytes.substr(0, 64);
  if (head.starts_with("\xFF\xFE")) head.remove_prefix(2);
  return head.starts_with(std::string_view("{\0", 2)) && bytes.find(std::string_view("M\0e\0a\0s\0u\0r\0e\0m\0e\0n\0t\0s\0", 24)) != std::string_view::npos;
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t u = LittleEndian<std::uint16_t>(bytes, i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = LittleEndian<std::uint16_t>(bytes, i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (u >> 18));
      out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// The session read as a stream of JSON events (no document is built): the values of one data array
// at a time are held, and the three of an impedance measurement until it ends.
class PsSessionEvents : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit PsSessionEvents(MeasuredData& data) : m_data(data), m_sweeps(data) {}

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t v) override { return Number(static_cast<double>(v)); }
  bool number_unsigned(number_unsigned_t v) override { return Number(static_cast<double>(v)); }
  bool number_float(number_float_t v, const string_t&) override { return Number(v); }
  bool binary(binary_t&) override { return true; }
  bool string(string_t& value) override {
    if (At(0) && (m_key == "Title" || m_key == "TimeStamp")) {
      (m_key == "Title" ? m_title : m_time) = value;
    } else if (At(1) && m_path.back() == "DataSet" && m_key == "Type") {
      m_impedanceSet = value.find("EIS") != std::string::npos;
    } else if (At(4) && m_path.back() == "Unit" && m_key == "Type") {
      m_unit = value;
    } else if (At(5) && m_path[6] == "DataValues" && m_key == "V") {
      throw OperationError("PalmSens .pssession 文件的数据点不是数字：" + TextOfFile(value));
    }
    return true;
  }
  bool key(string_t& key) override {
    m_key = key;
    return true;
  }
  bool start_object(std::size_t) override { return Open(false); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_array() override { return Close(); }
  bool end_object() override {
    if (At(3) && m_path[4] == "Values") EndArrayObject();
    if (At(0)) EndMeasurement();
    return Close();
  }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) override {
    throw OperationError("PalmSens .pssession 文件不是有效的 JSON（第 " + std::to_string(position) + " 个字符处）");
  }

  void Finish() {
    if (m_impedance == 0) throw OperationError("PalmSens .pssession 文件中没有阻抗谱测量（DataSet 的频率、ZRe、ZIm）");
    if (m_data.points.empty()) throw OperationError("PalmSens .pssession 文件中没有频率为正数的测量点");
    m_leftOut.Note(m_data);
  }

 private:
  // Containers from the root: "" the root, then the key of each or "[]" for an array's element.
  // A measurement is the object at {"", "Measurements", "[]"}; At(depth): the innermost container
  // is `depth` levels below a measurement.
  bool At(std::size_t depth) const {
    return m_path.size() == 3 + depth && m_path[1] == "Measurements" && m_path[2] == "[]";
  }
  bool Open(bool array) {
    m_path.push_back(m_path.empty() ? "" : m_inArray.back() ? "[]" : m_key);
    m_inArray.push_back(array);
    m_key.clear();
    return true;
  }
  bool Close() {
    m_path.pop_back();
    m_inArray.pop_back();
    return true;
  }
  bool Number(double v) {
    if (At(5) && m_path[6] == "DataValues" && m_key == "V") m_values.push_back(v);
    return true;
  }
  void EndArrayObject() {
    const int slot = m_unit.find("Hertz") != std::string::npos ? 0 : m_unit.find("ZRe") != std::string::npos ? 1
                     : m_unit.find("ZIm") != std::string::npos ? 2 : -1;
    if (slot >= 0 && m_arrays[slot].empty()) m_arrays[slot] = std::move(m_values);
    m_values.clear();
    m_unit.clear();
  }
  void EndMeasurement() {
    if (m_impedanceSet && !m_arrays[0].empty() && !m_arrays[1].empty() && !m_arrays[2].empty()) {
      if (m_arrays[0].size() != m_arrays[1].size() || m_arrays[0].size() != m_arrays[2].size()) {
        throw OperationError("PalmSens .pssession 文件中测量 " + TextOfFile(m_title) + " 的频率、ZRe、ZIm 点数不一");
      }
      if (++m_impedance == 1) {
        AddFact(m_data, "Title", m_title);
        AddFact(m_data, "Date", m_time);
      }
      for (std::size_t i = 0; i < m_arrays[0].size(); ++i) {
        AddPoint({m_arrays[0][i], m_arrays[1][i], -m_arrays[2][i]}, {static_cast<double>(m_impedance)}, i + 1, m_sweeps,
                 m_leftOut);
      }
    }
    for (auto& array : m_arrays) array.clear();
    m_title.clear();
    m_time.clear();
    m_impedanceSet = false;
  }

  MeasuredData& m_data;
  Sweeps m_sweeps;
  LeftOut m_leftOut;
  std::vector<std::string> m_path;
  std::vector<bool> m_inArray;
  std::string m_key, m_title, m_time, m_unit;
  bool m_impedanceSet = false;
  std::vector<double> m_values;
  std::array<std::vector<double>, 3> m_arrays;  // Hertz, ZRe, ZIm
  std::size_t m_impedance = 0;
};

void ReadPsSession(std::string_view bytes, MeasuredData& data) {
  if (bytes.starts_with("\xFF\xFE")) bytes.remove_prefix(2);
  const std::string text = Utf16LeToUtf8(bytes);
  const std::size_t end = text.rfind('}');
  PsSessionEvents events(data);
  nlohmann::json::sax_parse(std::string_view(text).substr(0, end == std::string::npos ? 0 : end + 1), &events);
  events.Finish();
}

// ---- The table of readers: the first whose test recognises the file reads it. ----

struct Reader {
  const char* format;
  bool text;  // a text file: refused first if it holds zero bytes
  bool (*recognises)(std::string_view bytes);
  void (*read)(std::string_view bytes, MeasuredData& data);
};

bool Always(std::string_view) { return true; }

constexpr Reader kReaders[] = {
    {"EC-Lab", false, IsMpr, ReadMpr},
    {"PalmSens", false, IsPsSession, ReadPsSession},
    {"Zahner", false, IsIsm, ReadIsm},
    {"Ivium", false, IsIvium, ReadIvium},
    {"EC-Lab", true, IsEcLab, ReadEcLab},
    {"BT-Lab", true, IsBtLab, ReadEcLab},
    {"Gamry", true, IsGamry, ReadGamry},
    {"ZPlot", true, IsZPlot, ReadZPlot},
    {"Autolab", true, IsZ60W, ReadZPlot},
    {"NOVA", true, IsNova, ReadDelimited},
    {"VersaStudio", true, IsVersaStudio, ReadVersaStudio},
    {"CH Instruments", true, IsChi, ReadDelimited},
    {"表格文本", true, Always, ReadDelimited},
};

}  // namespace

std::string FindMeasuredDataFile(const std::string& source) {
  if (source.empty()) return {};
  const PathParts parts = SplitPath(source);
  if (parts.fname.empty()) return {};
  for (const char* extension : kMeasuredDataExtensions) {
    const std::string candidate = parts.drive + parts.dir + parts.fname + extension;
    if (candidate != source && ThePlatform().Exists(candidate)) return candidate;
  }
  return {};
}

MeasuredData ParseMeasuredData(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (bytes.empty()) throw OperationError("文件是空的");
  if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) throw OperationError("文件中只有空白与换行");
  bool checkedText = false;
  for (const Reader& reader : kReaders) {
    if (reader.text && !checkedText) {
      if (bytes.find('\0') != std::string_view::npos) throw OperationError("不是文本文件（含有零字节）");
      checkedText = true;
    }
    if (!reader.recognises(bytes)) continue;
    MeasuredData data;
    data.format = reader.format;
    reader.read(bytes, data);
    return data;
  }
  throw OperationError("文件的格式无法识别");
}

MeasuredData ReadMeasuredData(const std::string& path) {
  MeasuredData data;
  try {
    UseDataFileBytes(path, kMaxDataFileBytes, [&](std::string_view bytes) { data = ParseMeasuredData(bytes); });
  } catch (const std::bad_alloc&) {
    throw OperationError("内存不足，无法读取文件");
  } catch (const OperationError&) {
    throw;
  } catch (const std::exception& e) {
    // An unreadable data file never stops the report: whatever failed is this file's failure.
    throw OperationError(std::string("无法读取文件（") + e.what() + "）");
  }
  data.file = path;
  return data;
}

MeasuredInput LoadMeasuredInput(const std::string& named, const std::string& source) {
  MeasuredInput input;
  input.file = named.empty() ? FindMeasuredDataFile(source) : named;
  if (input.file.empty()) return input;
  try {
    input.data = ReadMeasuredData(input.file);
  } catch (const OperationError& e) {
    input.failure = e.what();
  }
  return input;
}

std::string SweepText(const MeasuredData& data) { return "第 1 次扫描，共 " + std::to_string(data.sweeps) + " 次"; }
