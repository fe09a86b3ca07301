// The quantities of the fitted circuit: the stored parameters and the derived ones, with their units.
#pragma once

#include <cstddef>

// Every quantity of the circuit that a report can show: the eleven stored parameters (in ParameterSet
// order), then the derived ones. report/report.cpp computes their texts.
enum ReportQuantity : std::size_t {
  kQuantityL0, kQuantityR0, kQuantityR1, kQuantityCpe1T, kQuantityCpe1P, kQuantityR2, kQuantityCpe2T,
  kQuantityCpe2P, kQuantityR3, kQuantityCpe3T, kQuantityCpe3P,
  kQuantityC1, kQuantityF1, kQuantityC2, kQuantityF2, kQuantityC3, kQuantityF3, kQuantityRp,
  kReportQuantityCount
};

// What the report calls a quantity and the unit it is given in ("" for a CPE exponent).
struct QuantityInfo {
  const char* name;
  const char* unit;
};

inline constexpr QuantityInfo kQuantities[kReportQuantityCount] = {
    {"L0", "H"},       {"R0", "Ω"},      {"R1", "Ω"},     {"CPE1-T", "S·s^P"}, {"CPE1-P", ""},
    {"R2", "Ω"},       {"CPE2-T", "S·s^P"}, {"CPE2-P", ""}, {"R3", "Ω"},        {"CPE3-T", "S·s^P"},
    {"CPE3-P", ""},    {"C1", "F"},      {"f1", "Hz"},    {"C2", "F"},         {"f2", "Hz"},
    {"C3", "F"},       {"f3", "Hz"},     {"Rp", "Ω"},
};
