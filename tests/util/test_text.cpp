#include "util/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <string>

using namespace velnox;

namespace {

// GBK bytes used below. The trail byte of U+7F78 is 0x55 ("U"), which makes it the
// character that shows whether an operation steps over double-byte characters whole.
const std::string kFa = "\xC1\x55";           // U+7F78, trail byte "U"
const std::string kZhong = "\xD6\xD0";        // U+4E2D
const std::string kWideSpace = "\xA1\xA1";    // U+3000 full-width space
const std::string kLeftBracket = "\xA1\xBE";  // U+3010
const std::string kAh = "\xB0\xA1";           // U+554A, trail byte A1

TEST(TextCut, LeftRightMidEdges) {
  const std::string t = "hello";
  EXPECT_EQ(left(t, -1), "");
  EXPECT_EQ(left(t, 0), "");
  EXPECT_EQ(left(t, 2), "he");
  EXPECT_EQ(left(t, 100), "hello");
  EXPECT_EQ(right(t, 0), "");
  EXPECT_EQ(right(t, 3), "llo");
  EXPECT_EQ(right(t, 100), "hello");
  EXPECT_EQ(mid(t, 2, 3), "ell");
  EXPECT_EQ(mid(t, 4, 100), "lo");
  EXPECT_EQ(mid(t, 0, 2), "");
  EXPECT_EQ(mid(t, 6, 1), "");
  EXPECT_EQ(mid(t, 5, 1), "o");
  EXPECT_EQ(mid(t, 1, 0), "");
  EXPECT_EQ(mid(t, INT32_MAX, INT32_MAX), "");
  EXPECT_EQ(mid(t, 1, INT32_MAX), "hello");
  // Cutting counts bytes and may halve a double-byte character.
  EXPECT_EQ(left(kZhong + "a", 1), "\xD6");
  EXPECT_EQ(length(kZhong + "a"), 3);
}

TEST(TextFind, Table) {
  struct Case {
    std::string text, needle;
    int32_t start;
    bool ignoreCase;
    int32_t expected;
  };
  const Case cases[] = {
      {"abcabc", "bc", 1, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "BC", 1, false, -1},
      {"abcabc", "BC", 1, true, 2},
      {"abc", "", 1, false, 1},
      {"abc", "", 3, false, 1},  // an empty needle gives 1, not the start
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      {"abc", "c", 4, false, -1},
      {"abc", "a", 0, false, 1},
      {"abc", "a", -5, false, 1},
      {"abc", "abcd", 1, false, -1},
      // Never found at the second byte of a double-byte character.
      {kFa + "U", "U", 1, false, 3},
      {kFa, "U", 1, false, -1},
      {kFa, "u", 1, true, -1},
      {"x" + kAh + "\xA1\xBE", kLeftBracket, 1, false, 4},
      // A start on a second byte scans from there, counting characters anew.
      {kFa, "U", 2, false, 2},
      {"a" + kZhong + "b", kZhong, 1, false, 2},
      // Case-blind comparison leaves double-byte characters exact.
      {"x" + kFa, "\xC1\x75", 1, true, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(find(c.text, c.needle, c.start, c.ignoreCase), c.expected)
        << "text=" << c.text << " needle=" << c.needle << " start=" << c.start;
  }
}

TEST(TextFind, LastWithinRegion) {
  EXPECT_EQ(findLast("abcabc", "bc"), 5);
  EXPECT_EQ(findLast("abcabc", "bc", 6), 2);  // region "abcab": the second one sticks out
  EXPECT_EQ(findLast("abcabc", "bc", 7), 5);
  EXPECT_EQ(findLast("abcabc", "bc", 100), 5);
  EXPECT_EQ(findLast("abcabc", "bc", 1), -1);
  EXPECT_EQ(findLast("abcabc", "bc", -3), -1);
  EXPECT_EQ(findLast("abc", ""), 1);
  EXPECT_EQ(findLast("", ""), -1);
  EXPECT_EQ(findLast("aaaa", "aa"), 3);  // overlapping occurrences count
  EXPECT_EQ(findLast("ABab", "ab", std::nullopt, true), 3);
  EXPECT_EQ(findLast(kFa + kFa, "U"), -1);
}

TEST(TextReplace, Table) {
  struct Case {
    std::string text, needle, repl;
    bool caseSensitive;
    int32_t start;
    std::optional<int32_t> count;
    std::string expected;
  };
  const Case cases[] = {
      {"a-a-a", "a", "x", true, 1, std::nullopt, "x-x-x"},
      {"a-a-a", "a", "x", true, 1, 1, "x-a-a"},
      {"a-a-a", "a", "x", true, 1, 0, "a-a-a"},
      {"a-a-a", "a", "x", true, 1, -1, "x-x-x"},
      {"a-a-a", "a", "x", true, 2, std::nullopt, "a-x-x"},
      {"a-a-a", "a", "x", true, 5, std::nullopt, "a-a-x"},
      {"a-a-a", "a", "x", true, 6, std::nullopt, "a-a-a"},
      {"a-a-a", "a", "x", true, 0, std::nullopt, "x-x-x"},
      {"A-a", "a", "x", true, 1, std::nullopt, "A-x"},
      {"A-a", "a", "x", false, 1, std::nullopt, "x-x"},
      {"", "a", "x", true, 1, std::nullopt, ""},
      {"abc", "", "x", true, 1, std::nullopt, "abc"},
      {"aaa", "aa", "b", true, 1, std::nullopt, "ba"},          // no overlaps
      {"aa", "a", "aa", true, 1, std::nullopt, "aaaa"},         // a replacement is not searched again
      {kFa + "U", "U", "u", true, 1, std::nullopt, kFa + "u"},  // the trail byte stays
      {"abc", "b", "", true, 1, std::nullopt, "ac"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replace(c.text, c.needle, c.repl, c.caseSensitive, c.start, c.count), c.expected)
        << "text=" << c.text << " needle=" << c.needle << " start=" << c.start;
  }
}

TEST(TextSplit, Pieces) {
  EXPECT_EQ(split("a,,b"), (TextList{"a", "", "b"}));
  EXPECT_EQ(split("a,"), (TextList{"a"}));
  EXPECT_EQ(split(",a"), (TextList{"", "a"}));
  EXPECT_EQ(split(","), (TextList{""}));
  EXPECT_EQ(split(""), TextList{});
  EXPECT_EQ(split("a,b", ""), (TextList{"a,b"}));
  EXPECT_EQ(split("a<>b<>c", "<>"), (TextList{"a", "b", "c"}));
  EXPECT_EQ(split("a,b,c", ",", 2), (TextList{"a", "b"}));
  EXPECT_EQ(split("a,b,c", ",", 5), (TextList{"a", "b", "c"}));
  EXPECT_EQ(split("a,b,c", ",", 0), TextList{});
  EXPECT_EQ(split("a,b,c", ",", -1), (TextList{"a", "b", "c"}));
  // A separator byte that is the second byte of a double-byte character does not split.
  EXPECT_EQ(split("x" + kFa + "yUz", "U"), (TextList{"x" + kFa + "y", "z"}));
  // A lead byte at the very end stays in the last piece.
  EXPECT_EQ(split("a,\xD6", ","), (TextList{"a", "\xD6"}));
}

TEST(TextSplit, NonEmpty) {
  TextList out{"stale"};
  EXPECT_EQ(splitNonEmpty("|a||b|", "|", 0, out), 2);
  EXPECT_EQ(out, (TextList{"a", "b"}));
  EXPECT_EQ(splitNonEmpty("|||", "|", 0, out), 0);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(splitNonEmpty("", "|", 0, out), 0);
  EXPECT_EQ(splitNonEmpty("a,b", "", 0, out), 2);  // an empty separator means ","
  EXPECT_EQ(out, (TextList{"a", "b"}));
  // maxCount counts pieces of the split, empty ones included.
  EXPECT_EQ(splitNonEmpty("a||b|c", "|", 2, out), 1);
  EXPECT_EQ(splitNonEmpty(",,a,", ","), (TextList{"a"}));
}

TEST(TextTrimCase, Edges) {
  EXPECT_EQ(trim("  ab c  "), "ab c");
  EXPECT_EQ(trim(kWideSpace + " a" + kWideSpace + " "), "a");
  EXPECT_EQ(trim("\r\nabc"), "\r\nabc");
  EXPECT_EQ(trim("\tabc\t"), "\tabc\t");
  EXPECT_EQ(trim("   "), "");
  EXPECT_EQ(trim(""), "");
  // The bytes A1 A1 at the end are the trail of U+554A and a lone lead byte, not a blank.
  EXPECT_EQ(trim(kAh + "\xA1"), kAh + "\xA1");
  // A lead byte takes the byte after it, even a space, as its second byte.
  EXPECT_EQ(trim(kAh + "\xA1 "), kAh + "\xA1 ");

  EXPECT_EQ(toUpper("abC1z"), "ABC1Z");
  EXPECT_EQ(toLower("ABc1Z"), "abc1z");
  EXPECT_EQ(toLower(kFa), kFa);  // trail byte "U" is not a letter
  EXPECT_EQ(toUpper("\xC1\x75"), "\xC1\x75");
  EXPECT_EQ(toUpper("a\xD6"), "A\xD6");
}

TEST(TextNumber, ToNumberAndToInt) {
  struct Case {
    std::string text;
    double number;
    int32_t integer;
  };
  const Case cases[] = {
      {"104", 104, 104},
      {"", 0, 0},
      {"a104", 0, 0},
      {"  -3.9xyz", -3.9, -3},
      {"+7", 7, 7},
      {"\xA3\xB1\xA3\xB0\xA3\xB4", 104, 104},                       // full-width digits
      {kWideSpace + "\xA3\xAD\xA3\xB5\xA3\xAE\xA3\xB5", -5.5, -5},  // full-width space, minus, point
      {"1.5e3", 1500, 1},
      {"1e", 1, 1},
      {".5", 0.5, 0},
      {"-", 0, 0},
      {"0x1A", 0, 0},  // decimal only
      {"inf", 0, 0},
      {"nan", 0, 0},
      {"\t\n 12", 12, 12},
      {"99999999999", 99999999999.0, INT32_MAX},
      {"-99999999999", -99999999999.0, INT32_MIN},
      {"2147483647", 2147483647.0, INT32_MAX},
      {"-2147483648", -2147483648.0, INT32_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(toNumber(c.text), c.number) << c.text;
    EXPECT_EQ(toInt(c.text), c.integer) << c.text;
  }
  EXPECT_TRUE(std::isinf(toNumber("1e999")));
}

TEST(TextMisc, ToTextConcatFindBytes) {
  EXPECT_EQ(toText(0), "0");
  EXPECT_EQ(toText(-42), "-42");
  EXPECT_EQ(toText(INT32_MIN), "-2147483648");
  EXPECT_EQ(concat({"a", "", "bc"}), "abc");

  EXPECT_EQ(findBytes("abcabc", "ca"), 3);
  EXPECT_EQ(findBytes("abcabc", "c", 4), 6);
  EXPECT_EQ(findBytes("abc", "a", 0), 1);
  EXPECT_EQ(findBytes("", "a"), -1);
  EXPECT_EQ(findBytes("abc", ""), -1);
  EXPECT_EQ(findBytes("abc", "c", 4), -1);
  EXPECT_EQ(findBytes("abc", "c", -7), 3);
  EXPECT_EQ(findBytes("abc", "abcd"), -1);
  EXPECT_EQ(findBytes("xABC", "bc", 1, true), 3);
  // Unlike find, a byte search sees the second byte of a double-byte character.
  EXPECT_EQ(findBytes(kFa, "U"), 2);
}

// The search skips ahead with memchr and decides from the bytes before a hit whether it
// begins a character; a plain walk over every character must find the same positions.
TEST(TextFind, AgreesWithCharacterWalk) {
  auto walkFind = [](const std::string& t, const std::string& n, size_t from, bool ic) -> int32_t {
    for (size_t i = from; i + n.size() <= t.size(); i += static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1) {
      bool same = true;
      for (size_t k = 0; k < n.size() && same; ++k) {
        char a = t[i + k], b = n[k];
        if (ic && a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
        if (ic && b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
        same = a == b;
      }
      if (same) return static_cast<int32_t>(i + 1);
    }
    return -1;
  };
  const char alphabet[] = {'a', 'A', ',', 'U', '\xC1', '\x55', '\xD6', '\xA1', '\x80', '\xFE'};
  const std::string needles[] = {",", "U", "\xA1", "\xA1\xA1", "\xD6\xA1", "a,", "\xC1\x55", "A"};
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    std::string t;
    for (int i = static_cast<int>(rng() % 24); i > 0; --i) t += alphabet[rng() % sizeof alphabet];
    const std::string& n = needles[rng() % std::size(needles)];
    const int32_t start = static_cast<int32_t>(rng() % 4) + 1;
    const bool ic = n == "A" && rng() % 2;
    if (static_cast<size_t>(start) <= t.size()) {
      EXPECT_EQ(velnox::find(t, n, start, ic), walkFind(t, n, static_cast<size_t>(start) - 1, ic)) << t;
    }
    // replace and split see the same occurrences.
    std::string marked;
    int32_t from = 1, pos;
    while ((pos = velnox::find(t, n, from)) > 0) {
      marked += t.substr(static_cast<size_t>(from) - 1, static_cast<size_t>(pos - from)) + "#";
      from = pos + static_cast<int32_t>(n.size());
    }
    if (static_cast<size_t>(from) <= t.size()) marked += t.substr(static_cast<size_t>(from) - 1);
    EXPECT_EQ(replace(t, n, "#", true), marked) << t;
  }
}

TEST(TextLarge, LinearOnHugeInput) {
  // 10 MB of separators only and of needles only: a quadratic walk would not finish.
  const std::string seps(10'000'000, '|');
  TextList out;
  EXPECT_EQ(splitNonEmpty(seps, "|", 0, out), 0);
  const std::string as(10'000'000, 'a');
  EXPECT_EQ(replace(as, "a", "", true).size(), 0u);
  EXPECT_EQ(find(as, "ab"), -1);
  EXPECT_EQ(findLast(as, "b"), -1);
  // A text of lead bytes only: every character is two bytes, nothing reads past the end.
  const std::string leads(1'000'001, '\xD6');
  EXPECT_EQ(find(leads, ","), -1);
  EXPECT_EQ(trim(leads).size(), leads.size());
}

}  // namespace
