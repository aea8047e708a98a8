// The demo service's own content: the account answers, texts the client can hold, and
// pictures of the sizes and formats they claim.
#include <gtest/gtest.h>

#include "server/demo_content.h"
#include "server/demo_pictures.h"
#include "util/encoding.h"
#include "util/picture.h"

namespace velnox::test {
namespace {

const std::string kSep = "\xE7\xBD\xB8";  // 罸 in UTF-8

TEST(DemoContent, AccountAnswers) {
  demo::AccountBook book;
  const struct {
    std::string message;
    std::vector<std::string> answers;
  } cases[] = {
      {"%yhdr%demo" + kSep + "velnox", {"$yhts$登入成功，欢迎回来", "$yhdr$欢迎，demo"}},
      {"%yhdr%demo" + kSep + "Velnox", {"$yhts$密码错误，请重新输入"}},
      {"%yhdr%demo" + kSep, {"$yhts$请输入账号和密码"}},
      {"%yhdr%demo", {"$yhts$请输入账号和密码"}},  // no separator at all
      {"%yhdr%nobody" + kSep + "x", {"$yhts$账号不存在，请先注册"}},
      {"%yhjr%" + kSep + kSep, {"$yhts$请填写账号、密码和注册校验码"}},
      {"%yhjr%li" + kSep + "p" + kSep + "vx-2026", {"$yhts$注册校验码无效，请点击下方获取"}},
      {"%yhjr%demo" + kSep + "p" + kSep + "VX-2026", {"$yhts$该账号已被注册"}},
      // A new account can log in at once.
      {"%yhjr%li" + kSep + "a" + kSep + "VX-2026", {"$yhts$注册成功，请点击登入"}},
      {"%yhdr%li" + kSep + "a", {"$yhts$登入成功，欢迎回来", "$yhdr$欢迎，li"}},
      {"%yhid%Orvale0123456789ab", {}},
      {"%ov_xml%", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(book.answer(c.message), c.answers) << c.message;
}

TEST(DemoContent, EveryTextSurvivesTheClientsCodePage) {
  // The client holds texts in GBK and sends a detail request with the name it shows; a
  // character outside GBK would make the item unfindable.
  std::vector<std::string> texts = {demo::catalogueMessage(0), demo::noticeDocument(),
                                    demo::updateDocument(true, "http://h"), demo::adListMessage("http://h")};
  for (const auto& item : demo::catalogue()) {
    texts.push_back(item.name);
    texts.push_back(item.detail);
    EXPECT_EQ(item.name.find_first_of("#|\r\n"), std::string::npos) << item.name;
    EXPECT_EQ(demo::findItem(toUtf8(fromUtf8(item.name))), &item);
  }
  for (const auto& text : texts) EXPECT_EQ(toUtf8(fromUtf8(text)), text) << text;
}

TEST(DemoContent, DetailTextsUseAllThreeForms) {
  int plain = 0, two = 0, three = 0;
  for (const auto& item : demo::catalogue()) {
    int bars = 0;
    for (char c : item.detail) bars += c == '|';
    (bars == 0 ? plain : bars == 1 ? two : three) += 1;
  }
  EXPECT_GT(plain, 0);
  EXPECT_GT(two, 0);
  EXPECT_GT(three, 0);
}

TEST(DemoContent, PicturesHaveTheirDeclaredSizeAndFormat) {
  const std::string png = "\x89PNG";
  const std::string jpeg = "\xFF\xD8\xFF";
  const auto& items = demo::catalogue();
  for (int i = 0; i < int(items.size()); ++i) {
    const auto picture = demo::pictureForPath(demo::coverPath(i));
    if (items[std::size_t(i)].coverShape < 0) {
      EXPECT_FALSE(picture) << i;
      continue;
    }
    ASSERT_TRUE(picture) << i;
    const auto& shape = demo::coverShapes()[std::size_t(items[std::size_t(i)].coverShape)];
    EXPECT_EQ(pictureWidth(picture->bytes), shape.width) << i;
    EXPECT_EQ(pictureHeight(picture->bytes), shape.height) << i;
    const bool isPng = shape.format == demo::PictureFormat::Png;
    EXPECT_TRUE(picture->bytes.starts_with(isPng ? png : jpeg)) << i;
    EXPECT_EQ(picture->mediaType, isPng ? "image/png" : "image/jpeg") << i;
  }
  for (int slot = 1; slot <= 5; ++slot) {
    const auto picture = demo::pictureForPath(demo::adPath(slot));
    ASSERT_TRUE(picture) << slot;
    EXPECT_EQ(pictureWidth(picture->bytes), slot <= 3 ? 654 : 105) << slot;
    EXPECT_EQ(pictureHeight(picture->bytes), slot <= 3 ? 110 : 704) << slot;
  }
  EXPECT_FALSE(demo::pictureForPath("/pictures/../etc/passwd"));
  EXPECT_FALSE(demo::pictureForPath("/pictures/ad-6.png"));
}

}  // namespace
}  // namespace velnox::test
