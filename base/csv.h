// CSV output of the command-line tool (RFC 4180): fields quoted where needed, records ending in
// CR LF.
#pragma once

#include <string>
#include <vector>

// One field: quoted when it holds a comma, a quote, CR or LF; quotes doubled.
std::string CsvField(const std::string& value);

// The fields as one record, CR LF included.
std::string CsvRecord(const std::vector<std::string>& fields);

// Standard output without translation of line ends (the records end in CR LF themselves). Call
// before the first record.
void CsvBinaryStdout();
