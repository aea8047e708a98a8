#include "util/http.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "server/test_server.h"
#include "tests/support/local_http_server.h"

namespace velnox {
namespace {

using test::LocalHttpServer;

constexpr const char* kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

void reply(httplib::Response& res, const std::string& body) { res.set_content(body, "text/plain"); }

HttpRequestParams get(const std::string& url) {
  HttpRequestParams p;
  p.url = url;
  p.method = 0;
  return p;
}

// The header lines of a raw request head, without the request line and the empty line.
std::vector<std::string> headerLines(const std::string& head) {
  std::vector<std::string> lines;
  size_t at = head.find("\r\n");
  while (at != std::string::npos) {
    const size_t end = head.find("\r\n", at + 2);
    if (end == std::string::npos || end == at + 2) break;
    lines.push_back(head.substr(at + 2, end - at - 2));
    at = end;
  }
  return lines;
}

std::string requestLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

// The lines of a head whose name is name, compared case-blind.
std::vector<std::string> linesNamed(const std::string& head, std::string_view name) {
  std::vector<std::string> found;
  for (const std::string& line : headerLines(head)) {
    const std::string lineName = line.substr(0, line.find(':'));
    if (toLower(lineName) == toLower(name)) found.push_back(line);
  }
  return found;
}

class HttpRequestTest : public ::testing::Test {
 protected:
  LocalHttpServer server;
};

TEST_F(HttpRequestTest, PlainGetSendsExactlyTheComposedHeaders) {
  server.on("/doc", [](const httplib::Request&, httplib::Response& res) { reply(res, "body bytes"); });
  const std::string url = server.url("/doc");

  EXPECT_EQ(HttpRequest(get(url)), "body bytes");

  const auto heads = server.rawRequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(heads[0],
            "GET /doc HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.port()) +
                "\r\n"
                "User-Agent: " +
                kDefaultAgent +
                "\r\n"
                "Accept: */*\r\n"
                "Referer: " +
                url +
                "\r\n"
                "Accept-Language: zh-cn\r\n"
                "\r\n");
}

TEST_F(HttpRequestTest, MethodTableAndOutOfRangeMethods) {
  server.on("/m", [](const httplib::Request&, httplib::Response& res) { reply(res, "m"); });
  const struct {
    int32_t method;
    const char* verb;
  } cases[] = {{0, "GET"},   {1, "POST"},    {2, "HEAD"}, {3, "PUT"}, {4, "OPTIONS"}, {5, "DELETE"},
               {6, "TRACE"}, {7, "CONNECT"}, {8, "GET"},  {9, "GET"}, {-1, "GET"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    server.clear();
    HttpRequestParams p = get(server.url("/m"));
    p.method = c.method;
    HttpRequest(p);
    const auto heads = server.rawRequestHeads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(requestLine(heads[0]), std::string(c.verb) + " /m HTTP/1.1");
    // Every verb but GET carries a body, of length 0 here; HEAD cannot carry one.
    const auto lengths = linesNamed(heads[0], "Content-Length");
    if (std::string(c.verb) == "GET" || std::string(c.verb) == "HEAD") {
      EXPECT_TRUE(lengths.empty());
    } else {
      EXPECT_EQ(lengths, std::vector<std::string>{"Content-Length: 0"});
    }
  }
}

TEST_F(HttpRequestTest, HeadReadsNoBody) {
  server.on("/h", [](const httplib::Request&, httplib::Response& res) { reply(res, "not for HEAD"); });
  HttpRequestParams p = get(server.url("/h"));
  p.method = 2;
  Text headers;
  p.responseHeaders = &headers;
  EXPECT_EQ(HttpRequest(p), "");
  EXPECT_EQ(headers.rfind("HTTP/1.1 200", 0), 0u);
}

TEST_F(HttpRequestTest, PostSendsBodyTextAndFormContentType) {
  server.on("/form",
            [](const httplib::Request& req, httplib::Response& res) { reply(res, "got " + req.body); });
  HttpRequestParams p = get(server.url("/form"));
  p.method = 1;
  p.bodyText = "a=1&b=\xB2\xE2";
  Bytes bodyBytes;
  p.bodyBytes = &bodyBytes;

  EXPECT_EQ(HttpRequest(p), "got a=1&b=\xB2\xE2");
  EXPECT_EQ(bodyBytes, "a=1&b=\xB2\xE2");  // the caller's variable keeps the filled bytes

  const auto heads = server.rawRequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(linesNamed(heads[0], "Content-Type"),
            std::vector<std::string>{"Content-Type: application/x-www-form-urlencoded"});
  EXPECT_EQ(linesNamed(heads[0], "Content-Length"), std::vector<std::string>{"Content-Length: 8"});
  EXPECT_TRUE(linesNamed(heads[0], "Expect").empty());
}

TEST_F(HttpRequestTest, BodyBytesArePreferredAndGetSendsNone) {
  server.on("/b",
            [](const httplib::Request& req, httplib::Response& res) { reply(res, "[" + req.body + "]"); });

  HttpRequestParams put = get(server.url("/b"));
  put.method = 3;
  put.bodyText = "text";
  Bytes bytes("raw\0bytes", 9);
  put.bodyBytes = &bytes;
  EXPECT_EQ(HttpRequest(put), "[" + std::string("raw\0bytes", 9) + "]");
  auto heads = server.rawRequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_TRUE(linesNamed(heads[0], "Content-Type").empty());  // only POST gets the form type

  server.clear();
  HttpRequestParams plain = get(server.url("/b"));
  plain.bodyText = "ignored";
  Bytes untouched;
  plain.bodyBytes = &untouched;
  EXPECT_EQ(HttpRequest(plain), "[]");
  EXPECT_EQ(untouched, "");
}

TEST_F(HttpRequestTest, CallerHeadersAreNotCompletedTwice) {
  server.on("/x", [](const httplib::Request&, httplib::Response& res) { reply(res, "x"); });
  HttpRequestParams p = get(server.url("/x"));
  p.method = 1;
  p.extraHeaders =
      "accept: text/html\r\nREFERER: http://r/\r\naccept-language: en\r\ncontent-type: text/plain";
  HttpRequest(p);
  const auto heads = server.rawRequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(headerLines(heads[0]),
            (std::vector<std::string>{"Host: 127.0.0.1:" + std::to_string(server.port()),
                                      std::string("User-Agent: ") + kDefaultAgent, "Accept: text/html",
                                      "REFERER: http://r/", "Accept-Language: en", "Content-Type: text/plain",
                                      "Content-Length: 0"}));
}

TEST_F(HttpRequestTest, WithoutCompletionOnlyTheCallersLinesGo) {
  server.on("/x", [](const httplib::Request&, httplib::Response& res) { reply(res, "x"); });
  HttpRequestParams p = get(server.url("/x"));
  p.completeHeaders = false;
  p.normalizeNames = false;
  p.extraHeaders = "x-one: 1\r\nX-Empty:";
  HttpRequest(p);
  const auto heads = server.rawRequestHeads();
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(headerLines(heads[0]),
            (std::vector<std::string>{"Host: 127.0.0.1:" + std::to_string(server.port()),
                                      std::string("User-Agent: ") + kDefaultAgent, "x-one: 1", "X-Empty:"}));
}

TEST_F(HttpRequestTest, UserAgentRules) {
  server.on("/ua", [](const httplib::Request&, httplib::Response& res) { reply(res, "ua"); });
  const struct {
    const char* extraHeaders;
    bool normalize;
    std::vector<std::string> agentLines;
  } cases[] = {
      {"", true, {std::string("User-Agent: ") + kDefaultAgent}},
      // Normalised to "User-Agent:", found by the byte-exact search; the line itself is sent.
      {"user-agent: Foo/1", true, {"User-Agent: Foo/1"}},
      // Without normalisation the caller's line goes as written, and is the only one.
      {"user-agent: Foo/1", false, {"user-agent: Foo/1"}},
      {"USER-AGENT: Foo/2", true, {"USER-AGENT: Foo/2"}},
      // Not a line of its own: the agent is derived from the text.
      {"X-Note: User-Agent: Bar", true, {"User-Agent: Bar"}},
      // The byte-exact search misses: the text after the first colon of the whole text.
      {"X-Note: USER-AGENT: Bar", true, {"User-Agent: USER-AGENT: Bar"}},
      // ... which is cut at the end of its line: no line break reaches the wire.
      {"X-A: 1\r\nX-Note: USER-AGENT: Bar", true, {"User-Agent: 1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extraHeaders);
    server.clear();
    HttpRequestParams p = get(server.url("/ua"));
    p.extraHeaders = c.extraHeaders;
    p.normalizeNames = c.normalize;
    EXPECT_EQ(HttpRequest(p), "ua");
    const auto heads = server.rawRequestHeads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(linesNamed(heads[0], "User-Agent"), c.agentLines);
  }
}

TEST_F(HttpRequestTest, CookiesAreSentAsACookieLine) {
  server.on("/c", [](const httplib::Request&, httplib::Response& res) { reply(res, "c"); });
  const struct {
    const char* cookies;
    std::vector<std::string> lines;
  } cases[] = {
      {"a=1; b=2", {"Cookie: a=1; b=2"}},
      {"Cookie: z=1", {"Cookie: z=1"}},  // already a line: sent unchanged
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cookies);
    server.clear();
    HttpRequestParams p = get(server.url("/c"));
    Text cookies = c.cookies;
    p.cookies = &cookies;
    HttpRequest(p);
    const auto heads = server.rawRequestHeads();
    ASSERT_EQ(heads.size(), 1u);
    EXPECT_EQ(linesNamed(heads[0], "Cookie"), c.lines);
  }
}

TEST_F(HttpRequestTest, ReceivedCookiesAndTheMerge) {
  server.on("/set", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "a=1; Path=/; HttpOnly");
    res.set_header("Set-Cookie", "b=2");
    res.set_header("set-cookie", "lower=9");  // another letter case is not recognised
    reply(res, "set");
  });
  const struct {
    bool supplyCookies;
    std::optional<bool> update;
    const char* heldAfter;
    const char* received;
  } cases[] = {
      {true, std::nullopt, "a=1; b=2; c=3", "a=1; b=2; c=3"},
      {true, false, "b=0; c=3", "a=1; b=2"},
      {false, std::nullopt, "b=0; c=3", "a=1; b=2"},
  };
  for (const auto& c : cases) {
    Text held = "b=0; c=3";
    Text received = "stale";
    HttpRequestParams p = get(server.url("/set"));
    if (c.supplyCookies) p.cookies = &held;
    p.updateCookies = c.update;
    p.receivedCookies = &received;
    EXPECT_EQ(HttpRequest(p), "set");
    EXPECT_EQ(held, c.heldAfter);
    EXPECT_EQ(received, c.received);
  }
}

TEST_F(HttpRequestTest, SuppliedCookiesAreTheOnlyCookieStore) {
  server.on("/set", [](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "z=9; Path=/");
    res.set_redirect("/echo");
  });
  server.on("/echo", [](const httplib::Request& req, httplib::Response& res) {
    reply(res, "cookie=" + req.get_header_value("Cookie"));
  });

