#pragma once
// The messages exchanged with the service's server and the token chain that routes a
// received message to its effects.
//
// A received message is decoded and run through the seven server tokens in a fixed order.
// That part is pure: it yields the ordered list of effects with their payloads. The
// downloads some effects need are then made on the thread that received the message, and
// the effects finally run on the window thread through an EffectSink.
#include <functional>
#include <string_view>
#include <vector>

#include "util/text.h"

namespace velnox {

class StreamClient;

enum class EffectKind {
  AccountHint,    // "$yhts$"
  LoginAccepted,  // "$yhdr$"
  AdSwitches,     // "$ov_pz$"
  AdList,         // "$ov_gg$"
  CatalogueData,  // "$ov_ml$"
  DetailText,     // "$ov_dz$"
  CoverAddress,   // "$ov_tp$"
};

struct ServerToken {
  EffectKind kind;
  std::string_view token;
};

// The one list of server tokens, in the order the dispatcher tests them. Append-only.
inline constexpr ServerToken kServerTokens[] = {
    {EffectKind::AccountHint, "$yhts$"},    {EffectKind::LoginAccepted, "$yhdr$"},
    {EffectKind::AdSwitches, "$ov_pz$"},    {EffectKind::AdList, "$ov_gg$"},
    {EffectKind::CatalogueData, "$ov_ml$"}, {EffectKind::DetailText, "$ov_dz$"},
    {EffectKind::CoverAddress, "$ov_tp$"},
};

// One well-formed line of an ad list: slot 1..5, its two addresses and, once fetched, the picture.
struct AdEntry {
  int slot = 0;
  Text pictureUrl;
  Text clickUrl;
  Bytes picture;
};

struct Effect {
  EffectKind kind;
  Text payload;                  // the working text when the effect ran (DetailText: trimmed)
  std::vector<AdEntry> adEntries;  // AdList only
  Bytes cover;                   // CoverAddress only, once fetched
};

// Token removal: every occurrence of the token, scanning whole GBK characters.
Text removeToken(std::string_view text, std::string_view token);

// The token chain over a decoded (GBK) message. Pure.
std::vector<Effect> tokenChain(std::string_view text);

// The well-formed lines among the first five lines of an ad list payload.
std::vector<AdEntry> parseAdList(std::string_view payload);

// Makes the downloads the effects need (ad pictures, the cover), one after the other.
using Downloader = std::function<Bytes(const Text& url)>;
void fetchDownloads(std::vector<Effect>& effects, const Downloader& download);

// What the effects do; each view fills its part. The defaults do nothing.
class EffectSink {
 public:
  virtual ~EffectSink() = default;
  virtual void showAccountHint(const Text& /*payload*/) {}
  virtual void applyLoginAccepted(const Text& /*payload*/) {}
  virtual void applyAdSwitches(const Text& /*payload*/) {}
  virtual void applyAdList(const std::vector<AdEntry>& /*entries*/) {}
  virtual void fillCatalogue(const Text& /*payload*/) {}
  virtual void applyDetailText(const Text& /*trimmedPayload*/) {}
  virtual void applyCoverAddress(const Text& /*payload*/, const Bytes& /*cover*/) {}
};

void runEffects(const std::vector<Effect>& effects, EffectSink& sink);

// Client messages, as GBK texts.
Text loginRequest(const Text& account, const Text& password);
Text signupRequest(const Text& account, const Text& password, const Text& code);
Text detailRequest(const Text& title);
Text catalogueRequest();

// Converts the text to UTF-8 and hands it to the stream client; a refused send is lost.
void sendMessage(StreamClient& client, const Text& text);

}  // namespace velnox
