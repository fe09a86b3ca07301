#include "report/report.h"

#include <cmath>

#include "report/value_class.h"

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
