#include "base/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

bool IsBlank(char c) {
  // isspace of the C locale, written out so that no locale can change it.
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double TextToDouble(const std::string& text, std::size_t* used) {
  if (used != nullptr) *used = 0;
  const char* p = text.c_str();
  const char* const end = p + text.size();
  while (p < end && IsBlank(*p)) ++p;

  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }

  // The mantissa: digits, optionally a '.' and more digits; at least one digit in all.
  // Rebuilt into a plain form that std::from_chars reads the same way under every locale.
  std::string number = "0";
  bool anyDigit = false;
  // Where the first significant digit stands (its power of ten), for telling an overflow from an
  // underflow when the value is out of range.
  bool seenSignificant = false;
  long long integerDigitsAfterLead = 0;
  long long fractionZerosBeforeLead = 0;

  while (p < end && IsDigit(*p)) {
    anyDigit = true;
    if (*p != '0') seenSignificant = true;
    if (seenSignificant) ++integerDigitsAfterLead;
    number += *p++;
  }
  if (p < end && *p == '.') {
    const char* q = p + 1;
    std::string fraction;
    while (q < end && IsDigit(*q)) {
      if (!seenSignificant) {
        if (*q == '0') {
          ++fractionZerosBeforeLead;
        } else {
          seenSignificant = true;
        }
      }
      fraction += *q++;
    }
    if (anyDigit || !fraction.empty()) {
      anyDigit = anyDigit || !fraction.empty();
      number += '.';
      number += fraction;
      p = q;
    }
  }
  if (!anyDigit) return 0.0;

  // The exponent counts only when at least one digit follows its letter (and optional sign).
  long long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D')) {
    const char* q = p + 1;
    bool exponentNegative = false;
    if (q < end && (*q == '+' || *q == '-')) {
      exponentNegative = *q == '-';
      ++q;
    }
    if (q < end && IsDigit(*q)) {
      constexpr long long kCap = 1000000000LL;  // far beyond any double; keeps the sum exact
      while (q < end && IsDigit(*q)) {
        if (exponent < kCap) exponent = exponent * 10 + (*q - '0');
        ++q;
      }
      if (exponentNegative) exponent = -exponent;
      p = q;
    }
  }
  if (used != nullptr) *used = static_cast<std::size_t>(p - text.c_str());
  if (!seenSignificant) return negative ? -0.0 : 0.0;

  const long long leadingExponent = integerDigitsAfterLead > 0 ? integerDigitsAfterLead - 1 : -(fractionZerosBeforeLead + 1);
  number += 'e';
  number += std::to_string(exponent);

  double value = 0.0;
  const std::from_chars_result result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    value = leadingExponent + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (result.ec != std::errc()) {
    value = 0.0;
  }
  return negative ? -value : value;
}

bool TextIsNumber(const std::string& text, double* number) {
  std::size_t used = 0;
  const double value = TextToDouble(text, &used);
  std::size_t end = text.size();
  while (end > used && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  if (used == 0 || used != end || !std::isfinite(value)) return false;
  if (number != nullptr) *number = value;
  return true;
}

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
