// The model file reader under arbitrary bytes: the input is written to a real file and walked from
// offset 0 with WalkModelFile. The pairs it yields must be exactly those of the in-memory reading of
// the grammar, the read position must stay within the data (one byte past it only when the data
// ends in a carriage return, whose following byte is skipped), and nothing may crash.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/afx.h"
#include "fuzz/fuzz_common.h"
#include "fuzz/model_grammar.h"
#include "model/model_reader.h"

using fuzzsupport::Check;
using fuzzsupport::Escape;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzzsupport::RecordingBoxes boxes;
  static const std::string path = fuzzsupport::ScratchDirectory() + "input.mdl";
  AfxSetMessageBoxes(&boxes);
  boxes.texts.clear();

  const std::string bytes(reinterpret_cast<const char*>(data), size);
  fuzzsupport::WriteFile(path, bytes);

  std::vector<std::pair<std::string, std::string>> yielded;
  ModelWalk walk;
  for (int attempt = 0;; ++attempt) {
    yielded.clear();
    boxes.texts.clear();
    g_nModelReadPos = 0;
    try {
      walk = WalkModelFile(path, [&](const std::string& column, const std::string& value) {
        yielded.emplace_back(column, value);
      });
      break;
    } catch (const FileException& e) {
      if (e.m_cause == FileException::sharingViolation && fuzzsupport::WaitOutForeignLock(path, attempt)) continue;
      fuzzsupport::Fail("the reader failed on a readable file: " + std::string(e.what()));
    }
  }

  const fuzzref::Walk expected = fuzzref::WalkBytes(bytes);
  const std::size_t n = size < kModelReadLimit ? size : kModelReadLimit;

  Check(boxes.texts.empty(), "the reader showed a message for a readable file");
  Check(static_cast<int>(walk.fault) == expected.fault, "the fault differs for " + Escape(bytes.substr(0, 200)));
  Check(yielded == expected.pairs, "the yielded pairs differ from the grammar for " + Escape(bytes.substr(0, 200)));
  Check(g_nModelReadPos == expected.endPos, "the read position differs from the grammar");
  const bool endsInCr = n > 0 && bytes[n - 1] == '\r';
  Check(g_nModelReadPos <= n || (endsInCr && g_nModelReadPos == n + 1), "the read position ran past the data");

  // Reading on past the end gives empty lines and moves nothing.
  const std::size_t end = g_nModelReadPos;
  if (end >= n) {
    Check(ReadModelLine(path).empty(), "a line past the end of the data was not empty");
    Check(g_nModelReadPos == end, "a read past the end moved the position");
  }
  AfxSetMessageBoxes(nullptr);
  return 0;
}
