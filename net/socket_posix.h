#pragma once
// The few socket calls the stream client and the test server make. Everything that differs
// between POSIX sockets and Winsock is in this file and its .cpp, and nowhere else.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velnox::sock {

using Handle = int;
inline constexpr Handle kInvalid = -1;

// Results of receive and sendSlices besides a byte count.
inline constexpr long kWouldBlock = -1;
inline constexpr long kFailed = -2;

struct Slice {
  const char* data;
  std::size_t size;
};

enum class Wait { Ready, Timeout, Failed };

// A dotted IPv4 address is taken as is, any other host goes to the resolver (first IPv4
// address). The address comes back in network byte order.
bool resolveIpv4(const std::string& host, std::uint32_t& address);

// A non-blocking TCP connection, or kInvalid when it fails, when timeout passes, or when
// abort turns true meanwhile (looked at every few milliseconds).
Handle connectIpv4(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout,
                   const std::atomic<bool>& abort);

// No Nagle delay, and keep-alive probes (idle 60 s, every 10 s, 3 probes) so that a peer
// that vanished without closing is noticed.
void setStreamOptions(Handle handle);

// A non-blocking listening socket on host:port (port 0 = any free port); boundPort tells which.
Handle listenIpv4(const std::string& host, std::uint16_t port, std::uint16_t& boundPort);
// A non-blocking accepted connection, or kInvalid when none is waiting.
Handle acceptConnection(Handle listener);

Wait waitReadable(Handle handle, std::chrono::milliseconds timeout);
Wait waitWritable(Handle handle, std::chrono::milliseconds timeout);

// Bytes received (> 0), 0 when the peer closed, kWouldBlock or kFailed.
long receive(Handle handle, char* buffer, std::size_t size);
// One vectored send of the slices: bytes written (>= 0), kWouldBlock or kFailed.
long sendSlices(Handle handle, const Slice* slices, std::size_t count);

// Ends both directions; threads waiting on the socket wake up. The handle stays valid.
void shutdownBoth(Handle handle);
// Sends what is queued, then end-of-stream; reading goes on.
void shutdownWrite(Handle handle);
void closeHandle(Handle handle);

}  // namespace velnox::sock
