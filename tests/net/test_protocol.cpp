// The token chain: which effects a received message produces, in which order, and with
// which payloads.
#include <gtest/gtest.h>

#include <random>

#include "net/protocol.h"
#include "util/encoding.h"

namespace velnox {
namespace {

struct ChainCase {
  const char* name;
  std::string message;
  std::vector<std::pair<EffectKind, std::string>> expected;
};

using K = EffectKind;

class TokenChain : public ::testing::TestWithParam<ChainCase> {};

TEST_P(TokenChain, YieldsEffectsInOrder) {
  const ChainCase& c = GetParam();
  const auto effects = tokenChain(c.message);
  ASSERT_EQ(effects.size(), c.expected.size());
  for (size_t i = 0; i < effects.size(); ++i) {
    EXPECT_EQ(effects[i].kind, c.expected[i].first) << i;
    EXPECT_EQ(effects[i].payload, c.expected[i].second) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TokenChain,
    ::testing::Values(
        ChainCase{"hint", "$yhts$hello", {{K::AccountHint, "hello"}}},
        // A later token at the start of the payload is handled again under that token.
        ChainCase{
            "hint_then_login", "$yhts$$yhdr$ok", {{K::AccountHint, "$yhdr$ok"}, {K::LoginAccepted, "ok"}}},
        // An earlier token is never tested again.
        ChainCase{"login_then_hint_text", "$yhdr$$yhts$x", {{K::LoginAccepted, "$yhts$x"}}},
        ChainCase{"empty_catalogue", "$ov_ml$", {{K::CatalogueData, ""}}},
        ChainCase{"inner_occurrences_removed", "$ov_dz$A$ov_dz$B", {{K::DetailText, "AB"}}},
        ChainCase{"catalogue_name_loses_token", "$ov_ml$a$ov_ml$b#2020", {{K::CatalogueData, "ab#2020"}}},
        ChainCase{"byte_before_token", "x$yhts$a", {}}, ChainCase{"other_letter_case", "$YHTS$a", {}},
        ChainCase{"six_bytes_of_cover_token", "$ov_tp", {}}, ChainCase{"unknown", "hello", {}},
        ChainCase{"empty", "", {}},
        // The detail text is trimmed, and the next token is tested on the trimmed text.
        ChainCase{"detail_trimmed", "$ov_dz$\r\nabc\r\n", {{K::DetailText, "abc"}}},
        ChainCase{"detail_then_cover",
                  "$ov_dz$$ov_tp$http://x/c.png",
                  {{K::DetailText, "$ov_tp$http://x/c.png"}, {K::CoverAddress, "http://x/c.png"}}},
        ChainCase{"trim_exposes_cover",
                  "$ov_dz$\r\n$ov_tp$u",
                  {{K::DetailText, "$ov_tp$u"}, {K::CoverAddress, "u"}}},
        // A token is never found starting at the second byte of a double-byte character.
        ChainCase{"token_inside_double_byte", "$ov_ml$\xB0$ov_ml$x", {{K::CatalogueData, "\xB0$ov_ml$x"}}},
        ChainCase{"lead_byte_at_end", "$ov_ml$ab\xB0", {{K::CatalogueData, "ab\xB0"}}},
        ChainCase{"zero_byte_ends_text", std::string("$yhts$ab\0cd", 11), {{K::AccountHint, "ab"}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenRemoval, StepsOverWholeCharacters) {
  EXPECT_EQ(removeToken("a$yhts$b$yhts$", "$yhts$"), "ab");
  EXPECT_EQ(removeToken("$yht", "$yhts$"), "$yht");
  EXPECT_EQ(removeToken("\xB0$yhts$", "$yhts$"), "\xB0$yhts$");
  EXPECT_EQ(removeToken("\xB0\xB0$yhts$\xB0", "$yhts$"), "\xB0\xB0\xB0");
  EXPECT_EQ(removeToken("$yh$yhts$ts$", "$yhts$"), "$yhts$");  // not removed again
}

// The removal finds candidates by search and decides character starts by looking back;
// it must agree with reading the text one whole character at a time.
TEST(TokenRemoval, AgreesWithACharacterByCharacterReading) {
  auto reference = [](std::string_view text, std::string_view token) {
    Text out;
    size_t i = 0;
    while (i < text.size()) {
      if (text.substr(i, token.size()) == token) {
        i += token.size();
        continue;
      }
      const size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
      out.append(text.substr(i, step));
      i += step;
    }
    return out;
  };
  std::mt19937 random(7);
  const char alphabet[] = {'$', 'o', 'v', '_', 'm', 'l', '\xB0', '\xA1', 'x'};
  for (int round = 0; round < 20000; ++round) {
    std::string text(random() % 24, ' ');
    for (char& c : text) c = alphabet[random() % sizeof alphabet];
    if (random() % 2) text.insert(random() % (text.size() + 1), "$ov_ml$");
    ASSERT_EQ(removeToken(text, "$ov_ml$"), reference(text, "$ov_ml$")) << text;
  }
}

TEST(AdListParsing, KeepsWellFormedLinesOfTheFirstFive) {
  const auto entries = parseAdList(
      "http://p/1.png|http://c/1\r\n"
      "one-field\r\n"
      "a|b|c\r\n"
      "\r\n\r\n"
      "http://p/4.png|http://c/4\r\n"
      "|http://p/5.png||http://c/5|\r\n"
      "http://p/6.png|http://c/6\r\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].slot, 1);
  EXPECT_EQ(entries[0].pictureUrl, "http://p/1.png");
  EXPECT_EQ(entries[0].clickUrl, "http://c/1");
  EXPECT_EQ(entries[1].slot, 4);
  EXPECT_EQ(entries[2].slot, 5);
  EXPECT_EQ(entries[2].clickUrl, "http://c/5");
}

TEST(AdListParsing, ShortPayloadsFillWhatTheyHave) {
  EXPECT_TRUE(parseAdList("").empty());
  const auto entries = parseAdList("a|b");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].slot, 1);
}

TEST(Downloads, FetchAdPicturesAndCoverInOrder) {
  auto effects = tokenChain("$ov_gg$p1|c1\r\np2|c2");
  auto cover = tokenChain("$ov_tp$http://cover");
  effects.insert(effects.end(), cover.begin(), cover.end());
  std::vector<Text> asked;
  fetchDownloads(effects, [&](const Text& url) {
    asked.push_back(url);
    return "bytes of " + url;
  });
  EXPECT_EQ(asked, (std::vector<Text>{"p1", "p2", "http://cover"}));
  EXPECT_EQ(effects[0].adEntries[1].picture, "bytes of p2");
  EXPECT_EQ(effects[1].cover, "bytes of http://cover");
}

TEST(ClientMessages, AccountFieldsAreSeparatedByTheSeparatorCharacter) {
  // On the wire the separator is E7 BD B8; nothing is escaped or appended.
  EXPECT_EQ(toUtf8(loginRequest("user", "")), "%yhdr%user\xE7\xBD\xB8");
  EXPECT_EQ(toUtf8(signupRequest("", "", "")), "%yhjr%\xE7\xBD\xB8\xE7\xBD\xB8");
  EXPECT_EQ(toUtf8(loginRequest("a\xC1\x55", "p")), "%yhdr%a\xE7\xBD\xB8\xE7\xBD\xB8p");
  EXPECT_EQ(detailRequest("t"), "%ov_mc%t");
  EXPECT_EQ(catalogueRequest(), "%ov_xml%");
}

}  // namespace
}  // namespace velnox
