// The view's font, metrics and colour messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "colorview/fonts.h"
#include "tests/colorview/view_fixture.h"

namespace {

class Fonts : public ViewTest {
protected:
    Fonts() { width_ = 300; }
    // Height and average width of the regular font the view makes now.
    TEXTMETRICA Metrics() {
        UseFont(vs(), 0, 0, 0);
        TEXTMETRICA tm = {};
        GetTextMetricsA(vs()->memDC, &tm);
        return tm;
    }
    LONG MadeHeight() {
        HFONT font = MakeViewFont(vs()->memDC, vs(), 0, 0, 0);
        LOGFONTA lf = {};
        GetObjectA(font, sizeof lf, &lf);
        DeleteObject(font);
        return lf.lfHeight;
    }
};

TEST_F(Fonts, NewViewUsesTheDefaultsAndItsMetricsFollowTheFont) {
    EXPECT_STREQ(vs()->faceName, "");
    EXPECT_EQ(vs()->pointSize, 9);
    EXPECT_EQ(vs()->charSet, 128);
    EXPECT_EQ(vs()->lineSpacing, 2);
    TEXTMETRICA tm = Metrics();
    EXPECT_EQ(vs()->lineHeight, tm.tmHeight + 2);
    EXPECT_EQ(vs()->avgCharWidth, tm.tmAveCharWidth);
    EXPECT_EQ(MadeHeight(), -((GetDeviceCaps(vs()->memDC, LOGPIXELSY) * 9) / 72));

    SendMessageA(tv_.view, CVM_SETLINESPACING, 0, 0);
    EXPECT_EQ(vs()->lineHeight, tm.tmHeight);
    // A spacing that would make rows vanish still leaves one pixel per row.
    SendMessageA(tv_.view, CVM_SETLINESPACING, static_cast<WPARAM>(-1000), 0);
    EXPECT_EQ(vs()->lineHeight, 1);
    SendMessageA(tv_.view, CVM_SETLINESPACING, 2, 0);
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

TEST_F(Fonts, SetFontTakesFaceAndSizeButNotStyle) {
    if (GetDeviceCaps(vs()->memDC, LOGPIXELSY) != 96) GTEST_SKIP() << "sizes below assume 96 dpi";
    HFONT font = CreateFontA(-15, 0, 0, 0, FW_BOLD, TRUE, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "IPAGothic");
    ASSERT_NE(font, nullptr);
    Append(tv_.view, "some text\r\nto lay out again");
    int oldHeight = vs()->lineHeight;
    EXPECT_EQ(SendMessageA(tv_.view, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0), 0);
    DeleteObject(font);  // the view keeps no font of the caller's
    EXPECT_STREQ(vs()->faceName, "IPAGothic");
    EXPECT_EQ(vs()->pointSize, 11);  // -(-15 * 72 / 96), truncated
    EXPECT_EQ(MadeHeight(), -14);    // -(96 * 11 / 72), truncated
    EXPECT_EQ(vs()->charSet, 128);
    EXPECT_NE(vs()->lineHeight, oldHeight);
    EXPECT_EQ(CheckInvariants(tv_.view), "");

    // A cell height (positive) comes back as a negative size and a positive height.
    font = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "IPAGothic");
    SendMessageA(tv_.view, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
    DeleteObject(font);
    EXPECT_EQ(vs()->pointSize, -12);
    EXPECT_EQ(MadeHeight(), 16);

    // No font to read: nothing changes.
    ViewState before = *vs();
    EXPECT_EQ(SendMessageA(tv_.view, WM_SETFONT, 0, 0), 0);
    EXPECT_STREQ(vs()->faceName, before.faceName);
    EXPECT_EQ(vs()->pointSize, before.pointSize);
    EXPECT_EQ(vs()->lineHeight, before.lineHeight);
}

TEST_F(Fonts, FaceNamesAreCutToTheFieldAndNullMeansAnyFixedPitchFace) {
    const std::string longName(40, 'F');
    SendMessageA(tv_.view, CVM_SETFONTFACE, 10, reinterpret_cast<LPARAM>(longName.c_str()));
    EXPECT_EQ(std::string(vs()->faceName), longName.substr(0, 31));
    EXPECT_EQ(vs()->pointSize, 10);  // the field after the name is untouched
    SendMessageA(tv_.view, CVM_SETFONTFACE, 12, 0);
    EXPECT_STREQ(vs()->faceName, "");
    EXPECT_EQ(vs()->pointSize, 12);
    EXPECT_TRUE(vs()->fixedPitch);
    EXPECT_EQ(CheckInvariants(tv_.view), "");
}

TEST_F(Fonts, ColoursTakeExplicitValuesOrTheSystemOnes) {
    SendMessageA(tv_.view, CVM_SETCOLORS, RGB(1, 2, 3), RGB(200, 100, 50));
    EXPECT_EQ(vs()->textColor, RGB(1, 2, 3));
    EXPECT_EQ(vs()->backColor, RGB(200, 100, 50));
    LOGBRUSH lb = {};
    GetObjectA(vs()->backBrush, sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, RGB(200, 100, 50));
    SendMessageA(tv_.view, CVM_SETCOLORS, static_cast<WPARAM>(0xFFFFFFFFu), static_cast<LPARAM>(0xFFFFFFFFu));
    EXPECT_EQ(vs()->textColor, GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(vs()->backColor, GetSysColor(COLOR_WINDOW));
}

}  // namespace
