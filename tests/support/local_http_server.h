#pragma once
// A real HTTP or HTTPS server on 127.0.0.1 (ephemeral port) for tests, running on threads
// of its own. Handlers are registered by path (cpp-httplib patterns) for every method the
// library routes (GET and HEAD, POST, PUT, PATCH, DELETE, OPTIONS); unregistered paths
// answer 404. Every request that reaches the server is recorded.
//
// HTTPS: a certificate authority and a server certificate (for 127.0.0.1 and localhost
// unless other names are asked for) are made at run time and written to a temporary
// directory; caFile() names the CA certificate that a client must trust. Every server has
// its own CA, so a second server's caFile() does not vouch for this one.
//
// Plain HTTP: requests pass through a small recording relay, so rawRequestHeads() gives the
// request heads byte for byte as the client wrote them (order, letter case, spacing).
#include "server/http_library.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velnox::test {

struct RecordedRequest {
  std::string method;
  std::string path;                                          // without the query
  std::string query;                                         // raw query from the request target, without "?"
  std::vector<std::pair<std::string, std::string>> headers;  // as parsed, name order not kept
  std::string body;

  // First value of a header, name compared case-blind; empty when absent.
  std::string header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
};

class LocalHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  struct Options {
    bool https = false;
    // Subject alternative names of the server certificate ("IP:" or "DNS:" entries).
    std::string certificateNames = "IP:127.0.0.1,DNS:localhost";
  };

  LocalHttpServer();
  explicit LocalHttpServer(Options options);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // Register before or while requests arrive; a later registration of the same path wins.
  void on(const std::string& path, Handler handler);

  int port() const;
  bool https() const;
  // "http://127.0.0.1:port" or "https://127.0.0.1:port", no trailing slash.
  std::string baseUrl() const;
  // baseUrl() followed by path ("/x?y").
  std::string url(std::string_view path) const;
  // The CA certificate (PEM) that signed this server's certificate; empty for plain HTTP.
  const std::string& caFile() const;

  // Requests in arrival order, recorded before their response is sent.
  std::vector<RecordedRequest> requests() const;
  // Plain HTTP only: each request head as received, from the request line up to and
  // including the empty line that ends it. Empty for HTTPS.
  std::vector<std::string> rawRequestHeads() const;
  // Forget what was recorded so far.
  void clear();

  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};

}  // namespace velnox::test
