// The frame codec on its own: exact wire bytes, chunk sizes at the 8192-byte boundary,
// reassembly from pieces of every size, and what broken input does to the stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/frame_codec.h"

namespace velnox {
namespace {

using Kind = FrameEvent::Kind;

std::string le32(std::uint32_t v) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

// A payload whose envelope under tag "0011" is exactly envelopeSize bytes.
std::string payloadForEnvelope(std::size_t envelopeSize) {
  for (std::size_t n = envelopeSize; n > 0; --n) {
    if (envelopeHead("0011", n).size() + n == envelopeSize) {
      std::string payload(n, 'p');
      for (std::size_t i = 0; i < n; i += 97) payload[i] = '\0';  // zero bytes travel too
      return payload;
    }
  }
  return {};
}

// Feeds the bytes in pieces of the given size (0: all at once).
std::vector<FrameEvent> feedInPieces(FrameReassembler& r, const std::string& bytes, std::size_t piece) {
  std::vector<FrameEvent> out;
  if (piece == 0) piece = bytes.size() + 1;
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    r.feed(std::string_view(bytes).substr(at, piece), out);
  return out;
}

std::vector<Kind> kinds(const std::vector<FrameEvent>& events) {
  std::vector<Kind> out;
  for (const auto& e : events) out.push_back(e.kind);
  return out;
}

TEST(TagCounter, CountsFrom0011AndWrapsTo0010AfterThe9999th) {
  TagCounter tags;
  EXPECT_EQ(tags.next(), "0011");
  EXPECT_EQ(tags.next(), "0012");
  std::string last;
  for (int value = 13; value <= 9999; ++value) last = tags.next();
  EXPECT_EQ(last, "9999");
  EXPECT_EQ(tags.next(), "0010");
  EXPECT_EQ(tags.next(), "0011");
}

TEST(FrameEncode, OneChunkMessageIsHeaderThenEnvelope) {
  const std::string payload("hi\0!", 4);
  const std::string envelope = std::string("<Msg0042>4</Msg0042>") + payload;
  const std::string expected = std::string("EMSG0042") + le32(24) + le32(0) + le32(24) + envelope;
  EXPECT_EQ(encodeMessage("0042", payload), expected);
  EXPECT_EQ(encodeChunkHeader("0042", 24, 0, 24), expected.substr(0, 20));
}

TEST(FrameEncode, EnvelopeIsCutInto8192ByteChunks) {
  struct Case {
    std::size_t envelope;
    std::vector<std::uint32_t> chunkSizes;
  };
  const Case cases[] = {
      {21, {21}},        {8191, {8191}},        {8192, {8192}},
      {8193, {8192, 1}}, {16384, {8192, 8192}}, {16385, {8192, 8192, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.envelope);
    const std::string payload = payloadForEnvelope(c.envelope);
    const std::string wire = encodeMessage("0011", payload);
    ASSERT_EQ(wire.size(), c.envelope + 20 * c.chunkSizes.size());
    std::string envelope;
    std::size_t at = 0;
    for (std::uint32_t index = 0; index < c.chunkSizes.size(); ++index) {
      EXPECT_EQ(wire.substr(at, 20), encodeChunkHeader("0011", static_cast<std::uint32_t>(c.envelope), index,
                                                       c.chunkSizes[index]));
      envelope += wire.substr(at + 20, c.chunkSizes[index]);
      at += 20 + c.chunkSizes[index];
    }
    EXPECT_EQ(envelope, envelopeHead("0011", payload.size()) + payload);
  }
}

TEST(FrameReassembler, ReassemblesWhateverTheReadSizes) {
  const std::size_t payloadSizes[] = {1, 5, 8169, 8170, 3 * 1024 * 1024 + 7};
  const std::size_t pieces[] = {0, 1, 7, 19, 20, 21, 8212, 65536};
  for (const std::size_t size : payloadSizes) {
    std::string payload(size, 'x');
    for (std::size_t i = 0; i < size; i += 13) payload[i] = static_cast<char>(i % 256);
    const std::string wire = encodeMessage("0011", payload) + encodeMessage("0012", "next");
    for (const std::size_t piece : pieces) {
      if (size > 100000 && piece > 0 && piece < 19) continue;  // slow and adds nothing
      SCOPED_TRACE(testing::Message() << "payload " << size << " piece " << piece);
      FrameReassembler r;
      const auto events = feedInPieces(r, wire, piece);
      ASSERT_EQ(kinds(events), (std::vector<Kind>{Kind::Message, Kind::Message}));
      EXPECT_TRUE(events[0].payload == payload);
      EXPECT_EQ(events[1].payload, "next");
      EXPECT_FALSE(r.midMessage());
    }
  }
}

TEST(FrameReassembler, NothingCompletesBeforeTheLastByteAtAnyCut) {
  // A two-chunk message (8192 + 1 envelope bytes), cut at the edges of every field.
  const std::string wire = encodeMessage("0011", payloadForEnvelope(8193));
  ASSERT_EQ(wire.size(), 8233u);
  const std::size_t cuts[] = {1, 3, 4, 8, 12, 16, 19, 20, 21, 28, 29, 30, 8211, 8212, 8213, 8231, 8232};
  for (const std::size_t cut : cuts) {
    SCOPED_TRACE(cut);
    FrameReassembler r;
    EXPECT_TRUE(r.feed(std::string_view(wire).substr(0, cut)).empty());
    EXPECT_TRUE(r.midMessage());
    const auto events = r.feed(std::string_view(wire).substr(cut));
    ASSERT_EQ(kinds(events), std::vector<Kind>{Kind::Message});
    EXPECT_EQ(events[0].payload, payloadForEnvelope(8193));
  }
}

TEST(FrameReassembler, ZeroLengthPayloadAsksToClose) {
  FrameReassembler r;
  const auto events = r.feed(encodeMessage("0011", ""));
  EXPECT_EQ(kinds(events), std::vector<Kind>{Kind::Close});
}

TEST(FrameReassembler, GarbageHeaderDropsBufferedDataAndTheNextMessageGetsThrough) {
  const std::string good = encodeMessage("0013", "good");
  const std::string twoChunks = encodeMessage("0012", payloadForEnvelope(8193));
  const std::string garbage(20, 'G');
  struct Case {
    const char* name;
    std::string stream;
    std::vector<Kind> expected;
  };
  const Case cases[] = {
      {"garbage alone", garbage + good, {Kind::Message}},
      {"garbage with an E before the magic", std::string(19, 'E') + "XEMS" + good, {Kind::Message}},
      {"garbage inside a message",
       twoChunks.substr(0, 8212) + garbage + good,
       {Kind::Discard, Kind::Message}},
      {"half a header then garbage", good.substr(0, 10) + garbage + good, {Kind::Message}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::size_t piece : {0, 1, 20}) {
      FrameReassembler r;
      const auto events = feedInPieces(r, c.stream, piece);
      EXPECT_EQ(kinds(events), c.expected);
      if (!events.empty() && events.back().kind == Kind::Message) {
        EXPECT_EQ(events.back().payload, "good");
      }
    }
  }
}

TEST(FrameReassembler, ChunkThatBreaksTheRunDropsThePartialMessage) {
  const std::string payload = payloadForEnvelope(8193 + 8192);  // three chunks
  const std::string wire = encodeMessage("0011", payload);
  const std::string chunk0 = wire.substr(0, 8212);
  const std::string chunk1 = wire.substr(8212, 8212);
  const std::string chunk2 = wire.substr(2 * 8212);
  const std::string other = encodeMessage("0012", "other");
  struct Case {
    const char* name;
    std::string stream;
    std::vector<Kind> expected;
  };
  const Case cases[] = {
      {"a new message starts midway", chunk0 + other, {Kind::Discard, Kind::Message}},
      {"an index is skipped", chunk0 + chunk2 + other, {Kind::Discard, Kind::Message}},
      {"a chunk repeats", chunk0 + chunk0 + chunk1 + chunk2, {Kind::Discard, Kind::Message}},
      {"a chunk without its start", chunk1 + other, {Kind::Discard, Kind::Message}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FrameReassembler r;
    const auto events = r.feed(c.stream);
    ASSERT_EQ(kinds(events), c.expected);
    EXPECT_EQ(events.back().payload, std::string(c.name) == "a chunk repeats" ? payload : "other");
  }
}

TEST(FrameReassembler, BrokenEnvelopesAreDiscarded) {
  // Envelopes sent as one chunk; each is followed by a good message.
  const std::string cases[] = {
      "<Msx0011>3</Msg0011>abc",     // wrong opening
      "<Msg0011></Msg0011>abc",      // no digits
      "<Msg0011>3x</Msg0011>abc",    // not a number
      "<Msg0011>9</Msg0011>abc",     // more payload announced than the envelope holds
      "<Msg0011>99999999999999999",  // digits that never end
      "<Msg",                        // cut short
  };
  for (const std::string& envelope : cases) {
    SCOPED_TRACE(envelope);
    const std::string stream = encodeChunkHeader("0011", static_cast<std::uint32_t>(envelope.size()), 0,
                                                 static_cast<std::uint32_t>(envelope.size())) +
                               envelope + encodeMessage("0012", "ok");
    FrameReassembler r;
    const auto events = r.feed(stream);
    ASSERT_EQ(kinds(events), (std::vector<Kind>{Kind::Discard, Kind::Message}));
    EXPECT_EQ(events[1].payload, "ok");
  }
}

TEST(FrameReassembler, OversizedEnvelopeIsSkippedWithoutBeingHeld) {
  // A header announcing one byte over the cap: its chunks are read past, then a good message.
  const std::uint32_t announced = static_cast<std::uint32_t>(kMaxEnvelopeSize + 1);
  std::string stream;
  for (std::uint32_t i = 0; i < 3; ++i)
    stream += encodeChunkHeader("0011", announced, i, 8192) + std::string(8192, 'z');
  stream += encodeMessage("0012", "after");
  FrameReassembler r;
  const auto events = feedInPieces(r, stream, 5000);
  ASSERT_EQ(kinds(events), (std::vector<Kind>{Kind::Discard, Kind::Message}));
  EXPECT_EQ(events[1].payload, "after");

  // Exactly at the cap is still a message (a smaller cap keeps the test quick).
  FrameReassembler small(100);
  const std::string fits = payloadForEnvelope(100);
  EXPECT_EQ(kinds(small.feed(encodeMessage("0011", fits) + encodeMessage("0011", fits + "!"))),
            (std::vector<Kind>{Kind::Message, Kind::Discard}));
}

TEST(FrameReassembler, ImpossibleChunkLengthsAreBadHeaders) {
  // A chunk longer than 8192 bytes, or longer than its envelope, or empty: read on from the
  // next "EMSG" rather than wait for bytes that will never come.
  const std::string headers[] = {
      encodeChunkHeader("0011", 100000, 0, 8193),
      encodeChunkHeader("0011", 10, 0, 11),
      encodeChunkHeader("0011", 10, 0, 0),
      encodeChunkHeader("0011", 0, 0, 0),
  };
  for (const std::string& header : headers) {
    FrameReassembler r;
    const auto events = r.feed(header + encodeMessage("0012", "ok"));
    ASSERT_EQ(kinds(events), std::vector<Kind>{Kind::Message});
    EXPECT_EQ(events[0].payload, "ok");
  }
}

TEST(FrameReassembler, DiscardPartialForgetsAStalledMessage) {
  const std::string wire = encodeMessage("0011", payloadForEnvelope(8193));
  FrameReassembler r;
  EXPECT_FALSE(r.discardPartial());
  r.feed(std::string_view(wire).substr(0, 8212));
  EXPECT_TRUE(r.midMessage());
  EXPECT_TRUE(r.discardPartial());
  EXPECT_FALSE(r.midMessage());
  // The rest of the stalled message arrives late: it is a chunk without its start.
  const auto events = r.feed(wire.substr(8212) + encodeMessage("0012", "fresh"));
  ASSERT_EQ(kinds(events), (std::vector<Kind>{Kind::Discard, Kind::Message}));
  EXPECT_EQ(events[1].payload, "fresh");
}

}  // namespace
}  // namespace velnox

namespace velnox {
namespace {

// A handed-back buffer still holds the old message's bytes: the next message must be
// exactly its own, whether it is smaller or larger than the old one.
TEST(FrameReassembler, RecycledMemoryCarriesNothingOver) {
  FrameReassembler reassembler;
  const std::string big(300000, 'a');
  auto first = reassembler.feed(encodeMessage("0011", big));
  ASSERT_EQ(first.size(), 1u);
  reassembler.recycle(std::move(first[0].payload));
  for (const std::string& next : {std::string(1000, 'b'), std::string(400000, 'c'), std::string("d")}) {
    auto events = reassembler.feed(encodeMessage("0012", next));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].payload, next);
    reassembler.recycle(std::move(events[0].payload));
  }
}

}  // namespace
}  // namespace velnox
