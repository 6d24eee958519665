#pragma once
#include <cstdint>
#include <optional>
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

// The period an interval text gives when a timer can run on it: more than 0
// before and after rounding, and less than 35000 ms. Nothing otherwise: a
// period of 0 would stop the timer for good.
std::optional<std::int32_t> validPeriod(const std::string& text);

}  // namespace dwellor
