#include "net/socket_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>

#include <algorithm>

namespace velnox::sock {

namespace {

bool setNonBlocking(Handle handle) {
  const int flags = ::fcntl(handle, F_GETFL, 0);
  return flags >= 0 && ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0;
}

Wait waitFor(Handle handle, short events, std::chrono::milliseconds timeout) {
  pollfd entry{handle, events, 0};
  const long long ms = std::clamp<long long>(timeout.count(), 0, INT_MAX);
  for (;;) {
    const int rc = ::poll(&entry, 1, static_cast<int>(ms));
    if (rc > 0) return Wait::Ready;  // errors and hang-ups show up at the following call
    if (rc == 0) return Wait::Timeout;
    if (errno != EINTR) return Wait::Failed;
  }
}

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

bool resolveIpv4(const std::string& host, std::uint32_t& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, host.c_str(), &parsed) == 1) {
    address = parsed.s_addr;
    return true;
  }
  if (host.empty()) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  bool ok = false;
  for (addrinfo* it = found; it != nullptr; it = it->ai_next) {
    if (it->ai_family == AF_INET && it->ai_addr != nullptr) {
      address = reinterpret_cast<const sockaddr_in*>(it->ai_addr)->sin_addr.s_addr;
      ok = true;
      break;
    }
  }
  ::freeaddrinfo(found);
  return ok;
}

Handle connectIpv4(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout,
                   const std::atomic<bool>& abort) {
  const Handle handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) return kInvalid;
  if (!setNonBlocking(handle)) {
    ::close(handle);
    return kInvalid;
  }
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  if (::connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) return handle;
  if (errno != EINPROGRESS) {
    ::close(handle);
    return kInvalid;
  }
  // Wait in short slices so that destroying the client ends a pending connect quickly.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (abort.load()) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const Wait wait = waitFor(handle, POLLOUT, std::min(left, std::chrono::milliseconds(50)));
    if (wait == Wait::Failed) break;
    if (wait == Wait::Timeout) continue;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) break;
    return handle;
  }
  ::close(handle);
  return kInvalid;
}

void setStreamOptions(Handle handle) {
  const int on = 1;
  ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const int idle = 60;
  const int interval = 10;
  const int probes = 3;
  ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

Handle listenIpv4(const std::string& host, std::uint16_t port, std::uint16_t& boundPort) {
  std::uint32_t address = 0;
  if (!resolveIpv4(host, address)) return kInvalid;
  const Handle handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0) return kInvalid;
  const int on = 1;
  ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = address;
  socklen_t size = sizeof local;
  if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(handle, 64) != 0 || !setNonBlocking(handle) ||
      ::getsockname(handle, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    ::close(handle);
    return kInvalid;
  }
  boundPort = ntohs(local.sin_port);
  return handle;
}

Handle acceptConnection(Handle listener) {
  const Handle handle = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  return handle < 0 ? kInvalid : handle;
}

Wait waitReadable(Handle handle, std::chrono::milliseconds timeout) {
  return waitFor(handle, POLLIN, timeout);
}

Wait waitWritable(Handle handle, std::chrono::milliseconds timeout) {
  return waitFor(handle, POLLOUT, timeout);
}

long receive(Handle handle, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t rc = ::recv(handle, buffer, size, 0);
    if (rc >= 0) return static_cast<long>(rc);
    if (errno == EINTR) continue;
    return wouldBlock(errno) ? kWouldBlock : kFailed;
  }
}

long sendSlices(Handle handle, const Slice* slices, std::size_t count) {
  iovec vectors[8];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count && used < 8; ++i) {
    if (slices[i].size == 0) continue;
    vectors[used].iov_base = const_cast<char*>(slices[i].data);
    vectors[used].iov_len = slices[i].size;
    ++used;
  }
  if (used == 0) return 0;
  msghdr message{};
  message.msg_iov = vectors;
  message.msg_iovlen = used;
  for (;;) {
    // MSG_NOSIGNAL: a peer that went away is an error to report, not a signal that ends us.
    const ssize_t rc = ::sendmsg(handle, &message, MSG_NOSIGNAL);
    if (rc >= 0) return static_cast<long>(rc);
    if (errno == EINTR) continue;
    return wouldBlock(errno) ? kWouldBlock : kFailed;
  }
}

void shutdownBoth(Handle handle) {
  if (handle != kInvalid) ::shutdown(handle, SHUT_RDWR);
}

void shutdownWrite(Handle handle) {
  if (handle != kInvalid) ::shutdown(handle, SHUT_WR);
}

void closeHandle(Handle handle) {
  if (handle != kInvalid) ::close(handle);
}

}  // namespace velnox::sock
