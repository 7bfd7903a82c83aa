#include "core/ValueFormat.h"

#include <locale.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace tarvo {

namespace {

// A C-locale object shared by every formatter; uselocale() makes it the calling thread's
// locale for the duration of one call, so other threads and the global locale are untouched.
locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

std::string vformatC(const char* format, va_list args) {
  locale_t previous = uselocale(cLocale());
  char buf[256];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(buf, sizeof buf, format, copy);
  va_end(copy);
  std::string out;
  if (n >= 0 && static_cast<size_t>(n) < sizeof buf) {
    out.assign(buf, static_cast<size_t>(n));
  } else if (n >= 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
  }
  uselocale(previous);
  return out;
}

// "%.*f %s", or the empty text when longer than the limit.
std::string numberWithPrefix(int precision, double value, const char* prefix) {
  std::string out = formatC("%.*f %s", precision, value, prefix);
  if (out.size() > static_cast<size_t>(precision) + 50) return {};
  return out;
}

}  // namespace

std::string formatC(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = vformatC(format, args);
  va_end(args);
  return out;
}

std::string formatFixed2(float value) {
  std::string out = formatC("%.*f", 2, static_cast<double>(value));
  if (out.size() > 52) return {};
  return out;
}

std::string formatSI(int precision, float value) {
  if (precision < 0) precision = 0;
  const double a = std::fabs(static_cast<double>(value));
  if (a == 0.0) return numberWithPrefix(precision, value, "");
  double scale;
  const char* prefix;
  if (a < 9.999999e-8) {
    scale = 1e9;
    prefix = "n";
  } else if (a < 0.00099999999) {
    scale = 1e6;
    prefix = "\u00B5";
  } else if (a < 0.99999999) {
    scale = 1000.0;
    prefix = "m";
  } else if (a < 999.99999) {
    scale = 1.0;
    prefix = "";
  } else if (a < 999999.99) {
    scale = 0.001;
    prefix = "k";
  } else if (a < 999999990.0) {
    scale = 0.000001;
    prefix = "M";
  } else {
    scale = 1e-9;
    prefix = "G";
  }
  const float scaled = static_cast<float>(static_cast<double>(value) * scale);
  return numberWithPrefix(precision, scaled, prefix);
}

std::string formatAuto(float value) {
  const float b = std::fabs(value);
  if (b == 0.0f) return "0 ";
  struct Row {
    double atLeast;
    double scale;
    const char* prefix;
    int precision;
  };
  static constexpr Row ROWS[] = {
      {1e8, 0.000001, "M", 0},       {1e7, 0.000001, "M", 1},       {1e6, 0.000001, "M", 2},
      {1e5, 0.001, "k", 0},          {1e4, 0.001, "k", 1},          {1000, 0.001, "k", 2},
      {100, 1, "", 0},               {10, 1, "", 1},                {1, 1, "", 2},
      {0.1, 1000, "m", 0},           {0.01, 1000, "m", 1},          {0.001, 1000, "m", 2},
      {1e-4, 1e6, "\u03BC", 0},      {1e-5, 1e6, "\u03BC", 1},      {1e-6, 1e6, "\u03BC", 2},
      {1e-7, 1e9, "n", 0},           {1e-8, 1e9, "n", 1},           {1e-9, 1e9, "n", 2},
  };
  double scale = 0.0;
  const char* prefix = "";
  int precision = 0;
  for (const Row& r : ROWS) {
    if (static_cast<double>(b) >= r.atLeast) {
      scale = r.scale;
      prefix = r.prefix;
      precision = r.precision;
      break;
    }
  }
  const float scaled = static_cast<float>(static_cast<double>(value) * scale);
  return numberWithPrefix(precision, scaled, prefix);
}

}  // namespace tarvo
