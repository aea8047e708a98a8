#include "net/frame_codec.h"

#include <algorithm>
#include <cstring>

namespace velnox {

namespace {

constexpr char kMagic[4] = {'E', 'M', 'S', 'G'};
// "<Msg" + tag + ">" stands in front of the digits of n.
constexpr std::size_t kDigitsOffset = 9;
// "</Msg" + tag + ">" stands between the digits and the payload.
constexpr std::size_t kClosingTagSize = 10;
// Generous room for leading zeros; a longer head is broken.
constexpr std::size_t kMaxDigits = 20;
constexpr std::size_t kMaxHeadSize = kDigitsOffset + kMaxDigits + kClosingTagSize;

void putLe32(char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t getLe32(const char* in) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[i]);
  return value;
}

void fillHeader(char* out, std::string_view tag, std::uint32_t envelopeLength, std::uint32_t index,
                std::uint32_t length) {
  std::memcpy(out, kMagic, 4);
  for (std::size_t i = 0; i < 4; ++i) out[4 + i] = i < tag.size() ? tag[i] : '0';
  putLe32(out + 8, envelopeLength);
  putLe32(out + 12, index);
  putLe32(out + 16, length);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string TagCounter::next() {
  const int value = m_next;
  m_next = value >= 9999 ? 10 : value + 1;
  std::string tag(4, '0');
  int rest = value;
  for (int i = 3; i >= 0; --i) {
    tag[i] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }
  return tag;
}

std::string envelopeHead(std::string_view tag, std::size_t payloadSize) {
  std::string head;
  head.reserve(kMaxHeadSize);
  head.append("<Msg").append(tag).append(">");
  head.append(std::to_string(payloadSize));
  head.append("</Msg").append(tag).append(">");
  return head;
}

MessageChunker::MessageChunker(std::string_view tag, std::string_view payload)
    : m_tag(tag), m_head(envelopeHead(tag, payload.size())), m_payload(payload) {}

MessageChunker::Chunk MessageChunker::chunk(std::size_t index) const {
  Chunk chunk{};
  const std::size_t total = envelopeSize();
  const std::size_t begin = std::min(index * kMaxChunkData, total);
  const std::size_t end = std::min(begin + kMaxChunkData, total);
  fillHeader(chunk.header.data(), m_tag, static_cast<std::uint32_t>(total), static_cast<std::uint32_t>(index),
             static_cast<std::uint32_t>(end - begin));
  const std::string_view head(m_head);
  if (begin < head.size()) chunk.head = head.substr(begin, std::min(end, head.size()) - begin);
  const std::size_t payloadBegin = std::max(begin, head.size()) - head.size();
  const std::size_t payloadEnd = std::max(end, head.size()) - head.size();
  chunk.payload = m_payload.substr(payloadBegin, payloadEnd - payloadBegin);
  return chunk;
}

std::string encodeMessage(std::string_view tag, std::string_view payload) {
  const MessageChunker chunker(tag, payload);
  std::string wire;
  wire.reserve(chunker.envelopeSize() + chunker.chunkCount() * kChunkHeaderSize);
  for (std::size_t i = 0; i < chunker.chunkCount(); ++i) {
    const auto chunk = chunker.chunk(i);
    wire.append(chunk.header.data(), chunk.header.size());
    wire.append(chunk.head).append(chunk.payload);
  }
  return wire;
}

std::string encodeChunkHeader(std::string_view tag, std::uint32_t envelopeLength, std::uint32_t index,
                              std::uint32_t length) {
  std::string header(kChunkHeaderSize, '\0');
  fillHeader(header.data(), tag, envelopeLength, index, length);
  return header;
}

FrameReassembler::FrameReassembler(std::size_t maxEnvelope) : m_maxEnvelope(maxEnvelope) {}

std::vector<FrameEvent> FrameReassembler::feed(std::string_view bytes) {
  std::vector<FrameEvent> out;
  feed(bytes, out);
  return out;
}

void FrameReassembler::feed(std::string_view bytes, std::vector<FrameEvent>& out) {
  while (!bytes.empty()) {
    switch (m_state) {
      case State::Resync: {
        // Look for the next "EMSG"; the bytes before it belong to nothing we can read.
        // "EMSG" repeats no prefix of itself, so a mismatch only restarts at an 'E'.
        std::size_t i = 0;
        for (; i < bytes.size() && m_resyncMatched < 4; ++i) {
          if (bytes[i] == kMagic[m_resyncMatched]) {
            ++m_resyncMatched;
          } else {
            m_resyncMatched = bytes[i] == 'E' ? 1 : 0;
          }
        }
        bytes.remove_prefix(i);
        if (m_resyncMatched == 4) {
          std::memcpy(m_header.data(), kMagic, 4);
          m_headerFill = 4;
          m_resyncMatched = 0;
          m_state = State::Header;
        }
        break;
      }
      case State::Header: {
        const std::size_t take = std::min(bytes.size(), kChunkHeaderSize - m_headerFill);
        std::memcpy(m_header.data() + m_headerFill, bytes.data(), take);
        m_headerFill += take;
        bytes.remove_prefix(take);
        if (m_headerFill == kChunkHeaderSize) {
          m_headerFill = 0;
          // A bad header rescans its own bytes after the first one; they are at most 19,
          // so this cannot recurse further.
          if (std::memcmp(m_header.data(), kMagic, 4) != 0) {
            badHeader(out);
          } else {
            onHeader(out);
          }
        }
        break;
      }
      case State::Body: {
        const std::size_t take = std::min(bytes.size(), m_chunkLeft);
        if (m_target == BodyTarget::Envelope) consumeEnvelope(bytes.substr(0, take));
        bytes.remove_prefix(take);
        m_chunkLeft -= take;
        if (m_chunkLeft == 0) {
          m_state = State::Header;
          if (m_target == BodyTarget::Envelope && m_received == m_envelopeLength) finishMessage(out);
        }
        break;
      }
    }
  }
}

void FrameReassembler::onHeader(std::vector<FrameEvent>& out) {
  const char* h = m_header.data();
  const std::uint32_t envelopeLength = getLe32(h + 8);
  const std::uint32_t index = getLe32(h + 12);
  const std::uint32_t length = getLe32(h + 16);
  if (length == 0 || length > kMaxChunkData || envelopeLength == 0 || length > envelopeLength) {
    // Not a header any sender writes: the stream is out of step.
    badHeader(out);
    return;
  }
  bool dropped = false;
  if (m_active) {
    const bool continues = std::memcmp(h + 4, m_tag.data(), 4) == 0 && envelopeLength == m_envelopeLength &&
                           index == m_nextIndex && length <= m_envelopeLength - m_received;
    if (!continues) {
      dropMessage(out);
      dropped = true;
    }
  }
  if (!m_active) {
    if (index != 0) {
      // A chunk of a message whose start we never saw: pass over its bytes. When it is what
      // broke the run, the drop above has already been reported.
      if (!dropped) out.push_back({FrameEvent::Kind::Discard, {}});
      m_target = BodyTarget::Skip;
      m_chunkLeft = length;
      m_state = State::Body;
      return;
    }
    resetMessage();
    m_active = true;
    std::memcpy(m_tag.data(), h + 4, 4);
    m_envelopeLength = envelopeLength;
    if (envelopeLength > m_maxEnvelope) {
      // Too big to hold: read past its chunks and keep the connection.
      m_skipping = true;
      m_discardReported = true;
      out.push_back({FrameEvent::Kind::Discard, {}});
    }
  }
  m_nextIndex = index + 1;
  m_target = BodyTarget::Envelope;
  m_chunkLeft = length;
  m_state = State::Body;
}

void FrameReassembler::badHeader(std::vector<FrameEvent>& out) {
  // Whatever was buffered is unusable: drop the partial message and read on from the next
  // "EMSG", which lets a good message that arrived together with the garbage through.
  dropMessage(out);
  m_state = State::Resync;
  m_resyncMatched = 0;
  const std::array<char, kChunkHeaderSize> rest = m_header;
  feed(std::string_view(rest.data() + 1, rest.size() - 1), out);
}

void FrameReassembler::dropMessage(std::vector<FrameEvent>& out) {
  if (m_active && !m_discardReported) out.push_back({FrameEvent::Kind::Discard, {}});
  resetMessage();
}

void FrameReassembler::resetMessage() {
  m_active = false;
  m_skipping = false;
  m_discardReported = false;
  m_envelopeLength = 0;
  m_nextIndex = 0;
  m_received = 0;
  m_envelopeHead.clear();
  m_headDone = false;
  m_payloadSize = 0;
  m_payload = std::string();
}

void FrameReassembler::recycle(std::string&& buffer) {
  if (buffer.capacity() <= m_spare.capacity() || buffer.capacity() > kMaxRecycledBuffer) return;
  m_spare = std::move(buffer);
  m_spare.clear();
}

void FrameReassembler::consumeEnvelope(std::string_view part) {
  m_received += part.size();
  if (m_skipping) return;
  if (!m_headDone) {
    // Collect "<Msg" tag ">" digits "</Msg" tag ">" and learn n from it.
    const std::size_t before = m_envelopeHead.size();
    const std::size_t take = std::min(part.size(), kMaxHeadSize - before);
    m_envelopeHead.append(part.substr(0, take));
    const std::string_view head(m_envelopeHead);
    const std::size_t prefix = std::min<std::size_t>(head.size(), 4);
    if (head.substr(0, prefix) != std::string_view("<Msg").substr(0, prefix)) {
      m_skipping = true;
      return;
    }
    const std::size_t lt =
        head.size() > kDigitsOffset ? head.find('<', kDigitsOffset) : std::string_view::npos;
    const std::size_t digitsEnd = lt == std::string_view::npos ? head.size() : lt;
    for (std::size_t i = kDigitsOffset; i < digitsEnd; ++i) {
      if (!isDigit(head[i])) {
        m_skipping = true;
        return;
      }
    }
    if (lt == kDigitsOffset) {
      m_skipping = true;
      return;
    }
    const std::size_t headSize = lt == std::string_view::npos ? 0 : lt + kClosingTagSize;
    if (headSize == 0 || head.size() < headSize) {
      if (head.size() >= kMaxHeadSize) m_skipping = true;
      return;
    }
    std::size_t n = 0;
    for (std::size_t i = kDigitsOffset; i < lt; ++i) {
      n = n * 10 + static_cast<std::size_t>(head[i] - '0');
      if (n > m_envelopeLength) {
        m_skipping = true;
        return;
      }
    }
    if (n > m_envelopeLength - headSize) {
      // The envelope cannot hold the payload it announces.
      m_skipping = true;
      return;
    }
    m_headDone = true;
    m_payloadSize = n;
    if (m_spare.capacity() >= n && m_payload.capacity() < n) {
      m_payload.swap(m_spare);
      m_payload.clear();
    }
    m_payload.reserve(n);
    part.remove_prefix(headSize - before);
  }
  const std::size_t take = std::min(part.size(), m_payloadSize - m_payload.size());
  m_payload.append(part.data(), take);
}

void FrameReassembler::finishMessage(std::vector<FrameEvent>& out) {
  if (m_skipping || !m_headDone || m_payload.size() != m_payloadSize) {
    if (!m_discardReported) out.push_back({FrameEvent::Kind::Discard, {}});
  } else if (m_payloadSize == 0) {
    out.push_back({FrameEvent::Kind::Close, {}});
  } else {
    out.push_back({FrameEvent::Kind::Message, std::move(m_payload)});
  }
  resetMessage();
}

bool FrameReassembler::midMessage() const {
  return m_active || m_state == State::Body || (m_state == State::Header && m_headerFill > 0) ||
         (m_state == State::Resync && m_resyncMatched > 0);
}

bool FrameReassembler::discardPartial() {
  const bool had = midMessage();
  resetMessage();
  m_state = State::Header;
  m_headerFill = 0;
  m_resyncMatched = 0;
  m_chunkLeft = 0;
  return had;
}

}  // namespace velnox
