#pragma once
// The regular-expression object (PCRE2, UTF mode, over text converted from GBK) and the
// two pattern helpers the program uses: trimming line breaks from a received detail text
// and extracting the texts between two markers of a shared document.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/text.h"

namespace velnox {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject& other);  // own copy of the subject, shared engine and matches
  RegexObject& operator=(const RegexObject&) = delete;

  bool execute(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
               bool multiline = true, bool global = true, bool quoteMarker = false);
  Text replaceMatches(std::string_view replacement) const;
  int32_t matchCount() const;
  Text matchText(int32_t i) const;
  Text subMatchText(int32_t i, int32_t j) const;
  int32_t subMatchCount() const;
  Text patternText() const;
  void destroy();

  struct State;

 private:
  std::shared_ptr<State> m_state;
  std::string m_subject;
};

Text trimLineBreaks(std::string_view text);
Text escapeForPattern(std::string_view marker);

struct ReplacePair {
  std::string_view needle;
  std::string_view replacement;
};
Text replacePairs(std::string_view text, std::optional<int32_t> count, std::optional<int32_t> start,
                  std::optional<bool> caseSensitive, std::initializer_list<ReplacePair> pairs);

int32_t extractBetween(std::string_view subject, std::string_view leftMarker, std::string_view rightMarker,
                       TextList& result, int32_t maxLength = 0, std::string_view prefix = {},
                       std::string_view suffix = {}, bool includeLeft = false, bool includeRight = false);

}  // namespace velnox
