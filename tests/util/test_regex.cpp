#include "util/regex.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "util/text.h"

using namespace velnox;

namespace {

const std::string kOpen = "\xA1\xBE";   // 【
const std::string kClose = "\xA1\xBF";  // 】
const std::string kAh = "\xB0\xA1";     // U+554A: its second byte is the first byte of both brackets
const std::string kJin = "\xBE\xA1";    // U+5C3D: after kAh the bytes A1 BE appear across two characters
const std::string kZhong = "\xD6\xD0";  // U+4E2D
const std::string kQuote = "#\xD2\xFD\xBA\xC5";

TEST(TrimLineBreaks, Table) {
  struct Case {
    std::string text, expected;
  };
  const Case cases[] = {
      {"\r\nabc\r\n", "abc"},
      {"abc\r\n\r\ndef", "abc\r\ndef"},
      {"abc\r\n\r\n\r\ndef", "abc\r\ndef"},
      {"abc\r\n\r\n", "abc\r"},
      {"\r\n\r\nabc", "\nabc"},
      {"plain text", "plain text"},
      {"\r\n", ""},
      {"", ""},
      {"a\n\nb", "a\nb"},
      {"a\r\rb", "a\rb"},
      {kZhong + "\r\n\r\n" + kZhong, kZhong + "\r\n" + kZhong},
      // Text that is not GBK comes back with "?" where a character could not be read.
      {"a\xFF\r\n\r\nb", "a?\r\nb"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimLineBreaks(c.text), c.expected) << c.text;
  const std::string many(4'000'000, '\n');
  EXPECT_EQ(trimLineBreaks("x" + many + "y"), "x\ny");
}

TEST(EscapeForPattern, Table) {
  EXPECT_EQ(escapeForPattern("a(1)?"), "a\\(1\\)\\?");
  EXPECT_EQ(escapeForPattern(kQuote), "\"");
  EXPECT_EQ(escapeForPattern("*+[]{}"), "\\*\\+\\[\\]\\{\\}");
  EXPECT_EQ(escapeForPattern("a\r\nb"), "a\\nb");
  EXPECT_EQ(escapeForPattern(".^$|\\"), ".^$|\\");  // left with their pattern meaning
  EXPECT_EQ(escapeForPattern(kOpen), kOpen);
}

TEST(ReplacePairs, AppliesInTurnWithDefaults) {
  EXPECT_EQ(replacePairs("aAbB", std::nullopt, std::nullopt, std::nullopt, {{"a", "b"}, {"b", "c"}}), "cccc");
  EXPECT_EQ(replacePairs("aAbB", std::nullopt, std::nullopt, true, {{"a", "b"}, {"b", "c"}}), "cAcB");
  EXPECT_EQ(replacePairs("a-a-a", 1, 0, std::nullopt, {{"a", "x"}}), "x-a-a");
  EXPECT_EQ(replacePairs("a-a-a", std::nullopt, 2, std::nullopt, {{"a", "x"}}), "a-x-x");
}

TEST(ExtractBetween, BracketedItems) {
  TextList out{"stale"};
  EXPECT_EQ(extractBetween("x" + kOpen + "a" + kClose + "y" + kOpen + kClose + "z" + kOpen + "b", kOpen,
                           kClose, out),
            2);
  EXPECT_EQ(out, (TextList{"a", ""}));
  EXPECT_EQ(extractBetween(kOpen + "a" + kOpen + "b" + kClose, kOpen, kClose, out), 1);
  EXPECT_EQ(out, (TextList{"a" + kOpen + "b"}));
  EXPECT_EQ(extractBetween(kClose + "a" + kOpen + "b" + kClose, kOpen, kClose, out), 1);
  EXPECT_EQ(out, (TextList{"b"}));
  EXPECT_EQ(extractBetween("x" + kOpen + "a", kOpen, kClose, out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(extractBetween("", kOpen, kClose, out), 0);
  // Line breaks belong to the item; bytes that only look like a bracket across two
  // characters are no bracket.
  EXPECT_EQ(extractBetween(kOpen + "a\r\nb" + kClose + kAh + kJin + "x" + kClose, kOpen, kClose, out), 1);
  EXPECT_EQ(out, (TextList{"a\r\nb"}));
  // The text ends at its first zero byte, for plain markers and for the engine alike.
  const std::string zeroInside = kOpen + "a" + kClose + std::string(1, '\0') + kOpen + "b" + kClose;
  EXPECT_EQ(extractBetween(zeroInside, kOpen, kClose, out), 1);
  EXPECT_EQ(out, (TextList{"a"}));
  EXPECT_EQ(extractBetween("<b>a</b>" + std::string(1, '\0') + "<b>b</b>", "<b>", "</b>", out), 1);
  EXPECT_EQ(out, (TextList{"a"}));
}

TEST(ExtractBetween, Options) {
  const std::string doc = kOpen + "ab" + kClose + kOpen + "abcd" + kClose;
  TextList out;
  EXPECT_EQ(extractBetween(doc, kOpen, kClose, out, 3), 1);
  EXPECT_EQ(out, (TextList{"ab"}));
  EXPECT_EQ(extractBetween(doc, kOpen, kClose, out, 0, "<", ">", true, true), 2);
  EXPECT_EQ(out, (TextList{kOpen + "<ab>" + kClose, kOpen + "<abcd>" + kClose}));
}

TEST(ExtractBetween, MarkersWithPatternMeaningOrLetters) {
  TextList out;
  EXPECT_EQ(extractBetween("a(b)c(d)", "(", ")", out), 2);
  EXPECT_EQ(out, (TextList{"b", "d"}));
  // Markers are compared case-blind.
  EXPECT_EQ(extractBetween("<B>x</b><b>y</B>", "<b>", "</B>", out), 2);
  EXPECT_EQ(out, (TextList{"x", "y"}));
  // A CR LF in a marker matches a lone LF.
  EXPECT_EQ(extractBetween("[\nv\n]", "[\r\n", "\r\n]", out), 1);
  EXPECT_EQ(out, (TextList{"v"}));
  // "#引号" stands for a double quote.
  EXPECT_EQ(extractBetween("k=\"v\";", kQuote, kQuote, out), 1);
  EXPECT_EQ(out, (TextList{"v"}));
}

// The byte search used for plain markers must give what the engine gives.
TEST(ExtractBetween, PlainMarkersAgreeWithTheEngine) {
  const std::string pieces[] = {kOpen, kClose, "a", "\r\n", kZhong, kAh, kJin, "\x80", "-", kOpen + kClose};
  const std::pair<std::string, std::string> markers[] = {{kOpen, kClose}, {"-", kClose}, {kOpen + "-", "-"}};
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    std::string subject;
    int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) subject += pieces[rng() % std::size(pieces)];
    for (const auto& [l, r] : markers) {
      TextList fast;
      extractBetween(subject, l, r, fast);
      RegexObject re;
      ASSERT_TRUE(re.execute(escapeForPattern(l) + "([\\s\\S]*?)" + escapeForPattern(r), subject));
      TextList engine;
      for (int i = 1; i <= re.matchCount(); ++i) engine.push_back(re.subMatchText(i, 1));
      EXPECT_EQ(fast, engine) << "subject bytes: " << subject;
    }
  }
}

TEST(ExtractBetween, MarkersThatNeverCloseStayLinear) {
  TextList out;
  std::string opens;
  for (int i = 0; i < 2'000'000; ++i) opens += kOpen;
  EXPECT_EQ(extractBetween(opens, kOpen, kClose, out), 0);
  std::string leads(3'000'001, '\xA1');  // one long run of lead bytes, a lone one at the end
  EXPECT_EQ(extractBetween(leads + kClose, kOpen, kClose, out), 0);
  // Markers that go through the engine: a right marker that never occurs in full.
  EXPECT_EQ(extractBetween(std::string(2'000'000, '(') + ")", "(", "x)", out), 0);
  EXPECT_EQ(extractBetween(std::string(2'000'000, 'a') + "b", "A", "b)", out), 0);
}

TEST(RegexObject, MatchesGroupsAndOptions) {
  RegexObject re;
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.replaceMatches("x"), "");
  EXPECT_EQ(re.patternText(), "");

  ASSERT_TRUE(re.execute("(a)(x)?", "A-a"));
  EXPECT_EQ(re.matchCount(), 2);
  EXPECT_EQ(re.matchText(1), "A");
  EXPECT_EQ(re.subMatchText(2, 1), "a");
  EXPECT_EQ(re.subMatchText(2, 2), "");  // took no part
  EXPECT_EQ(re.subMatchText(3, 1), "");
  EXPECT_EQ(re.subMatchText(1, 3), "");
  EXPECT_EQ(re.subMatchCount(), 2);
  EXPECT_EQ(re.replaceMatches("[$1$2$&$$]"), "[AA$]-[aa$]");
  EXPECT_EQ(re.patternText(), "(a)(x)?");

  ASSERT_TRUE(re.execute("a", "A-a", true));
  EXPECT_EQ(re.matchCount(), 1);
  ASSERT_TRUE(re.execute("a", "a-a", false, true, false));
  EXPECT_EQ(re.replaceMatches("b"), "b-a");
  ASSERT_TRUE(re.execute("^b", "a\rb\nb", false, true));
  EXPECT_EQ(re.matchCount(), 2);
  ASSERT_TRUE(re.execute("^b", "a\rb\nb", false, false));
  EXPECT_EQ(re.matchCount(), 0);
  ASSERT_TRUE(re.execute("a" + kQuote, "a\"", false, true, true, true));
  EXPECT_EQ(re.matchCount(), 1);
  EXPECT_EQ(re.patternText(), "a\"");

  // Empty matches: one at every character boundary, the search stepping a whole character.
  ASSERT_TRUE(re.execute("x*", kZhong + "b"));
  EXPECT_EQ(re.matchCount(), 3);
  EXPECT_EQ(re.replaceMatches("-"), "-" + kZhong + "-b-");

  // GBK in, GBK out.
  ASSERT_TRUE(re.execute(kZhong + "(.)", "a" + kZhong + kAh));
  EXPECT_EQ(re.subMatchText(1, 1), kAh);

  EXPECT_FALSE(re.execute("(unclosed", "x"));
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(re.replaceMatches(""), "");
}

TEST(RegexObject, CopySharesMatchesAndDestroyReleases) {
  RegexObject re;
  ASSERT_TRUE(re.execute("b+", "abbc"));
  RegexObject copy(re);
  re.destroy();
  EXPECT_EQ(re.matchCount(), 0);
  EXPECT_EQ(copy.matchCount(), 1);
  EXPECT_EQ(copy.matchText(1), "bb");
  EXPECT_EQ(copy.replaceMatches(""), "ac");
}

}  // namespace
