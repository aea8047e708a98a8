#include "tests/support/local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace velnox::test {

namespace {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// ---- Certificates -------------------------------------------------------------------------

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (ext == nullptr) throw std::runtime_error("certificate extension rejected: " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

CertPtr makeCertificate(EVP_PKEY* key, const std::string& commonName, X509* issuer, long serial) {
  CertPtr cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
  return cert;
}

void writePem(const std::filesystem::path& path, X509* cert, EVP_PKEY* key) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) throw std::runtime_error("cannot write " + path.string());
  const bool ok = cert != nullptr
                      ? PEM_write_X509(file, cert) == 1
                      : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  std::fclose(file);
  if (!ok) throw std::runtime_error("cannot write " + path.string());
}

// A fresh CA and a server certificate it signed, as PEM files in dir.
void makeCertificates(const std::filesystem::path& dir, const std::string& names) {
  static std::atomic<long> serial{1000};
  KeyPtr caKey(EVP_EC_gen("P-256"));
  KeyPtr serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) throw std::runtime_error("key generation failed");

  CertPtr ca = makeCertificate(caKey.get(), "Velnox Test CA", nullptr, ++serial);
  addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
  X509_sign(ca.get(), caKey.get(), EVP_sha256());

  CertPtr server = makeCertificate(serverKey.get(), "127.0.0.1", ca.get(), ++serial);
  addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
  addExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
  addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  addExtension(server.get(), ca.get(), NID_subject_alt_name, names);
  addExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
  X509_sign(server.get(), caKey.get(), EVP_sha256());

  writePem(dir / "ca.pem", ca.get(), nullptr);
  writePem(dir / "server.pem", server.get(), nullptr);
  writePem(dir / "server.key", nullptr, serverKey.get());
}

// ---- Recording relay ------------------------------------------------------------------------

int listenLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(addr.sin_port);
  return fd;
}

int connectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Splits what a client wrote on one connection into request heads; a body announced by
// Content-Length is stepped over.
void appendHeads(const std::string& stream, std::vector<std::string>& heads) {
  size_t at = 0;
  while (at < stream.size()) {
    const size_t end = stream.find("\r\n\r\n", at);
    if (end == std::string::npos) break;
    std::string head = stream.substr(at, end + 4 - at);
    size_t bodyLength = 0;
    size_t lineStart = head.find("\r\n");
    while (lineStart != std::string::npos && lineStart + 2 < head.size()) {
      const size_t lineEnd = head.find("\r\n", lineStart + 2);
      const std::string line = head.substr(lineStart + 2, lineEnd - lineStart - 2);
      const size_t colon = line.find(':');
      if (colon != std::string::npos && equalsIgnoreCase(line.substr(0, colon), "Content-Length")) {
        bodyLength = std::strtoul(line.c_str() + colon + 1, nullptr, 10);
      }
      lineStart = lineEnd;
    }
    heads.push_back(std::move(head));
    at = end + 4 + bodyLength;
  }
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoreCase(key, name)) return value;
  }
  return {};
}

bool RecordedRequest::hasHeader(std::string_view name) const {
  for (const auto& header : headers) {
    if (equalsIgnoreCase(header.first, name)) return true;
  }
  return false;
}

struct LocalHttpServer::Impl {
  Options options;
  std::filesystem::path dir;
  std::string caFile;
  std::unique_ptr<httplib::Server> server;
  std::thread serverThread;
  int serverPort = 0;

  mutable std::mutex mutex;
  std::map<std::string, Handler> handlers;
  std::vector<RecordedRequest> recorded;
  std::vector<std::shared_ptr<std::string>> streams;  // one per relayed connection

  int relayFd = -1;
  int relayPort = 0;
  std::atomic<bool> stopping{false};
  std::thread acceptThread;
  std::vector<std::thread> connectionThreads;

  void dispatch(const httplib::Request& req, httplib::Response& res) {
    Handler handler;
    {
      std::lock_guard lock(mutex);
      auto it = handlers.find(req.path);
      if (it != handlers.end()) handler = it->second;
    }
    if (handler) {
      handler(req, res);
    } else {
      res.status = 404;
    }
  }

  void record(const httplib::Request& req) {
    RecordedRequest r;
    r.method = req.method;
    r.path = req.path;
    const size_t question = req.target.find('?');
    if (question != std::string::npos) r.query = req.target.substr(question + 1);
    for (const auto& [name, value] : req.headers) {
      // The library adds the peer's and its own address as pseudo headers.
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
        continue;
      r.headers.emplace_back(name, value);
    }
    r.body = req.body;
    std::lock_guard lock(mutex);
    recorded.push_back(std::move(r));
  }

