#include "platform/plat_font_gdi.h"
#include <gtest/gtest.h>
TEST(PlatFontGdi, Placeholder) { EXPECT_EQ(0, gdi_level_on_black(1)); }
