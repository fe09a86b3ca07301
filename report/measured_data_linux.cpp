#include "report/measured_data.h"

// The program's texts are UTF-8.
std::string ProgramTextFromUtf8(const std::string& text) { return text; }
