#include "util/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "util/encoding.h"

namespace velnox {
namespace {

// "#引号" in GBK: the program's stand-in for a double quote inside a marker or pattern.
constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

constexpr size_t kUnset = static_cast<size_t>(-1);

// Bytes of the UTF-8 character at i (the subject is always well-formed: it comes from toUtf8).
size_t utf8Step(const std::string& s, size_t i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  size_t n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  return std::min(n, s.size() - i);
}

}  // namespace

struct RegexObject::State {
  struct Span {
    size_t begin = kUnset;
    size_t end = kUnset;
  };
  pcre2_code* code = nullptr;
  Text pattern;             // as set, in GBK
  std::string subjectUtf8;  // what the engine ran on
  uint32_t groupCount = 0;
  // Per match, groupCount + 1 spans: the whole match, then each group.
  std::vector<Span> spans;
  size_t matchTotal = 0;

  const Span& span(size_t match, size_t group) const { return spans[match * (groupCount + 1) + group]; }

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (code) pcre2_code_free(code);
  }

  std::string spanText(const Span& s) const {
    if (s.begin == kUnset || s.end < s.begin) return {};
    return subjectUtf8.substr(s.begin, s.end - s.begin);
  }
};

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) : m_state(other.m_state), m_subject(other.m_subject) {}

bool RegexObject::execute(std::string_view pattern, std::string_view subject, bool caseSensitive,
                          bool multiline, bool global, bool quoteMarker) {
  m_state.reset();
  auto state = std::make_shared<State>();
  state->pattern = quoteMarker ? replace(pattern, kQuoteMarker, "\"", true) : Text(pattern);
  m_subject = Text(subject);

  const std::string patternUtf8 = toUtf8(state->pattern);
  pcre2_compile_context* cctx = pcre2_compile_context_create(nullptr);
  if (!cctx) return false;
  // ^ after and $ before every CR or LF, as the program's trim pattern expects.
  pcre2_set_newline(cctx, PCRE2_NEWLINE_ANYCRLF);
  uint32_t options = PCRE2_UTF;
  if (!caseSensitive) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  state->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(patternUtf8.data()), patternUtf8.size(), options,
                              &errorCode, &errorOffset, cctx);
  pcre2_compile_context_free(cctx);
  if (!state->code) return false;
  pcre2_jit_compile(state->code, PCRE2_JIT_COMPLETE);  // the interpreter serves where JIT is missing
  pcre2_pattern_info(state->code, PCRE2_INFO_CAPTURECOUNT, &state->groupCount);
  m_state = state;

  state->subjectUtf8 = toUtf8(subject);
  const std::string& s = state->subjectUtf8;
  pcre2_match_data* md = pcre2_match_data_create_from_pattern(state->code, nullptr);
  if (!md) return true;  // an empty collection
  size_t offset = 0;
  // The subject's UTF-8 is checked on the first run only; later runs start on a character
  // boundary of the same subject, and checking again each time would make the search quadratic.
  uint32_t matchOptions = 0;
  while (offset <= s.size()) {
    int rc = pcre2_match(state->code, reinterpret_cast<PCRE2_SPTR>(s.data()), s.size(), offset, matchOptions,
                         md, nullptr);
    matchOptions = PCRE2_NO_UTF_CHECK;
    if (rc < 0) break;  // no further match (or a limit reached): the collection ends here
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
    uint32_t pairs = pcre2_get_ovector_count(md);
    for (uint32_t g = 0; g <= state->groupCount; ++g) {
      State::Span sp;
      if (g < pairs && ov[2 * g] != PCRE2_UNSET) sp = {ov[2 * g], ov[2 * g + 1]};
      state->spans.push_back(sp);
    }
    ++state->matchTotal;
    size_t begin = ov[0], end = ov[1];
    if (!global) break;
    if (end < begin) break;  // \K tricks; never in the program's patterns
    if (end == begin) {
      // An empty match: the next search starts one character further on.
      if (end >= s.size()) break;
      offset = end + utf8Step(s, end);
    } else {
      offset = end;
    }
  }
  pcre2_match_data_free(md);
  return true;
}

