#include "engine/numbers.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace dwellor {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

double parseNumber(const std::string& text) {
    std::string number;
    bool seenPoint = false;
    bool seenDigit = false;
    for (char c : text) {
        if (isBlank(c)) continue;
        if ((c == '+' || c == '-') && number.empty()) {
            number += c;
        } else if (isDigit(c)) {
            number += c;
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            number += c;
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!seenDigit) return 0.0;
    double v = std::strtod(number.c_str(), nullptr);
    // A text too long for a double reads as the largest one, not as infinity.
    if (std::isinf(v)) v = std::copysign(std::numeric_limits<double>::max(), v);
    return v == 0.0 ? 0.0 : v;  // no negative zero
}

std::string decimalText(double value) {
    if (!std::isfinite(value)) return "0";
    if (value == 0.0) return "0";
    // 15 significant digits: d.dddddddddddddde±X
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    std::string s(buf);
    bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    std::size_t e = s.find('e');
    int exponent = std::atoi(s.c_str() + e + 1);
    std::string digits = s.substr(0, 1) + s.substr(2, e - 2);  // 15 digits, no point
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out;
    if (exponent < 0) {
        out = "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        auto intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out = digits + std::string(intLen - digits.size(), '0');
        } else {
            out = digits.substr(0, intLen) + "." + digits.substr(intLen);
        }
    }
    return negative ? "-" + out : out;
}

std::int32_t roundPeriod(double value) {
    if (std::isnan(value)) return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    double r = std::floor(value);
    const double frac = value - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    if (r <= lo) return std::numeric_limits<std::int32_t>::min();
    if (r >= hi) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

std::optional<std::int32_t> validPeriod(const std::string& text) {
    const double v = parseNumber(text);
    if (!(v > 0 && v < 35000)) return std::nullopt;
    const std::int32_t period = roundPeriod(v);
    if (period <= 0) return std::nullopt;
    return period;
}

}  // namespace dwellor
