#include "report/measured_data.h"

#include <charconv>
#include <cmath>
#include <complex>
#include <fstream>
#include <limits>
#include <numbers>
#include <system_error>

#include "app/afx.h"
#include "app/platform.h"
#include "report/spectrum.h"

namespace {

// A data file larger than this is not an impedance spectrum of any instrument.
constexpr std::size_t kMaxDataFileBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxFacts = 8;
constexpr std::size_t kMaxFactBytes = 200;
// How far into a file of an unknown layout its column-name line is looked for.
constexpr std::size_t kHeaderSearchLines = 400;

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

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

// Lines ended by CR LF, LF or CR alone; the ends are not part of the lines.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
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

struct Columns {
  std::array<std::size_t, kRoles> index;
  std::array<bool, kRoles> negated{};
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
      {"zimag", kImaginary},  {"im(z)", kImaginary},  {"imag", kImaginary},     {"imaginary", kImaginary},
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
// its modulus and phase.
std::optional<Columns> ReadColumns(const std::vector<std::string_view>& names) {
  Columns columns;
  columns.index.fill(kNone);
  for (std::size_t i = 0; i < names.size(); ++i) {
    bool negated = false;
    const std::string name = FoldName(names[i], negated);
    if (name == "cyclenumber" || name == "cycle" || name == "loop" || name == "ns" || name == "sequence") {
      if (columns.loops.size() < kMaxLoopColumns) columns.loops.push_back(i);
      continue;
    }
    const std::size_t role = RoleOf(name);
    if (role == kNone || columns.index[role] != kNone) continue;
    columns.index[role] = i;
    columns.negated[role] = negated;
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
    if (columns.index[role] != kNone) columns.needed = std::max(columns.needed, columns.index[role] + 1);
  }
  for (std::size_t loop : columns.loops) columns.needed = std::max(columns.needed, loop + 1);
  return columns;
}

// Where a format's table stands in its lines.
struct TableLayout {
  std::size_t nameLine = 0;  // the column names; the rows follow
  Separator separator = Separator::kTab;
  bool leadingTab = false;        // every row starts with a tab (Gamry)
  std::size_t maxRows = kNone;    // the file's own point count
};

struct Row {
  MeasuredPoint point;
  std::array<double, kMaxLoopColumns> loops{};
};

// The rows of a table: before the first number row, lines that are not number rows (a units line,
// "End Comments", a blank line) are passed over; after it, the first line that is not one ends the
// table. Rows whose frequency is not a positive finite number, or whose Z is not finite, are left out.
std::vector<Row> ReadRows(const std::vector<std::string_view>& lines, const TableLayout& layout, const Columns& columns) {
  const bool decimalComma = layout.separator != Separator::kComma;
  std::vector<Row> rows;
  std::vector<std::string_view> fields;
  bool started = false;
  std::size_t read = 0;
  for (std::size_t i = layout.nameLine + 1; i < lines.size() && read < layout.maxRows; ++i) {
    std::string_view line = lines[i];
    if (Trim(line).empty()) continue;
    bool numbers = !layout.leadingTab || line.starts_with('\t');
    if (layout.leadingTab && numbers) line.remove_prefix(1);
    std::array<double, kRoles> values{};
    Row row;
    if (numbers) {
      SplitFields(line, layout.separator, fields, columns.needed);
      numbers = fields.size() >= columns.needed;
      for (std::size_t role = 0; numbers && role < kRoles; ++role) {
        if (columns.index[role] == kNone) continue;
        numbers = ParseNumber(fields[columns.index[role]], decimalComma, values[role]);
        if (columns.negated[role]) values[role] = -values[role];
      }
      for (std::size_t k = 0; numbers && k < columns.loops.size(); ++k) {
        double loop = 0;
        numbers = ParseNumber(fields[columns.loops[k]], decimalComma, loop);
        row.loops[k] = loop;
      }
    }
    if (!numbers) {
      if (started) break;
      continue;
    }
    started = true;
    ++read;
    row.point.frequency = values[kFrequency];
    if (columns.polar) {
      const double phase = values[kPhase] * (std::numbers::pi / 180.0);
      row.point.real = values[kModulus] * std::cos(phase);
      row.point.imaginary = values[kModulus] * std::sin(phase);
    } else {
      row.point.real = values[kReal];
      row.point.imaginary = values[kImaginary];
    }
    const MeasuredPoint& p = row.point;
    if (!(p.frequency > 0) || !std::isfinite(p.frequency) || !std::isfinite(p.real) || !std::isfinite(p.imaginary)) continue;
    rows.push_back(std::move(row));
  }
  return rows;
}

// The first sweep: a new one begins where a loop or sequence number changes or where the frequency
// stops falling or rising.
void TakeFirstSweep(std::vector<Row>& rows, MeasuredData& data) {
  if (rows.empty()) throw OperationError("数据表中没有频率为正数的测量点");
  data.sweeps = 1;
  std::size_t firstEnd = kNone;
  std::size_t sweepStart = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const double previous = rows[i - 1].point.frequency, f = rows[i].point.frequency;
    bool split = rows[i].loops != rows[i - 1].loops || f == previous;
    if (!split && i - sweepStart >= 2) {
      const bool falling = rows[sweepStart + 1].point.frequency < rows[sweepStart].point.frequency;
      split = falling ? f > previous : f < previous;
    }
    if (!split) continue;
    if (firstEnd == kNone) firstEnd = i;
    ++data.sweeps;
    sweepStart = i;
  }
  if (firstEnd == kNone) firstEnd = rows.size();
  data.points.reserve(firstEnd);
  for (std::size_t i = 0; i < firstEnd; ++i) data.points.push_back(rows[i].point);
}

void ReadTable(const std::vector<std::string_view>& lines, const TableLayout& layout, MeasuredData& data) {
  std::string_view nameLine = lines[layout.nameLine];
  if (layout.leadingTab && nameLine.starts_with('\t')) nameLine.remove_prefix(1);
  std::vector<std::string_view> names;
  SplitFields(nameLine, layout.separator, names);
  const std::optional<Columns> columns = ReadColumns(names);
  if (!columns) throw OperationError("数据表的列名中没有频率与阻抗（Z′ 与 Z″，或 |Z| 与相位）");
  std::vector<Row> rows = ReadRows(lines, layout, *columns);
  TakeFirstSweep(rows, data);
}

// The first line within the search range that names the columns of an impedance table.
std::size_t FindNameLine(const std::vector<std::string_view>& lines, std::size_t from, Separator* separator) {
  std::vector<std::string_view> fields;
  for (std::size_t i = from; i < lines.size() && i < from + kHeaderSearchLines; ++i) {
    const Separator candidate = SeparatorOf(lines[i]);
    SplitFields(lines[i], candidate, fields);
    if (ReadColumns(fields)) {
      *separator = candidate;
      return i;
    }
  }
  return kNone;
}

// EC-Lab / BT-Lab text export: "Nb header lines : N" on line 2; the column names on line N.
void ReadEcLab(const std::vector<std::string_view>& lines, MeasuredData& data) {
  data.format = StartsWithNoCase(lines[0], "BT-Lab") ? "BT-Lab" : "EC-Lab";
  std::size_t headerLines = 0;
  if (lines.size() > 1 && StartsWithNoCase(lines[1], "Nb header lines")) {
    const std::string_view count = Trim(lines[1].substr(lines[1].find(':') == std::string_view::npos
                                                            ? lines[1].size()
                                                            : lines[1].find(':') + 1));
    std::from_chars(count.data(), count.data() + count.size(), headerLines);
  }
  if (headerLines < 3 || headerLines > lines.size()) throw OperationError("EC-Lab 文件的 \"Nb header lines\" 不是有效的行数");
  for (std::size_t i = 2; i + 1 < headerLines; ++i) AddFactLine(data, lines[i]);
  ReadTable(lines, {headerLines - 1, Separator::kTab}, data);
}

// Gamry: "KEY<TAB>TYPE<TAB>VALUE…" header lines, then the table after "ZCURVE<TAB>TABLE".
void ReadGamry(const std::vector<std::string_view>& lines, MeasuredData& data) {
  data.format = "Gamry";
  std::vector<std::string_view> fields;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    SplitFields(lines[i], Separator::kTab, fields);
    if (fields.size() >= 2 && fields[0] == "ZCURVE" && fields[1] == "TABLE") {
      if (i + 1 >= lines.size()) break;
      ReadTable(lines, {i + 1, Separator::kTab, true}, data);
      return;
    }
    if (i == 1 && fields.size() >= 2 && fields[0] == "TAG" && fields[1] != "EISPOT" && fields[1] != "EISGALV") {
      throw OperationError("Gamry 文件的测量方法 " + TextOfFile(fields[1]) + " 不是阻抗谱（EISPOT 或 EISGALV）");
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

// The .z text format: "ZPLOT2 ASCII" with "Key: value" header lines, or the older quoted layout of
// "ZPlotW Data File", whose point count stands on the line before the column names.
void ReadZPlot(const std::vector<std::string_view>& lines, MeasuredData& data) {
  data.format = "ZPlot";
  TableLayout layout;
  layout.nameLine = FindNameLine(lines, 1, &layout.separator);
  if (layout.nameLine == kNone) throw OperationError("ZPlot 文件中没有 Freq(Hz)、Z'(a)、Z''(b) 列");
  for (std::size_t i = 1; i < layout.nameLine; ++i) AddFactLine(data, lines[i]);
  std::size_t count = 0;
  if (layout.nameLine > 1) {
    const std::string_view text = Unquote(lines[layout.nameLine - 1]);
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), count);
    if (result.ec == std::errc() && result.ptr == text.data() + text.size() && count > 0) layout.maxRows = count;
  }
  ReadTable(lines, layout, data);
}

// CH Instruments: the date on line 1, "A.C. Impedance", "Key = value" lines, the column names.
// A delimited text table: its first line that names the columns.
void ReadDelimited(const std::vector<std::string_view>& lines, MeasuredData& data, bool chi) {
  data.format = chi ? "CH Instruments" : "表格文本";
  TableLayout layout;
  layout.nameLine = FindNameLine(lines, 0, &layout.separator);
  if (layout.nameLine == kNone) {
    throw OperationError("未找到数据表的列名行（频率与 Z′、Z″，或 |Z| 与相位）");
  }
  if (chi) AddFact(data, "Date", lines[0]);
  for (std::size_t i = chi ? 1 : 0; i < layout.nameLine; ++i) AddFactLine(data, lines[i]);
  ReadTable(lines, layout, data);
}

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
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty()) throw OperationError("文件是空的");
  if (bytes.find('\0') != std::string_view::npos) throw OperationError("不是文本文件（含有零字节）");
  MeasuredData data;
  const std::string_view first = Trim(lines[0]);
  if (StartsWithNoCase(first, "EC-Lab ASCII FILE") || StartsWithNoCase(first, "BT-Lab ASCII FILE")) {
    ReadEcLab(lines, data);
  } else if (first == "EXPLAIN") {
    ReadGamry(lines, data);
  } else if (StartsWithNoCase(first, "ZPLOT2 ASCII") || StartsWithNoCase(Unquote(first), "ZPlotW Data File")) {
    ReadZPlot(lines, data);
  } else {
    bool chi = false;
    for (std::size_t i = 1; i < lines.size() && i < 4; ++i) chi = chi || Trim(lines[i]) == "A.C. Impedance";
    ReadDelimited(lines, data, chi);
  }
  return data;
}

