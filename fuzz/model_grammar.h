// An independent, in-memory reading of the model file grammar, used by the fuzzers as the oracle
// that the program's reader and import are compared with. It works on the bytes themselves (no
// file, no per-line reopen) and is kept deliberately literal: lines end at a carriage return, the
// byte after it is skipped (at a line feed alone when the window holds no carriage return), and only
// the first 10,000 bytes exist.
#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fuzzref {

inline constexpr std::size_t kLimit = 10000;

struct Walk {
  bool foundElement = false;                               // a line with "Element" was found
  std::vector<std::pair<std::string, std::string>> pairs;  // (column, value) in order
  std::size_t endPos = 0;                                  // where the next line would begin
  bool cut = false;  // a name or value line ran into the end of the window of a longer file
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
  bool AtEnd() const { return m_pos >= m_data.size(); }
  std::size_t Pos() const { return m_pos; }
  std::size_t Size() const { return m_data.size(); }

 private:
  std::string m_data;
  std::size_t m_pos = 0;
  bool m_longer = false;
  bool m_cut = false;
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
      return walk;
    }
    current = lines.Next();
  }
  walk.foundElement = true;
  auto keyed = [&](const char* keyword) {
    const auto text = After(lines.Next(), keyword);
    walk.cut = walk.cut || lines.Cut();
    return text;
  };
  while (!walk.cut && Has(current, "Element")) {
    if (Has(current, "Type:")) {
      std::size_t at = current.find("Type:") + 5;
      while (at < current.size() && current[at] == ' ') ++at;
      const std::string code = current.substr(at);
      if (code == "3" || code == "1") {
        const auto name = keyed("Name:");
        lines.Next();
        const auto value = keyed("Value:");
        lines.Next();
        if (name && value && !walk.cut) walk.pairs.emplace_back(*name, *value);
      } else if (code == "-1" || code == "-2") {
        lines.Next();
      } else if (code == "11") {
        const auto name = keyed("Name:");
        lines.Next();
        const auto t = keyed("Value:");
        lines.Next();
        lines.Next();
        const auto p = keyed("Value:");
        lines.Next();
        if (name && t && p && !walk.cut) {
          walk.pairs.emplace_back(*name + "-T", *t);
          walk.pairs.emplace_back(*name + "-P", *p);
        }
      }
    }
    current = lines.Next();
  }
  walk.endPos = lines.Pos();
  return walk;
}

}  // namespace fuzzref
