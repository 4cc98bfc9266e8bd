#include "clock/clock_logic.h"
#include <gtest/gtest.h>
TEST(Tmp, X) { EXPECT_EQ(8u, strlen(FormatClockText(9,5).text)); }
