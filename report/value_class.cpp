#include "report/value_class.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int kSignificantDigits = 9;

// v truncated toward zero into 32 bits; values outside the range saturate, NaN gives 0.
std::int32_t TruncateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  if (v <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

// v rounded to single precision as the hardware does it (beyond the float range: the largest float
// or infinity by the rounding rule, never an out-of-range conversion).
float RoundToFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  // Halfway between the largest float and 2^128: from here on the rounding gives infinity.
  constexpr double kOverflowFrom = 340282356779733661637539395458142568448.0;  // 2^128 - 2^103
  if (std::isnan(v) || std::fabs(v) <= kMax) return static_cast<float>(v);
  const float magnitude = std::fabs(v) < kOverflowFrom ? std::numeric_limits<float>::max()
                                                       : std::numeric_limits<float>::infinity();
  return std::signbit(v) ? -magnitude : magnitude;
}

}  // namespace

std::string FormatGcvt9(double v) {
  if (!std::isfinite(v)) return {};

  // The 17-significant-digit decimal form, locale-independent: "-d.dddddddddddddddde±XX".
  char buf[64];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 16);
  const char* p = buf;
  const bool negative = *p == '-';
  if (negative) ++p;
  std::string digits;  // the 17 digits
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  int e = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), r.ptr, e);
  if (v == 0.0) e = 0;

  // Round to 9 digits by the first dropped digit, carrying to the left.
  std::string kept = digits.substr(0, kSignificantDigits);
  if (digits[kSignificantDigits] >= '5') {
    int i = kSignificantDigits - 1;
    for (; i >= 0 && kept[i] == '9'; --i) kept[i] = '0';
    if (i >= 0) {
      ++kept[i];
    } else {
      kept.insert(kept.begin(), '1');  // one more digit in front: 999999999|5 becomes 1000000000
    }
  }
  const bool carried = kept.size() > static_cast<std::size_t>(kSignificantDigits);

  std::string text = negative ? "-" : "";
  if (e < -1 || e > kSignificantDigits - 1) {
    // Exponential form: d.dddddddde±XXX, the mantissa kept at 9 digits after a carry.
    const int shownExponent = e + (carried ? 1 : 0);
    text += kept[0];
    text += '.';
    text.append(kept, 1, kSignificantDigits - 1);
    const int magnitude = shownExponent < 0 ? -shownExponent : shownExponent;
    std::string exponentDigits = std::to_string(magnitude);
    if (exponentDigits.size() < 3) exponentDigits.insert(0, 3 - exponentDigits.size(), '0');
    // Trailing zeros of the mantissa go; the '.' stays.
    while (text.back() == '0') text.pop_back();
    text += 'e';
    text += shownExponent < 0 ? '-' : '+';
    text += exponentDigits;
  } else {
    // Fixed form: 8 - e fraction digits, the integer digits before them (a "0" when there are none).
    const std::size_t fractionDigits = static_cast<std::size_t>(kSignificantDigits - 1 - e);
    const std::size_t integerDigits = kept.size() - fractionDigits;
    text += integerDigits == 0 ? std::string("0") : kept.substr(0, integerDigits);
    if (fractionDigits > 0) {
      text += '.';
      text.append(kept, integerDigits, fractionDigits);
      while (text.back() == '0') text.pop_back();
    }
  }
  return text;
}

ValueClass::ValueClass() : m_iValue(0), m_lValue(0), m_fValue(0.0f), m_dValue(0.0), m_szText{} {}

std::string ValueClass::SetValue(double v) {
  m_fValue = RoundToFloat(v);
  m_dValue = v;
  m_iValue = TruncateToInt32(v);
  m_lValue = m_iValue;
  std::memset(m_szText, 0, sizeof m_szText);
  const std::string text = FormatGcvt9(v);
  std::memcpy(m_szText, text.data(), text.size() < sizeof m_szText ? text.size() : sizeof m_szText - 1);
  m_strText.clear();
  m_strText = m_szText;
  return m_strText;
}
