#pragma once
#include <cstdint>
#include <string>

namespace dwellor {

// Reads the number a text begins with: blanks are ignored wherever they
// stand, then an optional sign, digits and at most one decimal point, up to
// the first character that cannot continue the number. No number gives 0.
double parseNumber(const std::string& text);

// Plain decimal with a point, at most 15 significant digits and no trailing
// zeros. Never uses an exponent, so the text always parses back to itself.
std::string decimalText(double value);

// Rounds to the nearest period, ties to even, saturating at the 32-bit range.
std::int32_t roundPeriod(double value);

// Both together: the period a text stands for.
inline std::int32_t periodOf(const std::string& text) { return roundPeriod(parseNumber(text)); }

}  // namespace dwellor
