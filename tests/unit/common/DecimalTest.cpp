#include "common/Decimal.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace lg {
namespace {

struct TDecimalCase {
  const char* text;
  TDecimalSign sign;
  int64_t maxMagnitude;
  size_t maxDigits;
  bool ok;
  int64_t value;
};

class ParseDecimalRows : public ::testing::TestWithParam<TDecimalCase> {};

TEST_P(ParseDecimalRows, AcceptsOnlyWholeNumbersInRange) {
  const TDecimalCase& c = GetParam();
  int64_t out = -7;  // left alone on failure
  EXPECT_EQ(ParseDecimal(c.text, c.sign, c.maxMagnitude, out, c.maxDigits), c.ok) << c.text;
  EXPECT_EQ(out, c.ok ? c.value : -7) << c.text;
}

constexpr auto kAny = std::string_view::npos;
constexpr auto kNo = TDecimalSign::None;
constexpr auto kSigned = TDecimalSign::Allowed;

INSTANTIATE_TEST_SUITE_P(
    Rows, ParseDecimalRows,
    ::testing::Values(
        TDecimalCase{"0", kNo, INT64_MAX, kAny, true, 0}, TDecimalCase{"1234567", kNo, INT64_MAX, kAny, true, 1234567},
        TDecimalCase{"007", kNo, INT64_MAX, kAny, true, 7}, TDecimalCase{"", kNo, INT64_MAX, kAny, false, 0},
        TDecimalCase{" 1", kNo, INT64_MAX, kAny, false, 0}, TDecimalCase{"1 ", kNo, INT64_MAX, kAny, false, 0},
        TDecimalCase{"12a", kNo, INT64_MAX, kAny, false, 0}, TDecimalCase{"0x10", kNo, INT64_MAX, kAny, false, 0},
        // Signs only where allowed, and never alone or doubled.
        TDecimalCase{"-5", kNo, INT64_MAX, kAny, false, 0}, TDecimalCase{"+5", kNo, INT64_MAX, kAny, false, 0},
        TDecimalCase{"-5", kSigned, INT64_MAX, kAny, true, -5}, TDecimalCase{"+5", kSigned, INT64_MAX, kAny, true, 5},
        TDecimalCase{"-", kSigned, INT64_MAX, kAny, false, 0}, TDecimalCase{"--5", kSigned, INT64_MAX, kAny, false, 0},
        // The magnitude bound, exactly at and just past it.
        TDecimalCase{"2147483648", kSigned, 2147483648LL, kAny, true, 2147483648LL},
        TDecimalCase{"-2147483648", kSigned, 2147483648LL, kAny, true, -2147483648LL},
        TDecimalCase{"2147483649", kSigned, 2147483648LL, kAny, false, 0}, TDecimalCase{"5", kNo, 0, kAny, false, 0},
        TDecimalCase{"0", kNo, 0, kAny, true, 0},
        TDecimalCase{"9223372036854775807", kNo, INT64_MAX, kAny, true, INT64_MAX},
        TDecimalCase{"9223372036854775808", kNo, INT64_MAX, kAny, false, 0},
        TDecimalCase{"99999999999999999999999999", kNo, INT64_MAX, kAny, false, 0},
        // Leading zeros count as digits against the digit limit.
        TDecimalCase{"000000000000000000000001", kNo, INT64_MAX, kAny, true, 1},
        TDecimalCase{"999999999999999999", kNo, INT64_MAX, 18, true, 999999999999999999LL},
        TDecimalCase{"0000000000000000001", kNo, INT64_MAX, 18, false, 0},
        TDecimalCase{"-0000000001", kSigned, 2147483648LL, 10, true, -1},
        TDecimalCase{"00000000001", kSigned, 2147483648LL, 10, false, 0}));

}  // namespace
}  // namespace lg
