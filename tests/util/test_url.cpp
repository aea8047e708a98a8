#include "util/url.h"

#include <gtest/gtest.h>

namespace velnox {
namespace {

struct UrlCase {
  const char* url;
  const char* host;
  const char* hostWithPort;
  int32_t port;
  const char* path;
};

TEST(UrlParts, HostPortAndPathAsTheEngineConnects) {
  const UrlCase cases[] = {
      {"HTTPS://WWW.Example.COM:81/a/b?x=1", "www.example.com", "www.example.com:81", 81, "/a/b?x=1"},
      {"https://Host.example/A/B?Q=Z", "host.example", "host.example", 443, "/A/B?Q=Z"},
      {"example.com/x", "example.com", "example.com", 80, "/x"},
      {"http://example.com", "example.com", "example.com", 80, "/"},
      {"HTTPS://EXAMPLE.COM", "example.com", "example.com", 443, "/"},
      {"http://127.0.0.1:19761/update", "127.0.0.1", "127.0.0.1:19761", 19761, "/update"},
      // A query with no path before it stays in the host.
      {"https://example.com?q=1", "example.com?q=1", "example.com?q=1", 443, "/"},
      // User information is not recognised: the host part holds all of it.
      {"http://user:pw@example.com/p", "user", "user:pw@example.com", 0, "/p"},
      // A port that is no number reads as 0.
      {"http://example.com:abc/", "example.com", "example.com:abc", 0, "/"},
      {"", "", "", 80, "/"},
      // A host that also occurs inside the scheme: the path is looked for after it.
      {"http://h/x", "h", "h", 80, "/x"},
      {"https://tp:8443/y/z", "tp", "tp:8443", 8443, "/y/z"},
  };
  for (const UrlCase& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(urlHost(c.url), c.host);
    EXPECT_EQ(urlHost(c.url, true), c.hostWithPort);
    EXPECT_EQ(urlPort(c.url), c.port);
    EXPECT_EQ(urlPath(c.url), c.path);
  }
}

TEST(UrlParts, DoubleByteHostKeepsItsBytesAndCaseOfThePath) {
  // A GBK host ("测试") is lowered by ASCII only, so its bytes stay.
  const Text url = "http://\xB2\xE2\xCA\xD4.Example/\xB2\xE2/A";
  EXPECT_EQ(urlHost(url), "\xB2\xE2\xCA\xD4.example");
  EXPECT_EQ(urlPath(url), "/\xB2\xE2/A");
}

TEST(NormalizeHeaderNames, RaisesFirstLettersOfEachNamePiece) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"content-type: text/html\r\n\r\nx-token: a\r\nno colon here", "Content-Type: text/html\r\nX-Token: a"},
      {"x-requested-with:XMLHttpRequest", "X-Requested-With:XMLHttpRequest"},
      // Only first letters are raised, none lowered; the value is kept as written.
      {"USER-AGENT: a:b", "USER-AGENT: a:b"},
      {"user-agent: Foo/1\r\naccept: */*", "User-Agent: Foo/1\r\nAccept: */*"},
      {"a--b: 1", "A--B: 1"},
      {"", ""},
      {"no colon\r\nat all", ""},
      {": empty name", ": empty name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(normalizeHeaderNames(c.in), c.out);
  }
}

TEST(TextHelpers, CapitalizeBetweenBeforeAndAfterColon) {
  EXPECT_EQ(capitalizeFirst("abc"), "Abc");
  EXPECT_EQ(capitalizeFirst(""), "");
  EXPECT_EQ(capitalizeFirst("\xB2\xE2x"), "\xB2\xE2x");

  EXPECT_EQ(textBetween("ab=cd;ef", "=", ";"), "cd");
  EXPECT_EQ(textBetween("ab=cd;ef", "#", ";"), "");
  EXPECT_EQ(textBetween("ab=cd;ef", "=", "#"), "");
  EXPECT_EQ(textBetween("a;b=c", "=", ";"), "");  // the right marker is looked for after the left
  // "#引号" in a marker stands for a double quote.
  const Text quote = "#\xD2\xFD\xBA\xC5";
  EXPECT_EQ(textBetween("name=\"value\" rest", "=" + quote, quote), "value");

  EXPECT_EQ(textBefore("Set-Cookie: a=1", ": "), "Set-Cookie");
  EXPECT_EQ(textBefore("Set-Cookie:a=1", ": "), "");
  EXPECT_EQ(textAfterColon("User-Agent:  Foo/1  "), "Foo/1");
  EXPECT_EQ(textAfterColon("no colon"), "");
  EXPECT_EQ(textAfterColon("a: b: c"), "b: c");
}

TEST(MergeCookies, ReceivedFirstThenHeldWithOtherNames) {
  const struct {
    const char* held;
    const char* received;
    const char* merged;
  } cases[] = {
      {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
      {"a=1; b=2", "a=deleted", "b=2"},
      {"a=1;", "", "a=1"},
      {"", "", ""},
      {"", "x=1; x=1", "x=1"},
      {"", "x=1; x=2", "x=1; x=2"},
      // A held name that occurs twice keeps its first item.
      {"a=1; a=2; b=3", "c=4", "c=4; a=1; b=3"},
      {"  a=1; b=2  ", "b=3;", "b=3; a=1"},
      {"flag; a=1", "flag", "flag; a=1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.held) + " | " + c.received);
    Text held = c.held;
    EXPECT_EQ(mergeCookies(held, c.received), c.merged);
    EXPECT_EQ(held, c.merged);  // the merged text is stored into the held cookies too
  }
}

TEST(CookieItems, NamesListsAndDistinctJoins) {
  EXPECT_EQ(cookieName("  sid =abc"), "sid");
  EXPECT_EQ(cookieName("flag"), "flag");
  EXPECT_EQ(cookieName(" flag "), "flag");
  EXPECT_EQ(cookieName("a=b=c"), "a");

  const TextList list = {"a=1", "B=2", "c"};
  EXPECT_TRUE(hasCookieName(list, "B"));
  EXPECT_FALSE(hasCookieName(list, "b"));  // names compare byte for byte
  EXPECT_TRUE(hasCookieName(list, "c"));

  EXPECT_EQ(indexOfItem(list, "B=2"), 2);
  EXPECT_EQ(indexOfItem(list, "b=2"), -1);
  EXPECT_EQ(indexOfItem({}, ""), -1);

  EXPECT_EQ(joinDistinct("a; b; a; c; b", "; "), "a; b; c");
  EXPECT_EQ(joinDistinct("", "; "), "");
  EXPECT_EQ(joinDistinct("a,,a,", ","), "a,");
}

}  // namespace
}  // namespace velnox
