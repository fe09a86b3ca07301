#include "report/report.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "report/value_class.h"

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

namespace {

// 2π taken with π = 3.1415926: the double nearest to 1 / (2 × 3.1415926).
constexpr double kInverseTwoPi = 0.15915494580678602;

struct Branch {
  ParameterIndex r, t, p;
  ReportQuantity c, f;
};

constexpr Branch kBranches[] = {
    {kR1, kCpe1T, kCpe1P, kQuantityC1, kQuantityF1},
    {kR2, kCpe2T, kCpe2P, kQuantityC2, kQuantityF2},
    {kR3, kCpe3T, kCpe3P, kQuantityC3, kQuantityF3},
};

}  // namespace

std::string ReportColumnLetters(std::size_t column) {
  std::string letters;
  for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  }
  return letters;
}

ReportTexts ComputeReportTexts(const ParameterSet& parameters) {
  static_assert(kQuantityCpe3P + 1 == kParameterCount, "the stored quantities come first, in ParameterSet order");
  ReportTexts texts;
  for (std::size_t i = 0; i < kParameterCount; ++i) texts[i] = parameters[i];

  ValueClass holder;
  double rp = 0.0;
  bool first = true;
  for (const Branch& branch : kBranches) {
    const double r = TextToDouble(parameters[branch.r]);
    const double t = TextToDouble(parameters[branch.t]);
    const double p = TextToDouble(parameters[branch.p]);
    if (first) {
      rp = r;
      first = false;
    } else {
      rp = r + rp;
    }
    const double x = t * r;
    // NaN fails the comparison and leaves the texts empty, as a too small product does.
    if (std::fabs(x) > 1e-20) {
      const double c = std::pow(x, 1.0 / p) / r;
      const double f = std::pow(x, -1.0 / p) * kInverseTwoPi;
      // A value that is not finite (P = 0, no real power of a negative product) has no text.
      holder.SetValue(c);
      texts[branch.c] = holder.m_szText;
      holder.SetValue(f);
      texts[branch.f] = holder.m_szText;
    }
  }
  holder.SetValue(rp);
  texts[kQuantityRp] = holder.m_szText;
  return texts;
}

ReportCells SheetCells(const ReportSheet& sheet, const ReportTexts& texts) {
  ReportCells cells;
  for (const ReportColumn& column : sheet.columns) {
    cells.names.emplace_back(column.header);
    cells.values.push_back(texts[column.quantity]);
  }
  return cells;
}

ReportCells BuildReportCells(const ParameterSet& parameters) {
  return SheetCells(kReportSheets[0], ComputeReportTexts(parameters));
}
