#include "utils/color_logic.h"

#include <gtest/gtest.h>

#include <utility>

using namespace vantorelix;

TEST(SwapRedBlue, ExchangesTheOuterBytesAndDropsTheTopByte) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0x00112233u, 0x00332211u}, {0xFF0000FFu, 0x00FF0000u}, {0xFFFFFFFFu, 0x00FFFFFFu}, {0x00D77800u, 0x000078D7u},
      {0x00FF0000u, 0x000000FFu}, {0x12FF0000u, 0x000000FFu}, {0x0000FF00u, 0x0000FF00u}, {0u, 0u},
  };
  for (const auto& c : cases) EXPECT_EQ(swapRedBlue(c.first), c.second) << std::hex << c.first;
  for (uint32_t v : {0x00123456u, 0x00ABCDEFu, 0x00000001u}) EXPECT_EQ(swapRedBlue(swapRedBlue(v)), v);
}

TEST(WorkAreaText, CommaFormForZeroObjectLiteralForAnyOtherFlag) {
  WorkArea area{0, 0, 1920, 1040};
  EXPECT_EQ(workAreaText(area, 0), u"0,0,1920,1040");
  for (int32_t flag : {1, -1, INT32_MIN})
    EXPECT_EQ(workAreaText(area, flag), u"({left:0,top:0,right:1920,bottom:1040})") << "flag " << flag;
}

TEST(WorkAreaText, NegativeAndExtremeNumbersInFull) {
  WorkArea area{-1280, -24, INT32_MAX, INT32_MIN};
  EXPECT_EQ(workAreaText(area, 0), u"-1280,-24,2147483647,-2147483648");
  EXPECT_EQ(workAreaText(area, 7), u"({left:-1280,top:-24,right:2147483647,bottom:-2147483648})");
}
