// A shared document's body as any server could serve it: the items between the brackets
// before the first "summary".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "feed/feed_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velnox::TextList items;
  const int32_t count =
      velnox::readFeedItemsFromBody(std::string_view(reinterpret_cast<const char*>(data), size), items);
  if (count != static_cast<int32_t>(items.size())) std::abort();
  return 0;
}
