#include "net/protocol.h"

#include "net/stream_client.h"
#include "util/encoding.h"
#include "util/regex.h"

namespace velnox {

namespace {
// "罸" in GBK: the account messages' field separator.
constexpr std::string_view kAccountSeparator = "\xC1\x55";
}  // namespace

Text removeToken(std::string_view text, std::string_view token) {
  Text out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = token.size();
  while (i < text.size()) {
    if (text.size() - i < n) break;
    if (n != 0 && text.compare(i, n, token) == 0) {
      i += n;
      continue;
    }
    // Step over whole characters, so a token never starts inside a double-byte one.
    const size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    const size_t take = std::min(step, text.size() - i);
    out.append(text.substr(i, take));
    i += take;
  }
  out.append(text.substr(std::min(i, text.size())));
  return out;
}

std::vector<Effect> tokenChain(std::string_view text) {
  std::vector<Effect> effects;
  Text working(text.substr(0, text.find('\0')));
  for (const ServerToken& t : kServerTokens) {
    if (left(working, static_cast<int32_t>(t.token.size())) != t.token) continue;
    working = removeToken(working, t.token);
    Effect e{t.kind, {}, {}, {}};
    if (t.kind == EffectKind::DetailText) {
      // Later tokens are tested on the trimmed text.
      working = trimLineBreaks(working);
    }
    e.payload = working;
    if (t.kind == EffectKind::AdList) e.adEntries = parseAdList(working);
    effects.push_back(std::move(e));
  }
  return effects;
}

std::vector<AdEntry> parseAdList(std::string_view payload) {
  std::vector<AdEntry> entries;
  const TextList lines = splitNonEmpty(payload, "\r\n");
  for (size_t n = 0; n < lines.size() && n < 5; ++n) {
    const TextList fields = splitNonEmpty(lines[n], "|");
    // A line that is not exactly picture address and click address leaves its slot alone.
    if (fields.size() != 2) continue;
    entries.push_back(AdEntry{static_cast<int>(n) + 1, fields[0], fields[1], {}});
  }
  return entries;
}

void fetchDownloads(std::vector<Effect>& effects, const Downloader& download) {
  for (Effect& e : effects) {
    if (e.kind == EffectKind::AdList) {
      for (AdEntry& entry : e.adEntries) entry.picture = download(entry.pictureUrl);
    } else if (e.kind == EffectKind::CoverAddress) {
      e.cover = download(e.payload);
    }
  }
}

void runEffects(const std::vector<Effect>& effects, EffectSink& sink) {
  for (const Effect& e : effects) {
    switch (e.kind) {
      case EffectKind::AccountHint:
        sink.showAccountHint(e.payload);
        break;
      case EffectKind::LoginAccepted:
        sink.applyLoginAccepted(e.payload);
        break;
      case EffectKind::AdSwitches:
        sink.applyAdSwitches(e.payload);
        break;
      case EffectKind::AdList:
        sink.applyAdList(e.adEntries);
        break;
      case EffectKind::CatalogueData:
        sink.fillCatalogue(e.payload);
        break;
      case EffectKind::DetailText:
        sink.applyDetailText(e.payload);
        break;
      case EffectKind::CoverAddress:
        sink.applyCoverAddress(e.payload, e.cover);
        break;
    }
  }
}

Text loginRequest(const Text& account, const Text& password) {
  return concat({"%yhdr%", account, kAccountSeparator, password});
}

Text signupRequest(const Text& account, const Text& password, const Text& code) {
  return concat({"%yhjr%", account, kAccountSeparator, password, kAccountSeparator, code});
}

Text detailRequest(const Text& title) { return concat({"%ov_mc%", title}); }

Text catalogueRequest() { return "%ov_xml%"; }

void sendMessage(StreamClient& client, const Text& text) { (void)client.send(toUtf8(text)); }

}  // namespace velnox
