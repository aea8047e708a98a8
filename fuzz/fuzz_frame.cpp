// Frame reassembly over arbitrary received bytes, cut into pieces of arbitrary sizes: the
// first byte of the input chooses the piece sizes. Whatever arrives, every message handed
// on fits the envelope limit and the reassembler keeps going.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "net/frame_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 64;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  constexpr size_t kLimit = 1 << 16;  // small, so oversized envelopes are reachable
  velnox::FrameReassembler reassembler(kLimit);
  std::vector<velnox::FrameEvent> events;
  for (size_t at = 0; at < bytes.size(); at += piece) {
    reassembler.feed(bytes.substr(at, piece), events);
  }
  for (const auto& event : events) {
    if (event.payload.size() > kLimit) std::abort();
  }
  reassembler.discardPartial();
  if (reassembler.midMessage()) std::abort();
  return 0;
}
