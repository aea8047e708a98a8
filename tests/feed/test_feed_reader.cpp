#include "feed/feed_reader.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/local_http_server.h"
#include "util/encoding.h"

namespace velnox {
namespace {

using test::LocalHttpServer;

struct FeedCase {
  const char* what;
  const char* body;                // UTF-8, as the document service sends it
  std::vector<std::string> items;  // UTF-8, compared after conversion
};

const FeedCase kCases[] = {
    {"items before summary", "{\"text\":\"【a】 【b】 more text\",\"summary\":\"x\"}", {"a", "b"}},
    {"items after summary only", "summary 【a】", {}},
    {"no summary", "【a】【b】", {}},
    {"capitals do not cut", "【a】 SUMMARY 【b】", {}},
    {"the cut falls inside the brackets", "【a summary b】 summary", {}},
    {"empty item", "【】 summary", {""}},
    {"line breaks and an open bracket stay inside", "【x\r\n【y】 summary", {"x\r\n【y"}},
    {"escapes are not undone", "【v1.0.4\\n下载】summary", {"v1.0.4\\n下载"}},
    {"Chinese items",
     "【版本】【1.0.4】【https://example.com/a?b=1】summary【no】",
     {"版本", "1.0.4", "https://example.com/a?b=1"}},
    {"empty body", "", {}},
};

std::vector<std::string> toUtf8List(const TextList& items) {
  std::vector<std::string> out;
  for (const Text& item : items) out.push_back(toUtf8(item));
  return out;
}

TEST(FeedReader, ItemsBetweenBracketsBeforeTheFirstSummary) {
  LocalHttpServer server;
  std::string body;
  server.on("/doc",
            [&](const httplib::Request&, httplib::Response& res) { res.set_content(body, "text/json"); });
  for (const FeedCase& c : kCases) {
    SCOPED_TRACE(c.what);
    body = c.body;
    TextList items = {"left over"};
    EXPECT_EQ(readFeedItems(server.url("/doc"), items), static_cast<int32_t>(c.items.size()));
    EXPECT_EQ(toUtf8List(items), c.items);

    TextList direct = {"left over"};
    EXPECT_EQ(readFeedItemsFromBody(c.body, direct), static_cast<int32_t>(c.items.size()));
    EXPECT_EQ(toUtf8List(direct), c.items);
  }
}

TEST(FeedReader, DocumentOverHttpsIsAPlainGet) {
  LocalHttpServer server({.https = true});
  server.on("/notice", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("【第一行】【第二行】summary", "text/plain");
  });
  TextList items;
  EXPECT_EQ(readFeedItems(server.url("/notice"), items, server.caFile()), 2);
  EXPECT_EQ(toUtf8List(items), (std::vector<std::string>{"第一行", "第二行"}));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].method, "GET");
  EXPECT_EQ(server.requests()[0].header("Referer"), server.url("/notice"));

  // Without the test CA the certificate is not trusted, and nothing is read.
  EXPECT_EQ(readFeedItems(server.url("/notice"), items), 0);
  EXPECT_TRUE(items.empty());
}

TEST(FeedReader, FailedRequestGivesNoItems) {
  // A port nothing listens on.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);

  TextList items = {"stale"};
  EXPECT_EQ(readFeedItems("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/doc", items), 0);
  EXPECT_TRUE(items.empty());
}

}  // namespace
}  // namespace velnox