Text RegexObject::replaceMatches(std::string_view replacement) const {
  if (!m_state) return {};
  const State& st = *m_state;
  const std::string& s = st.subjectUtf8;
  const std::string repl = toUtf8(replacement);
  std::string out;
  out.reserve(s.size());
  size_t prev = 0;
  for (size_t m = 0; m < st.matchTotal; ++m) {
    const State::Span whole = st.span(m, 0);
    if (whole.begin < prev || whole.end < whole.begin) continue;
    out.append(s, prev, whole.begin - prev);
    // The usual $ forms of a replacement: $$, $& (the match), $` and $' (the subject before
    // and after it), $1 to $99 (a group).
    for (size_t i = 0; i < repl.size(); ++i) {
      char c = repl[i];
      if (c != '$' || i + 1 >= repl.size()) {
        out.push_back(c);
        continue;
      }
      char n = repl[i + 1];
      if (n == '$') {
        out.push_back('$');
        ++i;
      } else if (n == '&') {
        out.append(st.spanText(whole));
        ++i;
      } else if (n == '`') {
        out.append(s, 0, whole.begin);
        ++i;
      } else if (n == '\'') {
        out.append(s, whole.end, std::string::npos);
        ++i;
      } else if (n >= '0' && n <= '9') {
        uint32_t g = static_cast<uint32_t>(n - '0');
        size_t used = 1;
        if (i + 2 < repl.size() && repl[i + 2] >= '0' && repl[i + 2] <= '9') {
          uint32_t g2 = g * 10 + static_cast<uint32_t>(repl[i + 2] - '0');
          if (g2 >= 1 && g2 <= st.groupCount) g = g2, used = 2;
        }
        if (g >= 1 && g <= st.groupCount) {
          out.append(st.spanText(st.span(m, g)));
          i += used;
        } else {
          out.push_back(c);
        }
      } else {
        out.push_back(c);
      }
    }
    prev = whole.end;
  }
  out.append(s, prev, std::string::npos);
  return fromUtf8(out);
}

int32_t RegexObject::matchCount() const {
  return m_state ? static_cast<int32_t>(std::min<size_t>(m_state->matchTotal, INT32_MAX)) : 0;
}

Text RegexObject::matchText(int32_t i) const {
  if (!m_state || i < 1 || static_cast<size_t>(i) > m_state->matchTotal) return {};
  return fromUtf8(m_state->spanText(m_state->span(static_cast<size_t>(i) - 1, 0)));
}

Text RegexObject::subMatchText(int32_t i, int32_t j) const {
  if (!m_state || i < 1 || static_cast<size_t>(i) > m_state->matchTotal) return {};
  if (j < 1 || static_cast<uint32_t>(j) > m_state->groupCount) return {};
  return fromUtf8(m_state->spanText(m_state->span(static_cast<size_t>(i) - 1, static_cast<size_t>(j))));
}

int32_t RegexObject::subMatchCount() const {
  if (!m_state || m_state->matchTotal == 0) return 0;
  return static_cast<int32_t>(m_state->groupCount);
}

Text RegexObject::patternText() const { return m_state ? m_state->pattern : Text(); }

void RegexObject::destroy() {
  m_state.reset();
  m_subject.clear();
}

Text trimLineBreaks(std::string_view text) {
  Text t(text);
  if (t.size() >= 2 && t.compare(0, 2, "\r\n") == 0) t = right(t, length(t) - 2);
  if (t.size() >= 2 && t.compare(t.size() - 2, 2, "\r\n") == 0) t = left(t, length(t) - 2);
  RegexObject re;
  re.execute("(?:^\\r|\\n$)", t);
  Text out = re.replaceMatches("");
  re.destroy();
  return out;
}

Text replacePairs(std::string_view text, std::optional<int32_t> count, std::optional<int32_t> start,
                  std::optional<bool> caseSensitive, std::initializer_list<ReplacePair> pairs) {
  int32_t from = start.value_or(1);
  if (from == 0) from = 1;
  const bool exact = caseSensitive.value_or(false);
  Text out(text);
  for (const auto& p : pairs) out = replace(out, p.needle, p.replacement, exact, from, count);
  return out;
}

Text escapeForPattern(std::string_view marker) {
  Text t = replacePairs(marker, std::nullopt, std::nullopt, std::nullopt,
                        {{"?", "\\?"}, {"*", "\\*"}, {"+", "\\+"}, {"[", "\\["}, {"]", "\\]"}});
  t = replacePairs(t, std::nullopt, std::nullopt, std::nullopt,
                   {{"(", "\\("}, {")", "\\)"}, {"{", "\\{"}, {"}", "\\}"}, {kQuoteMarker, "\""}});
  return replace(t, "\r\n", "\\n", true);
}