  void relay(int client) {
    const int upstream = connectLoopback(serverPort);
    auto stream = std::make_shared<std::string>();
    {
      std::lock_guard lock(mutex);
      streams.push_back(stream);
    }
    pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    char buffer[65536];
    while (upstream >= 0 && !stopping) {
      if (::poll(fds, 2, 100) < 0) break;
      bool closed = false;
      for (int i = 0; i < 2 && !closed; ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
          closed = true;
          break;
        }
        if (i == 0) {
          std::lock_guard lock(mutex);
          stream->append(buffer, static_cast<size_t>(n));
        }
        const int to = fds[1 - i].fd;
        for (ssize_t sent = 0; sent < n;) {
          const ssize_t m = ::send(to, buffer + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
          if (m <= 0) {
            closed = true;
            break;
          }
          sent += m;
        }
      }
      if (closed) break;
    }
    if (upstream >= 0) ::close(upstream);
    ::close(client);
  }

  void acceptLoop() {
    while (!stopping) {
      pollfd pfd{relayFd, POLLIN, 0};
      if (::poll(&pfd, 1, 100) <= 0) continue;
      const int client = ::accept4(relayFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::lock_guard lock(mutex);
      connectionThreads.emplace_back([this, client] { relay(client); });
    }
  }
};

LocalHttpServer::LocalHttpServer() : LocalHttpServer(Options{}) {}

LocalHttpServer::LocalHttpServer(Options options) : m_impl(std::make_unique<Impl>()) {
  Impl& d = *m_impl;
  d.options = std::move(options);
  if (d.options.https) {
    std::string pattern = (std::filesystem::temp_directory_path() / "velnox-https-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
    d.dir = pattern;
    makeCertificates(d.dir, d.options.certificateNames);
    d.caFile = (d.dir / "ca.pem").string();
    d.server =
        std::make_unique<httplib::SSLServer>((d.dir / "server.pem").c_str(), (d.dir / "server.key").c_str());
  } else {
    d.server = std::make_unique<httplib::Server>();
  }
  if (!d.server->is_valid()) throw std::runtime_error("the HTTP server could not be set up");

  auto dispatch = [&d](const httplib::Request& req, httplib::Response& res) { d.dispatch(req, res); };
  const std::string any = ".*";
  d.server->Get(any, dispatch);
  d.server->Post(any, dispatch);
  d.server->Put(any, dispatch);
  d.server->Patch(any, dispatch);
  d.server->Delete(any, dispatch);
  d.server->Options(any, dispatch);
  d.server->set_post_routing_handler(
      [&d](const httplib::Request& req, httplib::Response&) { d.record(req); });

  d.serverPort = d.server->bind_to_any_port("127.0.0.1");
  if (d.serverPort <= 0) throw std::runtime_error("cannot bind the HTTP server");
  d.serverThread = std::thread([&d] { d.server->listen_after_bind(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!d.server->is_running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  if (!d.options.https) {
    d.relayFd = listenLoopback(d.relayPort);
    if (d.relayFd < 0) throw std::runtime_error("cannot bind the recording relay");
    d.acceptThread = std::thread([&d] { d.acceptLoop(); });
  }
}

LocalHttpServer::~LocalHttpServer() {
  Impl& d = *m_impl;
  d.stopping = true;
  if (d.acceptThread.joinable()) d.acceptThread.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard lock(d.mutex);
    connections.swap(d.connectionThreads);
  }
  for (std::thread& t : connections) t.join();
  if (d.relayFd >= 0) ::close(d.relayFd);
  d.server->stop();
  if (d.serverThread.joinable()) d.serverThread.join();
  if (!d.dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(d.dir, ignored);
  }
}

void LocalHttpServer::on(const std::string& path, Handler handler) {
  std::lock_guard lock(m_impl->mutex);
  m_impl->handlers[path] = std::move(handler);
}

int LocalHttpServer::port() const { return m_impl->options.https ? m_impl->serverPort : m_impl->relayPort; }

bool LocalHttpServer::https() const { return m_impl->options.https; }

std::string LocalHttpServer::baseUrl() const {
  return std::string(https() ? "https" : "http") + "://127.0.0.1:" + std::to_string(port());
}

std::string LocalHttpServer::url(std::string_view path) const { return baseUrl() + std::string(path); }

const std::string& LocalHttpServer::caFile() const { return m_impl->caFile; }

std::vector<RecordedRequest> LocalHttpServer::requests() const {
  std::lock_guard lock(m_impl->mutex);
  return m_impl->recorded;
}

std::vector<std::string> LocalHttpServer::rawRequestHeads() const {
  std::vector<std::string> heads;
  std::lock_guard lock(m_impl->mutex);
  for (const auto& stream : m_impl->streams) appendHeads(*stream, heads);
  return heads;
}

void LocalHttpServer::clear() {
  std::lock_guard lock(m_impl->mutex);
  m_impl->recorded.clear();
  for (const auto& stream : m_impl->streams) stream->clear();
}

}  // namespace velnox::test
