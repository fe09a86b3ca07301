// ValueClass: a double rendered as text with 9 significant digits (the rule of the Microsoft
// run-time's _gcvt), kept besides in several numeric forms.
#pragma once

#include <cstdint>
#include <string>

class ValueClass {
 public:
  ValueClass();
  // Stores v into every field and returns the text.
  std::string SetValue(double v);

  std::int32_t m_iValue;
  std::int32_t m_lValue;
  float m_fValue;
  double m_dValue;
  char m_szText[256];
  std::string m_strText;
};

// The 9-significant-digit rendering of a finite value ("1.39072427e-005", "100.", "0.").
std::string FormatGcvt9(double v);
