#pragma once
// The message framing both ends of the server link speak, without any socket.
//
// A payload P of n bytes travels as one envelope
//   "<Msg" tag ">" n-in-decimal "</Msg" tag ">" P
// cut into chunks of at most 8192 envelope bytes, each behind a 20-byte header:
//   offset 0  "EMSG"
//   offset 4  the tag, as its four ASCII digits ("0011"): the same four bytes that stand in
//             the envelope, not a binary number
//   offset 8  envelope length, offset 12 chunk index from 0, offset 16 envelope bytes in
//             this chunk; these three are unsigned 32-bit little-endian.
// A payload of zero bytes asks the receiving end to close the connection.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velnox {

inline constexpr std::size_t kChunkHeaderSize = 20;
inline constexpr std::size_t kMaxChunkData = 8192;
// Envelopes announcing more than this are skipped unread, so a peer cannot make us allocate
// without bound.
inline constexpr std::size_t kMaxEnvelopeSize = std::size_t{16} << 20;
// The largest envelope the 32-bit length field can announce.
inline constexpr std::size_t kMaxEncodableEnvelope = 0xFFFFFFFFu;
// The largest payload buffer a reassembler keeps for reuse.
inline constexpr std::size_t kMaxRecycledBuffer = std::size_t{4} << 20;

// Tags of one connection end: "0011", "0012", ... "9999", then "0010", "0011", ...
class TagCounter {
 public:
  std::string next();

 private:
  int m_next = 11;
};

// "<Msg0011>5</Msg0011>": everything of the envelope in front of the payload.
std::string envelopeHead(std::string_view tag, std::size_t payloadSize);

// The chunks of one message, as slices into the payload (nothing is copied), so a writer
// can hand each chunk, header included, to one vectored write.
class MessageChunker {
 public:
  struct Chunk {
    std::array<char, kChunkHeaderSize> header;
    std::string_view head;     // part of the envelope head in this chunk (may be empty)
    std::string_view payload;  // part of the payload in this chunk (may be empty)
  };

  // The payload must outlive the chunker. The tag is four ASCII digits.
  MessageChunker(std::string_view tag, std::string_view payload);
  std::size_t envelopeSize() const { return m_head.size() + m_payload.size(); }
  std::size_t chunkCount() const { return (envelopeSize() + kMaxChunkData - 1) / kMaxChunkData; }
  Chunk chunk(std::size_t index) const;

 private:
  std::string m_tag;
  std::string m_head;
  std::string_view m_payload;
};

// The whole wire form of one message: every chunk behind its header.
std::string encodeMessage(std::string_view tag, std::string_view payload);
// One 20-byte chunk header.
std::string encodeChunkHeader(std::string_view tag, std::uint32_t envelopeLength, std::uint32_t index,
                              std::uint32_t length);

struct FrameEvent {
  enum class Kind {
    Message,  // a complete payload
    Close,    // the peer sent a payload of zero bytes: close the connection
    Discard,  // a broken, oversized or interrupted message was dropped
  };
  Kind kind = Kind::Discard;
  std::string payload;
};

// Turns the received byte stream, cut into pieces of any size, into whole messages.
class FrameReassembler {
 public:
  explicit FrameReassembler(std::size_t maxEnvelope = kMaxEnvelopeSize);

  // Consumes every byte given and appends what completed to out.
  void feed(std::string_view bytes, std::vector<FrameEvent>& out);
  std::vector<FrameEvent> feed(std::string_view bytes);

  // True while part of a message (or of a chunk header) has arrived and the rest has not.
  bool midMessage() const;
  // Forgets a partly received message and any partial header; true when there was one.
  bool discardPartial();

  // Hands back a delivered payload's memory once its message has been handled: the next
  // large message is received into pages already in place instead of fresh ones. One
  // buffer of at most kMaxRecycledBuffer bytes is kept.
  void recycle(std::string&& buffer);

 private:
  enum class State { Header, Body, Resync };
  enum class BodyTarget { Envelope, Skip };

  void onHeader(std::vector<FrameEvent>& out);
  void badHeader(std::vector<FrameEvent>& out);
  void dropMessage(std::vector<FrameEvent>& out);
  void consumeEnvelope(std::string_view part);
  void finishMessage(std::vector<FrameEvent>& out);
  void resetMessage();

  std::string m_spare;  // memory of an earlier payload, for the next one
  std::size_t m_maxEnvelope;
  State m_state = State::Header;
  std::array<char, kChunkHeaderSize> m_header{};
  std::size_t m_headerFill = 0;
  std::size_t m_resyncMatched = 0;

  // The chunk being read.
  BodyTarget m_target = BodyTarget::Envelope;
  std::size_t m_chunkLeft = 0;

  // The message being assembled.
  bool m_active = false;
  bool m_skipping = false;  // oversized or broken: its bytes are counted, not kept
  bool m_discardReported = false;
  std::array<char, 4> m_tag{};
  std::uint32_t m_envelopeLength = 0;
  std::uint32_t m_nextIndex = 0;
  std::size_t m_received = 0;
  std::string m_envelopeHead;
  bool m_headDone = false;
  std::size_t m_payloadSize = 0;
  std::string m_payload;
};

}  // namespace velnox
