#include "feed/feed_reader.h"

#include "util/encoding.h"
#include "util/http.h"
#include "util/regex.h"

namespace velnox {

int32_t readFeedItems(const Text& address, TextList& items, const std::string& caFile) {
  HttpRequestParams request;
  request.url = address;
  request.method = 0;
  request.caFile = caFile;
  return readFeedItemsFromBody(HttpRequest(request), items);
}

int32_t readFeedItemsFromBody(std::string_view body, TextList& items) {
  const Text text = fromUtf8(body);
  // Only what stands before the first "summary" is the document's own content; the cut
  // keeps the "s" of that word, and no "summary" at all leaves nothing.
  const Text kept = left(text, find(text, "summary"));
  // "【" and "】" in GBK
  return extractBetween(kept, "\xA1\xBE", "\xA1\xBF", items);
}

}  // namespace velnox
