#include "core/ValueFormat.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tarvo {
namespace {

struct FormatCase {
  const char* what;
  std::string got;
  const char* expected;
};

TEST(ValueFormat, Examples) {
  const FormatCase cases[] = {
      {"fixed2 12.5", formatFixed2(12.5f), "12.50"},
      {"fixed2 negative", formatFixed2(-3.14159f), "-3.14"},
      {"SI micro", formatSI(0, 0.00001f), "10 \u00B5"},
      {"SI trailing space", formatSI(2, 13.75f), "13.75 "},
      {"SI milli", formatSI(1, 0.5f), "500.0 m"},
      {"SI nano", formatSI(0, 1e-10f), "0 n"},
      {"SI zero", formatSI(1, 0.0f), "0.0 "},
      {"SI kilo", formatSI(1, 2400.0f), "2.4 k"},
      {"SI mega", formatSI(2, 2.4e6f), "2.40 M"},
      {"SI giga", formatSI(1, 2.4e9f), "2.4 G"},
      {"SI sign kept", formatSI(1, -0.5f), "-500.0 m"},
      {"auto micro", formatAuto(0.0000352f), "35.2 \u03BC"},
      {"auto kilo", formatAuto(2400.0f), "2.40 k"},
      {"auto zero", formatAuto(0.0f), "0 "},
      {"auto units", formatAuto(5.0f), "5.00 "},
      {"auto hundreds", formatAuto(123.4f), "123 "},
      {"auto milli", formatAuto(0.25f), "250 m"},
      {"auto mega", formatAuto(2.5e8f), "250 M"},
      {"auto below nano", formatAuto(1e-12f), "0 "},
      {"auto negative", formatAuto(-0.0125f), "-12.5 m"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(ValueFormat, MicroSignsDiffer) {
  EXPECT_NE(formatSI(0, 0.00001f).substr(3), formatAuto(0.00001f).substr(4));
  EXPECT_NE(formatSI(0, 0.00001f).find("\xC2\xB5"), std::string::npos);
  EXPECT_NE(formatAuto(0.00001f).find("\xCE\xBC"), std::string::npos);
}

TEST(ValueFormat, LargestFloatsStillFit) {
  // The longest float prints in 42 characters, inside the 52-character limit.
  EXPECT_EQ(formatFixed2(3.4e38f).size(), 42u);
  EXPECT_EQ(formatSI(0, 3.4e38f).substr(formatSI(0, 3.4e38f).size() - 2), " G");
}

TEST(ValueFormat, DecimalPointIsAlwaysADot) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  // Any installed locale with a decimal comma will do; skip when the machine has none.
  const char* candidates[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"};
  bool commaLocale = false;
  for (const char* name : candidates) {
    if (std::setlocale(LC_NUMERIC, name)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%.1f", 1.5);
      if (std::string(buf) == "1,5") {
        commaLocale = true;
        break;
      }
    }
  }
  EXPECT_EQ(formatFixed2(1.5f), "1.50");
  EXPECT_EQ(formatSI(1, 1.5f), "1.5 ");
  EXPECT_EQ(formatAuto(1.5f), "1.50 ");
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!commaLocale) GTEST_SKIP() << "no decimal-comma locale installed";
}

}  // namespace
}  // namespace tarvo
