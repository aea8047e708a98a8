#pragma once
// URL, header and cookie helpers on GBK texts; no network, no shared state.
#include <cstdint>
#include <string_view>

#include "util/text.h"

namespace velnox {

Text urlHost(std::string_view url, bool keepPort = false);
int32_t urlPort(std::string_view url);
Text urlPath(std::string_view url);

Text normalizeHeaderNames(std::string_view headers);
Text capitalizeFirst(std::string_view text);
Text textBetween(std::string_view text, std::string_view leftMarker, std::string_view rightMarker);
Text textBefore(std::string_view text, std::string_view marker);
Text textAfterColon(std::string_view text);

Text mergeCookies(Text& cookies, std::string_view newCookies);
Text cookieName(std::string_view item);
bool hasCookieName(const TextList& list, std::string_view name);
Text joinDistinct(std::string_view text, std::string_view separator);
int32_t indexOfItem(const TextList& list, std::string_view text);

}  // namespace velnox
