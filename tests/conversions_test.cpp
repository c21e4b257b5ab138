// Conversions, checked arithmetic and checked arrays: the runtime's rules that
// every position, size and counter in the effect goes through.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

#include "runtime/bounded_array.h"
#include "app/form1.h"
#include "runtime/conversions.h"

namespace squarefield {
namespace {

int ErrorOf(auto&& body) {
  try {
    body();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

TEST(Conversions, RoundHalvesToEven) {
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(3.5), 4);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(-3.5), -4);
  EXPECT_EQ(CInt(2.4999999999999996), 2);
  EXPECT_EQ(CLng(1.5), 2);
  EXPECT_EQ(CLng(2.5), 2);
  EXPECT_EQ(CLng(-0.5), 0);
  EXPECT_EQ(CLng(1e9 + 0.5), 1000000000);
}

TEST(Conversions, IntegerRangeEdgesOverflow) {
  EXPECT_EQ(CInt(32767.4999), 32767);
  EXPECT_EQ(ErrorOf([] { CInt(32767.5); }), 6);  // rounds to 32768
  EXPECT_EQ(CInt(-32768.5), -32768);              // rounds to the even -32768
  EXPECT_EQ(ErrorOf([] { CInt(-32768.5000001); }), 6);
  EXPECT_EQ(CLng(2147483647.4), 2147483647);
  EXPECT_EQ(ErrorOf([] { CLng(2147483647.5); }), 6);
  EXPECT_EQ(CLng(-2147483648.5), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ErrorOf([] { CLng(-2147483649.0); }), 6);
  EXPECT_EQ(ErrorOf([] { CLng(std::numeric_limits<double>::quiet_NaN()); }), 6);
  EXPECT_EQ(ErrorOf([] { CInt(std::numeric_limits<double>::infinity()); }), 6);
}

TEST(Conversions, SingleRoundsToNearestAndOverflowsPastItsRange) {
  // 1024 + 2^-14 is below half a single's step at 1024, so it rounds down to 1024.
  EXPECT_EQ(CSng(1024.0 + 1.0 / 16384), 1024.0f);
  EXPECT_GT(CSng(1024.0 + 1.0 / 4096), 1024.0f);
  EXPECT_EQ(ErrorOf([] { CSng(1e39); }), 6);
  EXPECT_EQ(ErrorOf([] { CSng(std::numeric_limits<double>::quiet_NaN()); }), 6);
}

TEST(Conversions, CheckedArithmetic) {
  EXPECT_EQ(Divide(1, 80), 1.0 / 80);
  EXPECT_EQ(ErrorOf([] { Divide(1, 0); }), 11);
  EXPECT_EQ(ErrorOf([] { Divide(0, 0); }), 6);
  EXPECT_EQ(ErrorOf([] { Checked(std::numeric_limits<double>::infinity()); }), 6);
  EXPECT_EQ(Increment(400), 401);
  EXPECT_EQ(ErrorOf([] { Increment(32767); }), 6);
}

TEST(Conversions, DegreeFactorHasTheExactBitPattern) {
  EXPECT_EQ(std::bit_cast<std::uint64_t>(Form1::F), 0x3F91DF46A1FAE712ULL);
  EXPECT_EQ(Form1::F, 0.017453292500000002);
}

TEST(BoundedArray, SubscriptsAreChecked) {
  BoundedArray<int> unallocated;
  EXPECT_EQ(ErrorOf([&] { unallocated(0); }), 9);
  BoundedArray<int> a(400);
  EXPECT_EQ(a(400), 0);
  EXPECT_EQ(ErrorOf([&] { a(401); }), 9);
  EXPECT_EQ(ErrorOf([&] { a(-1); }), 9);
  EXPECT_EQ(a.UBound(), 400);
}

TEST(RuntimeError, ReportNamesNumberNameAndInnermostProcedure) {
  try {
    InProcedure("Draw", [] { InProcedure("ReDimVar", [] { CInt(1e6); }); });
    FAIL() << "no error raised";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Report(), "Run-time error 6: Overflow (in ReDimVar)");
  }
}

}  // namespace
}  // namespace squarefield