  // With the caller's cookies, the cookie set on the way is not sent on by the client...
  Text cookies;
  HttpRequestParams withCookies = get(server.url("/set"));
  withCookies.cookies = &cookies;
  EXPECT_EQ(HttpRequest(withCookies), "cookie=");
  EXPECT_EQ(cookies, "");  // only the final response's cookies are merged

  // ...without them, it goes with the next hop of the same call...
  EXPECT_EQ(HttpRequest(get(server.url("/set"))), "cookie=z=9");
  // ...and nothing is kept for a later call.
  EXPECT_EQ(HttpRequest(get(server.url("/echo"))), "cookie=");
}

TEST_F(HttpRequestTest, RedirectsFollowedUnlessNoRedirect) {
  server.on("/from", [](const httplib::Request&, httplib::Response& res) {
    res.set_redirect("/to");
    res.set_header("Set-Cookie", "hop=1");
    reply(res, "moved");
  });
  server.on("/to", [](const httplib::Request&, httplib::Response& res) { reply(res, "final"); });

  Text headers;
  HttpRequestParams follow = get(server.url("/from"));
  follow.responseHeaders = &headers;
  EXPECT_EQ(HttpRequest(follow), "final");
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(headers.find("302"), std::string::npos);  // only the final response's block

  Text received;
  HttpRequestParams stay = get(server.url("/from"));
  stay.noRedirect = true;
  stay.responseHeaders = &headers;
  stay.receivedCookies = &received;
  EXPECT_EQ(HttpRequest(stay), "moved");
  EXPECT_EQ(headers.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
  EXPECT_EQ(received, "hop=1");
}

TEST_F(HttpRequestTest, ResponseHeaderBlockIsWholeAndCrLfTerminated) {
  const std::string longValue(9000, 'v');
  server.on("/big", [&](const httplib::Request&, httplib::Response& res) {
    res.set_header("X-Long", longValue);
    reply(res, "b");
  });
  Text headers;
  HttpRequestParams p = get(server.url("/big"));
  p.responseHeaders = &headers;
  HttpRequest(p);
  EXPECT_EQ(headers.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(headers.find("\r\nX-Long: " + longValue + "\r\n"), std::string::npos);
  EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
  EXPECT_EQ(headers.find("\r\n\r\n"), headers.size() - 4);
}

TEST_F(HttpRequestTest, StatusIsNotExamined) {
  server.on("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    reply(res, "error page");
  });
  EXPECT_EQ(HttpRequest(get(server.url("/missing"))), "error page");
}

TEST_F(HttpRequestTest, BodyOverTheLimitCountsAsNothing) {
  constexpr size_t kLimit = size_t{32} << 20;
  const std::string exact(kLimit, 'x');
  server.on("/exact", [&](const httplib::Request&, httplib::Response& res) { reply(res, exact); });
  server.on("/over", [&](const httplib::Request&, httplib::Response& res) { reply(res, exact + "y"); });
  // Without a length announced, the limit is found while reading.
  server.on("/stream", [](const httplib::Request&, httplib::Response& res) {
    auto sent = std::make_shared<size_t>(0);
    res.set_chunked_content_provider("text/plain", [sent](size_t, httplib::DataSink& sink) {
      const std::string chunk(1 << 20, 'z');
      if (*sent > (size_t{33} << 20)) {
        sink.done();
        return true;
      }
      *sent += chunk.size();
      return sink.write(chunk.data(), chunk.size());
    });
  });
  EXPECT_EQ(HttpRequest(get(server.url("/exact"))).size(), kLimit);
  EXPECT_EQ(HttpRequest(get(server.url("/over"))), "");
  EXPECT_EQ(HttpRequest(get(server.url("/stream"))), "");
  EXPECT_EQ(downloadBytes(server.url("/over")), "");
  EXPECT_EQ(downloadBytes(server.url("/stream")), "");
}

TEST_F(HttpRequestTest, FailuresAreQuiet) {
  // Nothing listens: the outputs are still written, from an empty response.
  Text cookies = " a=1; a=2 ";
  Text headers = "stale";
  Text received = "stale";
  HttpRequestParams refused = get("http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/x");
  refused.cookies = &cookies;
  refused.responseHeaders = &headers;
  refused.receivedCookies = &received;
  EXPECT_EQ(HttpRequest(refused), "");
  EXPECT_EQ(headers, "");
  EXPECT_EQ(cookies, "a=1");
  EXPECT_EQ(received, "a=1");

  // No usable host: no request is made and no output is touched.
  for (const char* url : {"http:///x", "http://a b/", "http://user@host/"}) {
    SCOPED_TRACE(url);
    Text untouched = "keep";
    Bytes body;
    HttpRequestParams bad = get(url);
    bad.method = 1;
    bad.bodyText = "t";
    bad.bodyBytes = &body;
    bad.responseHeaders = &untouched;
    bad.cookies = &untouched;
    EXPECT_EQ(HttpRequest(bad), "");
    EXPECT_EQ(untouched, "keep");
    EXPECT_EQ(body, "");
  }
}

class HttpsTest : public ::testing::Test {
 protected:
  HttpsTest() {
    for (LocalHttpServer* s : {&secure, &stranger, &wrongName}) {
      s->on("/doc", [](const httplib::Request&, httplib::Response& res) { reply(res, "secret"); });
    }
  }
  ~HttpsTest() override { setExtraCaFileForTests(""); }

  LocalHttpServer secure{{.https = true}};
  LocalHttpServer stranger{{.https = true}};
  LocalHttpServer wrongName{{.https = true, .certificateNames = "DNS:other.example"}};
};

TEST_F(HttpsTest, CertificatesAreVerified) {
  const struct {
    const char* what;
    const LocalHttpServer& server;
    std::string caFile;
    const char* body;
  } cases[] = {
      {"trusted CA", secure, secure.caFile(), "secret"},
      {"system store only", secure, "", ""},
      {"another server's CA", stranger, secure.caFile(), ""},
      {"name mismatch", wrongName, wrongName.caFile(), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HttpRequestParams p = get(c.server.url("/doc"));
    p.caFile = c.caFile;
    EXPECT_EQ(HttpRequest(p), c.body);
    setExtraCaFileForTests(c.caFile);
    EXPECT_EQ(downloadBytes(c.server.url("/doc")), c.body);
  }
}

TEST_F(HttpsTest, RedirectsCrossBetweenHttpAndHttps) {
  LocalHttpServer plain;
  plain.on("/up",
           [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(secure.url("/down")); });
  plain.on("/doc", [](const httplib::Request&, httplib::Response& res) { reply(res, "plain doc"); });
  secure.on("/down",
            [&](const httplib::Request&, httplib::Response& res) { res.set_redirect(plain.url("/doc")); });

  HttpRequestParams p = get(plain.url("/up"));
  p.caFile = secure.caFile();
  EXPECT_EQ(HttpRequest(p), "plain doc");
  ASSERT_EQ(secure.requests().size(), 1u);
  EXPECT_EQ(secure.requests()[0].path, "/down");

  setExtraCaFileForTests(secure.caFile());
  EXPECT_EQ(downloadBytes(plain.url("/up")), "plain doc");
}

TEST(DownloadBytes, WholeBodyOfAPlainGet) {
  LocalHttpServer server;
  const std::string picture("\x89PNG\r\n\x1a\n\0\0rest", 14);
  server.on("/p.png",
            [&](const httplib::Request&, httplib::Response& res) { res.set_content(picture, "image/png"); });
  server.on("/gone", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    reply(res, "not here");
  });
  server.on("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/p.png"); });

