// The detail page's body texts and layout arithmetic.
#include <gtest/gtest.h>

#include "util/gbk_literal.h"
#include "views/detail_logic.h"

namespace velnox {
namespace {

TEST(BodyText, PlainFormSetsHeightByLines) {
  EXPECT_EQ(bodyTextFor("a\r\nb\r\nc\r\nd")->height, 90);
  EXPECT_EQ(bodyTextFor("a")->height, 22);
  EXPECT_EQ(bodyTextFor("a\r\nb\r\nc")->height, 67);
  EXPECT_EQ(bodyTextFor("1\r\n2\r\n3\r\n4\r\n5")->height, 112);
  EXPECT_EQ(bodyTextFor("a\r\n\r\nb")->text, "a\r\n\r\nb");
  EXPECT_FALSE(bodyTextFor("").has_value());
  EXPECT_FALSE(bodyTextFor("\r\n\r\n").has_value());
}

TEST(BodyText, FieldForms) {
  struct Case {
    const char* payload;
    const char* expected;
  } cases[] = {
      {"http://s|pw", "秒传：http://s\r\n解压密码：pw"},
      {"秒传abc|pw", "秒传abc\r\npw"},
      {"|http://s||pw|", "秒传：http://s\r\n解压密码：pw"},
      {"http://l|code|pw", "链接：http://l\r\n提取码：code\r\n解压密码：pw"},
      {"链接http://l|code|pw", "链接http://l\r\ncode\r\npw"},
      {"http://l|code|pw|ignored", "链接：http://l\r\n提取码：code\r\n解压密码：pw"},
      // A single field with a "|" has no code or password: they stay empty.
      {"http://l|", "链接：http://l\r\n提取码：\r\n解压密码："},
  };
  for (const auto& c : cases) {
    const auto body = bodyTextFor(gbk(c.payload));
    ASSERT_TRUE(body.has_value()) << c.payload;
    EXPECT_EQ(body->text, gbk(c.expected)) << c.payload;
    EXPECT_FALSE(body->height.has_value()) << c.payload;
  }
}

TEST(DetailLayout, CoverPanelAndScrollArithmetic) {
  EXPECT_EQ(coverHeightFor(1000, 500, 390), 245);
  EXPECT_EQ(coverHeightFor(490, 980, 390), 980);
  // A picture whose size cannot be read keeps the current height.
  EXPECT_EQ(coverHeightFor(0, 0, 390), 390);
  EXPECT_EQ(coverHeightFor(100, 0, 390), 390);
  // The tallest picture a header can announce stays a height a widget can take.
  EXPECT_EQ(coverHeightFor(1, 2147483647, 390), 16777215);
  EXPECT_EQ(panelHeightFor({980, 160, 90}), 980 + 160 + 90 + 16);
  EXPECT_EQ(panelHeightFor({245, 60, 90}), 714);
  EXPECT_EQ(scrollMaximumFor(714, 720), 0);
  EXPECT_EQ(scrollMaximumFor(1246, 720), 526);
}

TEST(DetailLayout, WheelSteps) {
  struct Case {
    int position, maximum, distance;
    WheelStep expected;
  } cases[] = {
      {0, 0, -1, {0, 0, 11}},           {0, 0, 1, {0, 0, 11}},
      {0, 500, -1, {50, -50, 61}},      {450, 500, -1, {500, -500, 511}},
      {0, 500, 1, {0, 0, 11}},          {420, 500, -1, {500, -500, 511}},
      {500, 500, 1, {450, -450, 461}},  {100, 500, -3, {250, -250, 261}},
      {500, 500, -2, {500, -500, 511}},
  };
  for (const auto& c : cases) {
    const WheelStep s = wheelStep(c.position, c.maximum, c.distance);
    EXPECT_EQ(s.position, c.expected.position) << c.position << " " << c.distance;
    EXPECT_EQ(s.panelTop, c.expected.panelTop) << c.position << " " << c.distance;
    EXPECT_EQ(s.sideTop, c.expected.sideTop) << c.position << " " << c.distance;
  }
}

}  // namespace
}  // namespace velnox
