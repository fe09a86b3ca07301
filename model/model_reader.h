// Reading a model file (.mdl): text lines of element blocks, ended by carriage returns (by line feeds
// when the window holds no carriage return). Only the first 10,000 bytes of the file exist for the
// reader; the file is opened, read and closed again for every line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Offset of the next line from the start of the model file; set to 0 before each import.
extern std::size_t g_nModelReadPos;

inline constexpr std::size_t kModelReadLimit = 10000;

// Backend (model_file_linux.cpp / model_file_win.cpp): opens the file for exclusive reading and reads
// at most maxBytes from its start. When the open fails, returns false with the file exception cause
// in *cause. A read failure after a good open raises FileException.
bool ReadModelFileHead(const std::string& path, std::size_t maxBytes, std::string* data, int* cause);

// The next line of the model file at path, from g_nModelReadPos on; advances it. When the file
// cannot be opened, raises FileException, which ends the running command: the command shows its
// NoticeText ("error:%u\n" with the cause), then its report.
std::string ReadModelLine(const std::string& path);

// Why the values of a walk must not be saved. A walk that ends with a fault stops at once: the
// values it handed over before belong to a file that was not read whole and sound.
enum class ModelFileFault {
  none,
  noElement,    // no line of the data contains "Element"
  cutShort,     // a line that a block needs starts at or past the end of the data (the file is cut)
  cutByWindow,  // the same at the end of the 10,000 bytes of a longer file, or a name or value line
                // that runs into it
  changed,      // a reopen saw other bytes than the first open: the file changed while it was read
  notANumber,   // a value is not a finite number by the readers' rule (TextIsNumber)
};

struct ModelWalk {
  ModelFileFault fault = ModelFileFault::none;
  // notANumber: the column of the value; cutShort and cutByWindow: the element whose block was cut,
  // when its name line was read.
  std::string element;
  std::string value;  // notANumber: the value as the file writes it (trimmed)
  std::string bytes;  // what the walk read of the file (its first kModelReadLimit bytes and one more)
};

// Walks the element blocks of the model file from g_nModelReadPos on, handing each (column name,
// value text) pair to onValue as soon as its block's last line is read. Every reopen must see the
// bytes of the first one. A block yields its values only when each of them is a number.
ModelWalk WalkModelFile(const std::string& path,
                        const std::function<void(const std::string& column, const std::string& value)>& onValue);