  EXPECT_EQ(downloadBytes(server.url("/p.png")), picture);
  EXPECT_EQ(downloadBytes(server.url("/moved")), picture);
  EXPECT_EQ(downloadBytes(server.url("/gone")), "not here");  // the status is not examined
  EXPECT_EQ(downloadBytes("127.0.0.1:" + std::to_string(server.port()) + "/p.png"), picture);
  EXPECT_EQ(downloadBytes("http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/p.png"), "");
  // Addresses come from the network: nothing but http and https is fetched.
  EXPECT_EQ(downloadBytes("file:///etc/hostname"), "");
  EXPECT_EQ(downloadBytes(""), "");
  EXPECT_EQ(server.requests().size(), 5u);  // the redirect counts twice
  EXPECT_EQ(server.requests()[0].header("User-Agent"), kDefaultAgent);
}

// A real tinyproxy on a free loopback port, with its configuration and log in a
// temporary directory.
class TinyProxy {
 public:
  TinyProxy() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velnox-proxy-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    m_dir = pattern;
    m_port = unusedLoopbackPort();
    std::ofstream config(m_dir / "tinyproxy.conf");
    config << "Port " << m_port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\n"
           << "LogFile \"" << (m_dir / "tinyproxy.log").string() << "\"\nLogLevel Info\n"
           << "Allow 127.0.0.1\nViaProxyName \"velnox-test-proxy\"\n";
    config.close();
    m_pid = ::fork();
    if (m_pid == 0) {
      ::execl("/usr/bin/tinyproxy", "tinyproxy", "-d", "-c", (m_dir / "tinyproxy.conf").c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Ready once it accepts connections.
    for (int i = 0; i < 500 && !m_ready; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in addr{};
      addr.sin_family = AF_INET;
      addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      addr.sin_port = htons(static_cast<uint16_t>(m_port));
      m_ready = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
      ::close(fd);
      if (!m_ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~TinyProxy() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
  }
  bool ready() const { return m_ready; }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::string log() const {
    std::ifstream in(m_dir / "tinyproxy.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::filesystem::path m_dir;
  int m_port = 0;
  pid_t m_pid = -1;
  bool m_ready = false;
};

TEST(HttpProxy, PlainRequestsAreProxiedAndSecureOnesTunnelled) {
  if (!std::filesystem::exists("/usr/bin/tinyproxy")) GTEST_SKIP() << "tinyproxy is not installed";
  TinyProxy proxy;
  ASSERT_TRUE(proxy.ready());
  LocalHttpServer plain;
  LocalHttpServer secure({.https = true});
  for (LocalHttpServer* s : {&plain, &secure}) {
    s->on("/doc", [](const httplib::Request&, httplib::Response& res) { reply(res, "via proxy"); });
  }

  HttpRequestParams overHttp = get(plain.url("/doc"));
  overHttp.proxy = proxy.address();
  EXPECT_EQ(HttpRequest(overHttp), "via proxy");
  ASSERT_EQ(plain.requests().size(), 1u);
  EXPECT_NE(plain.requests()[0].header("Via").find("velnox-test-proxy"), std::string::npos);

  HttpRequestParams overHttps = get(secure.url("/doc"));
  overHttps.proxy = proxy.address();
  overHttps.caFile = secure.caFile();
  EXPECT_EQ(HttpRequest(overHttps), "via proxy");
  ASSERT_EQ(secure.requests().size(), 1u);
  // The proxy only tunnelled the secure request: it saw a CONNECT, and no caller header.
  EXPECT_NE(proxy.log().find("CONNECT 127.0.0.1:" + std::to_string(secure.port())), std::string::npos);
  EXPECT_EQ(secure.requests()[0].header("Referer"), secure.url("/doc"));

  // A proxy that is not there fails the request: it is not bypassed.
  overHttp.proxy = "127.0.0.1:" + std::to_string(unusedLoopbackPort());
  EXPECT_EQ(HttpRequest(overHttp), "");
  EXPECT_EQ(plain.requests().size(), 1u);
}

}  // namespace
}  // namespace velnox
