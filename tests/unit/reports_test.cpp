#include "device/reports.h"

#include <gtest/gtest.h>

namespace quenta {
namespace {

TEST(InputReportDecoding, ButtonBitsComeFromBytesOneToThreeAndNothingElse) {
  const ButtonStates shiftAnd9 = DecodeButtons({0x00, 0x03, 0x00, 0x00, 0, 0, 0, 0});
  EXPECT_EQ(ButtonWord({0x00, 0x03, 0x00, 0x00, 0, 0, 0, 0}), 0x00000300u);
  EXPECT_TRUE(shiftAnd9.Shift());
  EXPECT_TRUE(shiftAnd9.Down(9));
  for (int bit = 10; bit <= 28; ++bit) EXPECT_TRUE(shiftAnd9.Up(bit)) << bit;

  // Report id, bits 29 to 31 and bytes 4 to 7 change nothing.
  const ButtonStates noise = DecodeButtons({0xFF, 0x00, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0xFF});
  for (int bit = kFirstButtonBit; bit <= kLastButtonBit; ++bit) EXPECT_TRUE(noise.Up(bit)) << bit;

  const ButtonStates all = DecodeButtons({0x00, 0xFF, 0xFF, 0x1F, 0, 0, 0, 0});
  for (int bit = kFirstButtonBit; bit <= kLastButtonBit; ++bit) EXPECT_TRUE(all.Down(bit)) << bit;
  EXPECT_FALSE(all.Down(7));
  EXPECT_FALSE(all.Down(29));
}

TEST(OutputReportEncoding, LedBitsAndTheIndicatorLowByte) {
  EXPECT_EQ(EncodeOutputReport({true, false, true, 0}), (OutputReport{0, 0x09, 0, 0, 0}));
  EXPECT_EQ(EncodeOutputReport({false, true, false, 16}), (OutputReport{0, 0x04, 0x10, 0, 0}));
  EXPECT_EQ(EncodeOutputReport({true, true, true, 0x1234}), (OutputReport{0, 0x0D, 0x34, 0, 0}));
}

}  // namespace
}  // namespace quenta
