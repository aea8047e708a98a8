#include "net/protocol.h"

#include "net/stream_client.h"
#include "util/encoding.h"
#include "util/regex.h"

namespace velnox {

namespace {
// "罸" in GBK: the account messages' field separator.
constexpr std::string_view kAccountSeparator = "\xC1\x55";
}  // namespace

namespace {

// Whether pos starts a character when the text is read whole characters at a time from
// `from` (itself a character start): a byte below 0x80 always ends a character, so only the
// run of bytes of 0x80 and above just before pos matters, and they pair up.
bool startsCharacter(std::string_view text, size_t from, size_t pos) {
  size_t k = pos;
  while (k > from && static_cast<unsigned char>(text[k - 1]) >= 0x80) --k;
  return (pos - k) % 2 == 0;
}

}  // namespace

Text removeToken(std::string_view text, std::string_view token) {
  if (token.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  size_t copied = 0;  // text before this is in out (or was a removed token)
  size_t from = 0;    // a character start at or after copied
  size_t search = 0;
  for (;;) {
    const size_t hit = text.find(token, search);
    if (hit == std::string_view::npos) break;
    // A token never starts inside a double-byte character.
    if (!startsCharacter(text, from, hit)) {
      search = hit + 1;
      continue;
    }
    out.append(text.substr(copied, hit - copied));
    copied = from = search = hit + token.size();
  }
  out.append(text.substr(copied));
  return out;
}

std::vector<Effect> tokenChain(std::string_view text) {
  std::vector<Effect> effects;
  // Each matched effect keeps the working text as its payload; the next token is tested on
  // the last payload, so a long message is copied once per matched token and not more.
  effects.reserve(std::size(kServerTokens));
  std::string_view working = text.substr(0, text.find('\0'));
  for (const ServerToken& t : kServerTokens) {
    if (!working.starts_with(t.token)) continue;
    Effect e{t.kind, removeToken(working, t.token), {}, {}};
    // Later tokens are tested on the trimmed text.
    if (t.kind == EffectKind::DetailText) e.payload = trimLineBreaks(e.payload);
    if (t.kind == EffectKind::AdList) e.adEntries = parseAdList(e.payload);
    effects.push_back(std::move(e));
    working = effects.back().payload;
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
