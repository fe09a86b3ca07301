// The model file reader: lines by carriage return, and the element blocks of a model file.
#include "model/model_reader.h"

#include <cstring>

#include "app/afx.h"

std::size_t g_nModelReadPos = 0;

namespace {

// One line and whether the data ended with it: from then on every line is empty.
struct ModelLine {
  std::string text;
  bool atEnd;
};

ModelLine ReadNextLine(const std::string& path) {
  std::string data;
  int cause = FileException::none;
  if (!ReadModelFileHead(path, kModelReadLimit, &data, &cause)) {
    AfxMessageBox(Format("error:%u\n", static_cast<unsigned>(cause)));
    // The read from the file that did not open fails; that ends the running command.
    throw FileException(cause, path);
  }

  const std::size_t n = data.size();
  ModelLine line{{}, false};
  std::size_t p = g_nModelReadPos;
  if (p < n) {
    const void* found = std::memchr(data.data() + p, '\r', n - p);
    if (found != nullptr) {
      const std::size_t cr = static_cast<std::size_t>(static_cast<const char*>(found) - data.data());
      line.text.assign(data, p, cr - p);
      // Past the carriage return and one more byte, whatever it is.
      g_nModelReadPos = cr + 2;
    } else {
      line.text.assign(data, p, n - p);
      g_nModelReadPos = n;
    }
  }
  line.atEnd = g_nModelReadPos >= n;
  return line;
}

bool Contains(const std::string& line, const char* word) { return line.find(word) != std::string::npos; }

constexpr const char* kWhiteSpace = " \t\r\n\v\f";

// The text after the first keyword, trimmed of white space at both ends. A line without its keyword
// gives nothing: the block it belongs to then yields no value (the text at the keyword's place would
// be an arbitrary piece of the line, and a name taken that way never matches a column anyway).
bool TextAfterKeyword(const std::string& line, const char* keyword, std::string* text) {
  const std::size_t at = line.find(keyword);
  if (at == std::string::npos) return false;
  const std::size_t from = line.find_first_not_of(kWhiteSpace, at + std::strlen(keyword));
  if (from == std::string::npos) {
    text->clear();
    return true;
  }
  const std::size_t last = line.find_last_not_of(kWhiteSpace);
  text->assign(line, from, last - from + 1);
  return true;
}

// The type code: the rest of the header after the first "Type:" and the spaces that follow it.
// Not trimmed at its end.
std::string TypeCode(const std::string& header) {
  std::size_t at = header.find("Type:") + std::strlen("Type:");
  while (at < header.size() && header[at] == ' ') ++at;
  return header.substr(at);
}

}  // namespace

std::string ReadModelLine(const std::string& path) { return ReadNextLine(path).text; }

bool WalkModelFile(const std::string& path,
                   const std::function<void(const std::string& column, const std::string& value)>& onValue) {
  // Find the first header. The search ends with the data: past it every line is empty.
  ModelLine current = ReadNextLine(path);
  while (!Contains(current.text, "Element")) {
    if (current.atEnd) return false;
    current = ReadNextLine(path);
  }

  while (Contains(current.text, "Element")) {
    if (Contains(current.text, "Type:")) {
      const std::string code = TypeCode(current.text);
      if (code == "3" || code == "1") {
        std::string name, value;
        const bool hasName = TextAfterKeyword(ReadModelLine(path), "Name:", &name);
        ReadModelLine(path);
        const bool hasValue = TextAfterKeyword(ReadModelLine(path), "Value:", &value);
        ReadModelLine(path);
        if (hasName && hasValue) onValue(name, value);
      } else if (code == "-1") {
        ReadModelLine(path);
      } else if (code == "11") {
        std::string name, t, p;
        const bool hasName = TextAfterKeyword(ReadModelLine(path), "Name:", &name);
        ReadModelLine(path);
        const bool hasT = TextAfterKeyword(ReadModelLine(path), "Value:", &t);
        ReadModelLine(path);
        ReadModelLine(path);
        const bool hasP = TextAfterKeyword(ReadModelLine(path), "Value:", &p);
        ReadModelLine(path);
        if (hasName && hasT && hasP) {
          // The column names "%s-T" and "%s-P" of the element name.
          onValue(name + "-T", t);
          onValue(name + "-P", p);
        }
      } else if (code == "-2") {
        ReadModelLine(path);
      }
      // Any other code: the header stands alone.
    }
    current.text = ReadModelLine(path);
  }
  return true;
}