MeasuredData ReadMeasuredData(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw OperationError("无法打开文件");
  std::string bytes;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kMaxDataFileBytes) throw OperationError("文件大于 256 MB，不是阻抗谱数据");
    if (!in) break;
  }
  if (in.bad() || (!in.eof() && in.fail())) throw OperationError("无法读取文件");
  MeasuredData data = ParseMeasuredData(bytes);
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

MeasuredFit FitMeasuredData(const MeasuredData& data, const ParameterSet& parameters) {
  const CircuitValues circuit = ReadCircuitValues(parameters);
  const auto finite = [](double v) { return std::isfinite(v) ? std::optional<double>(v) : std::nullopt; };
  MeasuredFit fit;
  fit.rows.reserve(data.points.size());
  double sum = 0;
  bool complete = !data.points.empty();
  fit.minFrequency = std::numeric_limits<double>::infinity();
  fit.maxFrequency = 0;
  for (const MeasuredPoint& point : data.points) {
    const std::complex<double> model = CircuitImpedance(circuit, point.frequency);
    const double dr = point.real - model.real(), di = point.imaginary - model.imag();
    const double modulus = std::hypot(point.real, point.imaginary);
    MeasuredRow& row = fit.rows.emplace_back();
    row[kMeasuredFrequency] = point.frequency;
    row[kMeasuredReal] = point.real;
    row[kMeasuredImaginary] = point.imaginary;
    row[kModelReal] = finite(model.real());
    row[kModelImaginary] = finite(model.imag());
    if (modulus > 0) {
      row[kResidualReal] = finite(100.0 * dr / modulus);
      row[kResidualImaginary] = finite(100.0 * di / modulus);
    }
    const double term = (dr * dr + di * di) / std::norm(model);
    complete = complete && std::isfinite(term);
    sum += term;
    fit.minFrequency = std::min(fit.minFrequency, point.frequency);
    fit.maxFrequency = std::max(fit.maxFrequency, point.frequency);
  }
  if (complete) fit.chiSquare = sum / static_cast<double>(data.points.size());
  if (data.points.empty()) fit.minFrequency = 0;
  return fit;
}

std::string SweepText(const MeasuredData& data) { return "第 1 次扫描，共 " + std::to_string(data.sweeps) + " 次"; }
