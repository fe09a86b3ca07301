// An independent, in-memory reading of the model file grammar, used by the fuzzers as the oracle
// that the program's reader and import are compared with. It works on the bytes themselves (no
// file, no per-line reopen) and is kept deliberately literal: lines end at a carriage return, the
// byte after it is skipped (at a line feed alone when the window holds no carriage return), and only
// the first 10,000 bytes exist. Whether a value is a number is the readers' own rule (TextIsNumber),
// which its unit tests check.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/report.h"

namespace fuzzref {

inline constexpr std::size_t kLimit = 10000;

struct Walk {
  std::vector<std::pair<std::string, std::string>> pairs;  // (column, value) in order
  std::size_t endPos = 0;                                  // where the next line would begin
  // 0 whole; 1 no element; 2 a block's line missing; 3 the same in the window of a longer file, or a
  // name or value line that runs into its end; 5 a value that is no number. The walk stops there.
  int fault = 0;
};

class Lines {
 public:
  explicit Lines(std::string data) : m_data(std::move(data)) {
    m_longer = m_data.size() > kLimit;
    if (m_longer) m_data.resize(kLimit);
    m_end = m_data.find('\r') == std::string::npos ? '\n' : '\r';
  }
  std::string Next() {
    std::string line;
    std::size_t p = m_pos;
    m_cut = false;
    m_missing = m_pos >= m_data.size();
    while (p < m_data.size()) {
      if (m_data[p] == m_end) {
        m_pos = p + (m_end == '\r' ? 2 : 1);
        return line;
      }
      line += m_data[p];
      ++p;
      m_pos = p;
      m_cut = m_longer && p == m_data.size();
    }
    return line;
  }
  // Whether the last line ran into the end of the window of a longer file.
  bool Cut() const { return m_cut; }
  bool Missing() const { return m_missing; }  // the last line started at or past the end of the data
  bool Longer() const { return m_longer; }
  bool AtEnd() const { return m_pos >= m_data.size(); }
  std::size_t Pos() const { return m_pos; }
  std::size_t Size() const { return m_data.size(); }

 private:
  std::string m_data;
  std::size_t m_pos = 0;
  bool m_longer = false;
  bool m_cut = false;
  bool m_missing = false;
  char m_end = '\r';
};

inline bool Has(const std::string& s, const char* w) { return s.find(w) != std::string::npos; }

inline bool IsWhite(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The text after the first keyword, white space removed at both ends; nullopt without the keyword.
inline std::optional<std::string> After(const std::string& line, const char* keyword) {
  const std::size_t at = line.find(keyword);
  if (at == std::string::npos) return std::nullopt;
  std::size_t b = at + std::strlen(keyword);
  std::size_t e = line.size();
  while (b < e && IsWhite(line[b])) ++b;
  while (e > b && IsWhite(line[e - 1])) --e;
  return line.substr(b, e - b);
}

inline Walk WalkBytes(const std::string& bytes) {
  Walk walk;
  Lines lines(bytes);
  std::string current = lines.Next();
  while (!Has(current, "Element")) {
    if (lines.AtEnd()) {
      walk.endPos = lines.Pos();
      walk.fault = 1;
      return walk;
    }
    current = lines.Next();
  }
  // A line of the block; past a missing one no line moves the position any more.
  auto next = [&](bool keyed = false) {
    std::string text = lines.Next();
    if (walk.fault == 0 && (lines.Missing() || (keyed && lines.Cut()))) walk.fault = lines.Longer() ? 3 : 2;
    return text;
  };
  auto keyed = [&](const char* keyword) { return After(next(true), keyword); };
  auto number = [&](const std::string& v) {
    if (walk.fault == 0 && !TextIsNumber(v)) walk.fault = 5;
    return walk.fault == 0;
  };
  while (walk.fault == 0 && Has(current, "Element")) {
    if (Has(current, "Type:")) {
      std::size_t at = current.find("Type:") + 5;
      while (at < current.size() && current[at] == ' ') ++at;
      const std::string code = current.substr(at);
      if (code == "3" || code == "1") {
        const auto name = keyed("Name:");
        next();
        const auto value = keyed("Value:");
        next();
        if (name && value && walk.fault == 0 && number(*value)) walk.pairs.emplace_back(*name, *value);
      } else if (code == "-1" || code == "-2") {
        next();
      } else if (code == "11") {
        const auto name = keyed("Name:");
        next();
        const auto t = keyed("Value:");
        next();
        next();
        const auto p = keyed("Value:");
        next();
        if (name && t && p && walk.fault == 0 && number(*t) && number(*p)) {
          walk.pairs.emplace_back(*name + "-T", *t);
          walk.pairs.emplace_back(*name + "-P", *p);
        }
      }
    }
    if (walk.fault != 0) break;
    current = lines.Next();
  }
  walk.endPos = lines.Pos();
  return walk;
}

}  // namespace fuzzref
