#include <gtest/gtest.h>

#include "tests/view/view_fixture.h"

TEST(AppendTest, Smoke) {
    TestView tv = CreateTestView(400, 200);
    Append(tv.view, "abc");
    Append(tv.view, "def\r\nghi");
    EXPECT_EQ(ViewText(tv.view), "abcdef\r\nghi");
    EXPECT_EQ(CheckInvariants(tv.view), "");
    DestroyTestView(&tv);
}
