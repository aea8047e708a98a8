#pragma once
// Reads a shared document (the update or the notice document) into its bracketed items:
// every text between "【" and "】" in the part of the document that comes before its first
// "summary" (letter case counts). Nothing else of the document is interpreted.
#include <cstdint>
#include <string>
#include <string_view>

#include "util/text.h"

namespace velnox {

// Fetches the document with a plain GET (HttpRequest with url and method 0 only), fills
// items and returns their number. A failed request gives no items and 0.
// caFile: tests only, a CA file to verify the server against instead of the system store.
int32_t readFeedItems(const Text& address, TextList& items, const std::string& caFile = {});

// The same from a body already fetched (UTF-8 bytes). Its own name, so that an address
// held in a string can never be taken for a body.
int32_t readFeedItemsFromBody(std::string_view body, TextList& items);

}  // namespace velnox
