#include "util/encoding.h"

#include <errno.h>
#include <iconv.h>
#include <openssl/evp.h>

#include <cstring>

namespace velnox {
namespace {

// One converter per direction and thread: opening a converter loads the charset tables,
// which costs far more than converting a short message.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Runs one conversion step from *in into [*out, outEnd); returns errno of the stop, 0 when done.
  int step(const char*& in, size_t& inLeft, char*& out, char* outEnd) {
    char* ip = const_cast<char*>(in);
    size_t outLeft = static_cast<size_t>(outEnd - out);
    size_t r = iconv(m_cd, &ip, &inLeft, &out, &outLeft);
    int err = r == static_cast<size_t>(-1) ? errno : 0;
    in = ip;
    return err;
  }
  void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t m_cd;
};

Converter& gbkToUtf8Converter() {
  thread_local Converter c("UTF-8", "CP936");
  return c;
}
Converter& utf8ToGbkConverter() {
  thread_local Converter c("CP936", "UTF-8");
  return c;
}
Converter& gbkToUtf16Converter() {
  thread_local Converter c("UTF-16LE", "CP936");
  return c;
}

bool isGbkLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isGbkTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Bytes taken by a character the converter refused at p. A structurally sound double-byte
// pair that CP936 leaves unassigned counts as one character; anything else is one bad byte.
size_t badGbkLength(const char* p, size_t left) {
  unsigned char b = static_cast<unsigned char>(p[0]);
  if (left >= 2 && isGbkLead(b) && isGbkTrail(static_cast<unsigned char>(p[1]))) return 2;
  return 1;
}

// Length of the well-formed UTF-8 sequence at p (no overlongs, no surrogates, at most
// U+10FFFF), or 0 when the bytes there do not begin one.
size_t utf8SequenceLength(const char* p, size_t left) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  unsigned char b = s[0];
  if (b < 0x80) return 1;
  auto cont = [&](size_t i) { return i < left && (s[i] & 0xC0) == 0x80; };
  if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (b == 0xE0 && s[1] < 0xA0) return 0;
    if (b == 0xED && s[1] >= 0xA0) return 0;
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (b == 0xF0 && s[1] < 0x90) return 0;
    if (b == 0xF4 && s[1] >= 0x90) return 0;
    return 4;
  }
  return 0;
}

// Converts the whole input with as few converter calls as possible: one call normally, and
// after a character that cannot be converted, a replacement and a resumed call.
// skipBad tells how many input bytes a refused character takes; its place gets `replacement`.
template <typename SkipBad>
std::string convertAll(Converter& cv, std::string_view input, size_t maxGrowth, std::string_view replacement,
                       SkipBad skipBad) {
  std::string out;
  if (!cv.ok() || input.empty()) return out;
  cv.reset();
  out.resize(input.size() * maxGrowth + 16);
  const char* in = input.data();
  size_t inLeft = input.size();
  char* op = out.data();
  while (true) {
    char* outEnd = out.data() + out.size();
    int err = cv.step(in, inLeft, op, outEnd);
    if (err == 0) break;
    if (err == E2BIG) {
      size_t used = static_cast<size_t>(op - out.data());
      out.resize(out.size() * 2 + 16);
      op = out.data() + used;
      continue;
    }
    // EILSEQ or EINVAL (a sequence cut off by the end): put the replacement and go on.
    size_t skip = skipBad(in, inLeft);
    if (skip == 0 || skip > inLeft) skip = inLeft > 0 ? 1 : 0;
    if (static_cast<size_t>(out.data() + out.size() - op) < replacement.size()) {
      size_t used = static_cast<size_t>(op - out.data());
      out.resize(out.size() * 2 + 16);
      op = out.data() + used;
    }
    std::memcpy(op, replacement.data(), replacement.size());
    op += replacement.size();
    in += skip;
    inLeft -= skip;
    cv.reset();
    if (inLeft == 0) break;
  }
  out.resize(static_cast<size_t>(op - out.data()));
  return out;
}

std::string_view cutAtZero(std::string_view s) {
  const void* z = std::memchr(s.data(), 0, s.size());
  if (z) return s.substr(0, static_cast<size_t>(static_cast<const char*>(z) - s.data()));
  return s;
}

}  // namespace

Bytes toUtf8(std::string_view text) {
  text = cutAtZero(text);
  // A byte of CP936 becomes at most three bytes of UTF-8 (0x80 is the euro sign).
  return convertAll(gbkToUtf8Converter(), text, 3, "?", badGbkLength);
}

Text fromUtf8(std::string_view bytes) {
  // A zero byte in UTF-8 is always U+0000, and U+0000 is the only source of a zero in CP936.
  bytes = cutAtZero(bytes);
  // A character CP936 lacks is refused like a bad byte; a well-formed one is replaced as a
  // whole, a byte that begins no valid sequence on its own.
  return convertAll(utf8ToGbkConverter(), bytes, 1, "?", [](const char* p, size_t left) {
    size_t n = utf8SequenceLength(p, left);
    return n == 0 ? size_t{1} : n;
  });
}

Bytes gbkToUtf16(std::string_view text) {
  text = cutAtZero(text);
  if (text.empty()) return {};
  Bytes out = convertAll(gbkToUtf16Converter(), text, 2, std::string_view("?\0", 2), badGbkLength);
  out.append(2, '\0');
  return out;
}

Text hashHex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr) != 1 || len != 16) return {};
  static const char kDigits[] = "0123456789ABCDEF";
  Text out(32, '0');
  for (unsigned i = 0; i < 16; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 0x0F];
  }
  return out;
}

Text md5OfText(std::string_view text) {
  Text hex = hashHex(text);
  if (hex.empty()) return {};
  return mid(toLower(hex), 9, 16);
}

}  // namespace velnox
