// The model file reader: lines by carriage return (by line feed in a window without one), and the
// element blocks of a model file.
#include "model/model_reader.h"

#include <cstring>

#include "app/afx.h"

std::size_t g_nModelReadPos = 0;

namespace {

// One line, whether the data ended with it (from then on every line is empty), and whether it ran
// into the end of the window of a file that goes on past it: then it is not the whole line.
struct ModelLine {
  std::string text;
  bool atEnd;
  bool cut;
};

ModelLine ReadNextLine(const std::string& path) {
  std::string data;
  int cause = FileException::none;
  // One byte more than the window, only to learn whether the file goes on past it.
  if (!ReadModelFileHead(path, kModelReadLimit + 1, &data, &cause)) {
    AfxMessageBox(Format("error:%u\n", static_cast<unsigned>(cause)));
    // The read from the file that did not open fails; that ends the running command.
    throw FileException(cause, path);
  }
  const bool longer = data.size() > kModelReadLimit;
  if (longer) data.resize(kModelReadLimit);

  const std::size_t n = data.size();
  ModelLine line{{}, false, false};
  std::size_t p = g_nModelReadPos;
  if (p < n) {
    const void* found = std::memchr(data.data() + p, '\r', n - p);
    // A window without any carriage return has its lines end at line feeds (a file whose line ends
    // were converted); a line feed ends a line by itself.
    std::size_t skip = 2;
    if (found == nullptr && std::memchr(data.data(), '\r', p) == nullptr) {
      found = std::memchr(data.data() + p, '\n', n - p);
      skip = 1;
    }
    if (found != nullptr) {
      const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(found) - data.data());
      line.text.assign(data, p, end - p);
      // Past a carriage return and one more byte, whatever it is; past a line feed alone.
      g_nModelReadPos = end + skip;
    } else {
      line.text.assign(data, p, n - p);
      g_nModelReadPos = n;
      line.cut = longer;
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
                   const std::function<void(const std::string& column, const std::string& value)>& onValue,
                   bool* cutLine) {
  if (cutLine != nullptr) *cutLine = false;
  // A name or value line of a block; one that is not whole ends the walk with nothing more yielded.
  bool cut = false;
  auto keyed = [&](const char* keyword, std::string* text) {
    const ModelLine line = ReadNextLine(path);
    cut = cut || line.cut;
    return TextAfterKeyword(line.text, keyword, text);
  };

  // Find the first header. The search ends with the data: past it every line is empty.
  ModelLine current = ReadNextLine(path);
  while (!Contains(current.text, "Element")) {
    if (current.atEnd) return false;
    current = ReadNextLine(path);
  }

  while (!cut && Contains(current.text, "Element")) {
    if (Contains(current.text, "Type:")) {
      const std::string code = TypeCode(current.text);
      if (code == "3" || code == "1") {
        std::string name, value;
        const bool hasName = keyed("Name:", &name);
        ReadModelLine(path);
        const bool hasValue = keyed("Value:", &value);
        ReadModelLine(path);
        if (hasName && hasValue && !cut) onValue(name, value);
      } else if (code == "-1") {
        ReadModelLine(path);
      } else if (code == "11") {
        std::string name, t, p;
        const bool hasName = keyed("Name:", &name);
        ReadModelLine(path);
        const bool hasT = keyed("Value:", &t);
        ReadModelLine(path);
        ReadModelLine(path);
        const bool hasP = keyed("Value:", &p);
        ReadModelLine(path);
        if (hasName && hasT && hasP && !cut) {
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
  if (cutLine != nullptr) *cutLine = cut;
  return true;
}
