#include <gtest/gtest.h>

#include "common/text.h"

TEST(ScanScriptInt, Smoke) {
    int32_t value = 0;
    EXPECT_TRUE(ScanScriptInt("150", &value));
    EXPECT_EQ(150, value);
}
