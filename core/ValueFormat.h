// Number-plus-prefix texts for labels and the data log ("%.*f %s"). Always formatted in the
// C locale, whatever the process locale is.
#pragma once

#include <string>

namespace tarvo {

// "%.*f" at precision 2, no prefix and no space (12.5 -> "12.50").
std::string formatFixed2(float value);
// Scaled to an SI prefix by magnitude (micro sign U+00B5), "%.*f %s" at the given precision.
std::string formatSI(int precision, float value);
// Scaled to an SI prefix with about three significant digits (micro sign U+03BC).
std::string formatAuto(float value);

// printf-style formatting in the C locale ("." decimal point) whatever the process locale.
std::string formatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tarvo