namespace {

bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// A marker whose escaped pattern is a plain literal that no case rule can change: ASCII
// punctuation, digits and spaces without pattern meaning, and symbols of the first GBK
// punctuation row (A1 A1 to A1 FE, among them the brackets 【 】). Such markers are found by
// a byte search instead of the engine, with the same results.
bool isPlainMarker(std::string_view m) {
  if (m.empty()) return false;
  for (size_t i = 0; i < m.size();) {
    unsigned char b = static_cast<unsigned char>(m[i]);
    if (b == 0xA1) {
      if (i + 1 >= m.size() || static_cast<unsigned char>(m[i + 1]) < 0xA1 ||
          static_cast<unsigned char>(m[i + 1]) > 0xFE)
        return false;
      i += 2;
      continue;
    }
    if (b < 0x20 || b > 0x7E) return false;
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) return false;
    if (std::strchr(".^$|\\", b)) return false;
    ++i;
  }
  return true;
}

// Finds the markers on character boundaries of the subject as the engine sees its characters:
// a byte 81..FE and the byte after it form one character when that byte can follow a lead,
// every other byte is a character of its own.
class MarkerScanner {
 public:
  explicit MarkerScanner(std::string_view s) : m_s(s) {}

  // First occurrence of m at or after `from` that begins a character; `from` must begin one.
  size_t find(std::string_view m, size_t from) {
    m_known = from;
    size_t pos = from;
    while (pos + m.size() <= m_s.size()) {
      const void* hit = memmem(m_s.data() + pos, m_s.size() - pos, m.data(), m.size());
      if (!hit) return std::string_view::npos;
      size_t c = static_cast<size_t>(static_cast<const char*>(hit) - m_s.data());
      if (isBoundary(c)) {
        m_known = c;
        return c;
      }
      // c is the second byte of a pair, so c + 1 begins a character.
      m_known = c + 1;
      pos = c + 1;
    }
    return std::string_view::npos;
  }

 private:
  // Whether c begins a character, given that m_known <= c does. Only the run of lead bytes
  // just before c matters: the byte before such a run never begins a pair, so the run starts
  // a character, and its bytes pair off from there. m_known bounds the walk, so the whole
  // scan reads each byte a fixed number of times.
  bool isBoundary(size_t c) const {
    size_t k = c;
    while (k > m_known && isLeadByte(static_cast<unsigned char>(m_s[k - 1]))) --k;
    return (c - k) % 2 == 0;
  }

  std::string_view m_s;
  size_t m_known = 0;
};

int32_t countOf(const TextList& l) { return static_cast<int32_t>(std::min<size_t>(l.size(), INT32_MAX)); }

void appendItem(TextList& result, std::string_view item, int32_t maxLength, std::string_view leftMarker,
                std::string_view rightMarker, std::string_view prefix, std::string_view suffix,
                bool includeLeft, bool includeRight) {
  if (maxLength != 0 && static_cast<int64_t>(item.size()) > maxLength) return;
  Text value;
  value.reserve((includeLeft ? leftMarker.size() : 0) + prefix.size() + item.size() + suffix.size() +
                (includeRight ? rightMarker.size() : 0));
  if (includeLeft) value.append(leftMarker);
  value.append(prefix);
  value.append(item);
  value.append(suffix);
  if (includeRight) value.append(rightMarker);
  result.push_back(std::move(value));
}

}  // namespace

int32_t extractBetween(std::string_view subject, std::string_view leftMarker, std::string_view rightMarker,
                       TextList& result, int32_t maxLength, std::string_view prefix, std::string_view suffix,
                       bool includeLeft, bool includeRight) {
  result.clear();
  // A text ends at its first zero byte; the engine never sees what follows it, so neither
  // does the byte search.
  subject = subject.substr(0, subject.find('\0'));
  if (isPlainMarker(leftMarker) && isPlainMarker(rightMarker)) {
    // Each item runs from a left marker to the nearest right marker after it; the search goes
    // on after that right marker. A left marker without a right one after it ends the search:
    // no later left marker can have one either.
    MarkerScanner scan(subject);
    size_t pos = 0;
    while (true) {
      size_t l = scan.find(leftMarker, pos);
      if (l == std::string_view::npos) break;
      size_t itemBegin = l + leftMarker.size();
      size_t r = scan.find(rightMarker, itemBegin);
      if (r == std::string_view::npos) break;
      appendItem(result, subject.substr(itemBegin, r - itemBegin), maxLength, leftMarker, rightMarker, prefix,
                 suffix, includeLeft, includeRight);
      pos = r + rightMarker.size();
    }
    return countOf(result);
  }
  const Text pattern = escapeForPattern(leftMarker) + "([\\s\\S]*?)" + escapeForPattern(rightMarker);
  RegexObject re;
  re.execute(pattern, subject);
  const int32_t n = re.matchCount();
  for (int32_t i = 1; i <= n; ++i) {
    appendItem(result, re.subMatchText(i, 1), maxLength, leftMarker, rightMarker, prefix, suffix, includeLeft,
               includeRight);
  }
  re.destroy();
  return countOf(result);
}

}  // namespace velnox
