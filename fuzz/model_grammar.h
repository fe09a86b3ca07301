// An independent, in-memory reading of the model file grammar, used by the fuzzers as the oracle
// that the program's reader and import are compared with. It works on the bytes themselves (no
// file, no per-line reopen) and is kept deliberately literal: lines end at a carriage return, the
// byte after it is skipped (at a line feed alone when the window holds no carriage return), and only
// the first 10,000 bytes exist.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fuzzref {

inline constexpr std::size_t kLimit = 10000;

struct Walk {
  std::vector<std::pair<std::string, std::string>> pairs;  // (column, value) in order
  std::size_t endPos = 0;                                  // where the next line would begin
  // 0 whole; 1 no element; 2 a block's line missing; 3 the same, or a name or value line running
  // into the end, in the window of a longer file; 5 a value that is no number (the walk stops there)
  int fault = 0;
};

// A whole decimal number as the readers' atof reads it (exponent letter e, E, d or D), finite.
inline bool IsNumber(const std::string& s) {
  std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    return i - from;
  };
  std::size_t mantissa = digits();
  if (i < s.size() && s[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < s.size() && std::strchr("eEdD", s[i]) != nullptr) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  std::string c = s;
  for (char& ch : c) ch = (ch == 'd' || ch == 'D') ? 'e' : ch;
  return i == s.size() && std::isfinite(std::strtod(c.c_str(), nullptr));
}

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
  // Whether the last line started at or past the end of the data.
  bool Missing() const { return m_missing; }
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
  // A line of the block; the text after the keyword when one is given.
  auto need = [&](const char* keyword = nullptr) {
    const std::string line = lines.Next();
    if (walk.fault == 0 && (lines.Missing() || (keyword != nullptr && lines.Cut()))) walk.fault = lines.Longer() ? 3 : 2;
    return keyword != nullptr ? After(line, keyword) : std::nullopt;
  };
  auto number = [&](const std::optional<std::string>& v) {
    if (walk.fault == 0 && !IsNumber(*v)) walk.fault = 5;
    return walk.fault == 0;
  };
  while (walk.fault == 0 && Has(current, "Element")) {
    if (Has(current, "Type:")) {
      std::size_t at = current.find("Type:") + 5;
      while (at < current.size() && current[at] == ' ') ++at;
      const std::string code = current.substr(at);
      if (code == "3" || code == "1") {
        const auto name = need("Name:");
        if (walk.fault == 0) need();
        const auto value = walk.fault == 0 ? need("Value:") : std::nullopt;
        if (walk.fault == 0) need();
        if (walk.fault != 0) break;
        if (name && value && number(value)) walk.pairs.emplace_back(*name, *value);
      } else if (code == "-1" || code == "-2") {
        need();
      } else if (code == "11") {
        const auto name = need("Name:");
        if (walk.fault == 0) need();
        const auto t = walk.fault == 0 ? need("Value:") : std::nullopt;
        if (walk.fault == 0) need();
        if (walk.fault == 0) need();
        const auto p = walk.fault == 0 ? need("Value:") : std::nullopt;
        if (walk.fault == 0) need();
        if (walk.fault != 0) break;
        if (name && t && p && number(t) && number(p)) {
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
