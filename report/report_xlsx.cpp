#include "report/report_xlsx.h"

#include <charconv>
#include <system_error>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<double> CellNumber(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;

  std::size_t i = begin;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t numberStart = i;
  std::size_t digits = 0;
  while (i < end && IsDigit(text[i])) ++i, ++digits;
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < end && IsDigit(text[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return std::nullopt;
  }
  if (i != end) return std::nullopt;

  double value = 0.0;
  const std::from_chars_result r = std::from_chars(text.data() + numberStart, text.data() + end, value);
  // Beyond the range of a double the spreadsheet keeps the text.
  if (r.ec != std::errc() || r.ptr != text.data() + end) return std::nullopt;
  return negative ? -value : value;
}
