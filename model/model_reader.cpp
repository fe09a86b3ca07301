// The model file reader: lines by carriage return (by line feed in a window without one), and the
// element blocks of a model file.
#include "model/model_reader.h"

#include <cstring>
#include <optional>
#include <utility>

#include "base/afx.h"
#include "base/number_text.h"

std::size_t g_nModelReadPos = 0;

namespace {

// The bytes of one open: the window, and whether the file goes on past it.
struct ModelWindow {
  std::string data;
  bool longer = false;
};

ModelWindow ReadWindow(const std::string& path) {
  ModelWindow window;
  int cause = FileException::none;
  // One byte more than the window, only to learn whether the file goes on past it.
  // The read from a file that did not open fails; that ends the running command, which shows the
  // exception's notice "error:%u\n" and then its report.
  if (!ReadModelFileHead(path, kModelReadLimit + 1, &window.data, &cause)) throw FileException(cause, path);
  window.longer = window.data.size() > kModelReadLimit;
  if (window.longer) window.data.resize(kModelReadLimit);
  return window;
}

// One line, whether the data ended with it (from then on every line is empty), whether it ran
// into the end of the window of a file that goes on past it (then it is not the whole line), and
// whether it started at or past the end of the data (then the file has no such line at all).
struct ModelLine {
  std::string text;
  bool atEnd;
  bool cut;
  bool missing;
};

ModelLine NextLine(const std::string& data, bool longer) {
  const std::size_t n = data.size();
  ModelLine line{{}, false, false, g_nModelReadPos >= n};
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
std::optional<std::string> TextAfterKeyword(const std::string& line, const char* keyword) {
  const std::size_t at = line.find(keyword);
  if (at == std::string::npos) return std::nullopt;
  const std::size_t from = line.find_first_not_of(kWhiteSpace, at + std::strlen(keyword));
  if (from == std::string::npos) return std::string();
  const std::size_t last = line.find_last_not_of(kWhiteSpace);
  return line.substr(from, last - from + 1);
}

// The type code: the rest of the header after the first "Type:" and the spaces that follow it.
// Not trimmed at its end.
std::string TypeCode(const std::string& header) {
  std::size_t at = header.find("Type:") + std::strlen("Type:");
  while (at < header.size() && header[at] == ' ') ++at;
  return header.substr(at);
}

}  // namespace

std::string ReadModelLine(const std::string& path) {
  const ModelWindow window = ReadWindow(path);
  return NextLine(window.data, window.longer).text;
}

namespace {

// One walk over the file: every line through a reopen, each compared with the first one, and the
// first fault found, which ends the walk.
class ModelWalker {
 public:
  explicit ModelWalker(const std::string& path) : m_path(path) {}

  // Any line: the search for a header and the line after a block.
  ModelLine Line() {
    ModelWindow window = ReadWindow(m_path);
    if (!m_first) {
      m_longer = window.longer;
      m_first = std::move(window.data);
      return NextLine(*m_first, m_longer);
    }
    // A file saved again meanwhile would mix two versions in one row.
    if (window.data != *m_first || window.longer != m_longer) Fail(ModelFileFault::changed);
    return NextLine(window.data, window.longer);
  }

  // A line that the current block needs; false (with the fault) when the data has none.
  bool Needed() { return Needed(nullptr, nullptr); }
  // A name or value line: also its text after the keyword; text is nothing when the line lacks it.
  bool Needed(const char* keyword, std::optional<std::string>* text) {
    const ModelLine line = Line();
    if (Faulty()) return false;
    if (line.missing || (keyword != nullptr && line.cut)) {
      Fail(m_longer ? ModelFileFault::cutByWindow : ModelFileFault::cutShort);
      return false;
    }
    if (keyword != nullptr) *text = TextAfterKeyword(line.text, keyword);
    return true;
  }

  // A block's value is handed over only when it is a number.
  bool IsNumber(const std::string& column, const std::string& value) {
    if (TextIsNumber(value)) return true;
    Fail(ModelFileFault::notANumber);
    m_result.element = column;
    m_result.value = value;
    return false;
  }

  void Fail(ModelFileFault fault) {
    if (Faulty()) return;
    m_result.fault = fault;
    if (fault == ModelFileFault::cutShort || fault == ModelFileFault::cutByWindow) m_result.element = m_element;
  }
  bool Faulty() const { return m_result.fault != ModelFileFault::none; }
  // The element of the block being read, for the message of a cut block.
  void SetElement(const std::string& name) { m_element = name; }
  const ModelWalk& Result() {
    if (m_first) m_result.bytes = *m_first;
    return m_result;
  }

 private:
  const std::string& m_path;
  std::optional<std::string> m_first;
  bool m_longer = false;
  std::string m_element;
  ModelWalk m_result;
};

}  // namespace

ModelWalk WalkModelFile(const std::string& path,
                        const std::function<void(const std::string& column, const std::string& value)>& onValue) {
  ModelWalker walker(path);

  // Find the first header. The search ends with the data: past it every line is empty.
  ModelLine current = walker.Line();
  while (!walker.Faulty() && !Contains(current.text, "Element")) {
    if (current.atEnd) {
      walker.Fail(ModelFileFault::noElement);
      break;
    }
    current = walker.Line();
  }

  while (!walker.Faulty() && Contains(current.text, "Element")) {
    if (Contains(current.text, "Type:")) {
      const std::string code = TypeCode(current.text);
      std::optional<std::string> name, t, p;
      walker.SetElement("");
      if (code == "3" || code == "1") {
        // Every line of the block must be there, the ignored ones too; a block that lacks a keyword
        // yields nothing.
        if (!walker.Needed("Name:", &name)) break;
        walker.SetElement(name.value_or(""));
        if (!walker.Needed() || !walker.Needed("Value:", &t) || !walker.Needed()) break;
        if (name && t) {
          if (!walker.IsNumber(*name, *t)) break;
          onValue(*name, *t);
        }
      } else if (code == "-1" || code == "-2") {
        if (!walker.Needed()) break;
      } else if (code == "11") {
        if (!walker.Needed("Name:", &name)) break;
        walker.SetElement(name.value_or(""));
        if (!walker.Needed() || !walker.Needed("Value:", &t) || !walker.Needed() || !walker.Needed() ||
            !walker.Needed("Value:", &p) || !walker.Needed()) {
          break;
        }
        if (name && t && p) {
          // The column names "%s-T" and "%s-P" of the element name.
          if (!walker.IsNumber(*name + "-T", *t) || !walker.IsNumber(*name + "-P", *p)) break;
          onValue(*name + "-T", *t);
          onValue(*name + "-P", *p);
        }
      }
      // Any other code: the header stands alone.
    }
    current = walker.Line();
  }
  return walker.Result();
}
