#include "util/encoding.h"

#include <gtest/gtest.h>

#include <string>

using namespace velnox;
using namespace std::string_literals;

namespace {

TEST(Encoding, ToUtf8) {
  struct Case {
    std::string gbk, utf8;
  };
  const Case cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"\xC1\x55", "\xE7\xBD\xB8"},  // U+7F78
      {"\xA1\xBE"
       "a\xA1\xBF",
       "\xE3\x80\x90"
       "a\xE3\x80\x91"},
      {"\x80", "\xE2\x82\xAC"},  // 0x80 is the euro sign
      // Bad input becomes "?" and the conversion goes on after it.
      {"a\xD6", "a?"},    // lone lead byte at the end
      {"\xD6 b", "? b"},  // lead byte before a byte that cannot follow it
      {"\xFF"
       "x",
       "?x"},
      {"\xAA\xA1"
       "x",
       "?x"},             // a well-formed pair CP936 leaves unassigned: one "?"
      {"ab\0cd"s, "ab"},  // a text ends at its first zero byte
  };
  for (const auto& c : cases) EXPECT_EQ(toUtf8(c.gbk), c.utf8) << c.gbk;
  EXPECT_TRUE(toUtf8("").empty());  // no terminator, not even for the empty text
}

TEST(Encoding, FromUtf8) {
  struct Case {
    std::string utf8, gbk;
  };
  const Case cases[] = {
      {"", ""},
      {"abc\0def"s, "abc"},
      {"\xE7\xBD\xB8", "\xC1\x55"},
      {"\xE2\x82\xAC", "\x80"},
      {"a\xF0\x9F\x98\x80"
       "b",
       "a?b"},                // a character CP936 lacks: one "?"
      {"\xEF\xBF\xBD", "?"},  // U+FFFD itself is not in CP936 either
      // Bytes that begin no valid sequence: one "?" each.
      {"a\xE7\xBD", "a??"},  // truncated at the end
      {"\xC0\x80"
       "x",
       "??x"},                  // overlong zero
      {"\xED\xA0\x80", "???"},  // encoded surrogate
      {"\xFF\xFE"
       "z",
       "??z"},
      {"\x80", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(fromUtf8(c.utf8), c.gbk) << c.utf8;
}

TEST(Encoding, RoundTripOfEveryAssignedDoubleByteCharacter) {
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      std::string ch{static_cast<char>(lead), static_cast<char>(trail)};
      std::string u = toUtf8(ch);
      if (u == "?") continue;  // unassigned in CP936
      all += ch;
    }
  }
  ASSERT_GT(all.size(), 40000u);
  EXPECT_EQ(fromUtf8(toUtf8(all)), all);
}

TEST(Encoding, GbkToUtf16) {
  EXPECT_EQ(gbkToUtf16("a"), "a\0\0\0"s);
  EXPECT_EQ(gbkToUtf16(""), "");
  EXPECT_EQ(gbkToUtf16("\xC1\x55"), "\x78\x7F\0\0"s);
  EXPECT_EQ(gbkToUtf16("a\xD6"), "a\0?\0\0\0"s);
}

// Test vectors from RFC 1321, appendix A.5 (the MD5 test suite).
TEST(Encoding, Md5Rfc1321Vectors) {
  struct Case {
    std::string message, digest;
  };
  const Case cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases) EXPECT_EQ(hashHex(c.message), c.digest) << c.message;
  EXPECT_EQ(hashHex("a\0b"s), hashHex("a\0b"s));  // bytes, zeros included
  EXPECT_NE(hashHex("a\0b"s), hashHex("a"));
  EXPECT_EQ(md5OfText("abc"), "3cd24fb0d6963f7d");
  EXPECT_EQ(md5OfText(""), "8f00b204e9800998");
}

}  // namespace
