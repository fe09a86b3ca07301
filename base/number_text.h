// The rules by which the program reads a number from a text: the run-time's atof, the whole text as
// a number, and a spreadsheet's input rule for a cell. Independent of the process locale.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// atof of the Microsoft run-time, independent of the process locale: leading white space, optional
// sign, digits, optional fraction, optional exponent introduced by e, E, d or D; the longest valid
// prefix; nothing gives 0. Shared by the report, the hand-off and the history workbook. When used is
// given, it receives the length of the text that was read (0 when there is no number).
double TextToDouble(const std::string& text, std::size_t* used = nullptr);

// Whether the whole text is a number by that rule: it reads the text to its end (blanks and tabs
// after the number aside) and the number is finite; *number then receives it. The model import
// takes only such values, and the history workbook writes only them as numbers.
bool TextIsNumber(const std::string& text, double* number = nullptr);

// A spreadsheet's input rule for a text put into a cell: when the text, leading and trailing blanks
// removed, is entirely a decimal number (optional sign, digits, optional fraction, optional exponent
// with e or E; no infinity, NaN, hexadecimal or grouping), the cell holds that number; otherwise it
// holds the text. Independent of the process locale.
std::optional<double> CellNumber(const std::string& text);
