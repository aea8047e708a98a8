// A received message as the server could send it: decoded from UTF-8, run through the token
// chain, and every payload read by the view that would receive it (catalogue lines and
// times, ad list, ad switches' fields, detail text). Nothing may crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/protocol.h"
#include "util/encoding.h"
#include "util/text.h"
#include "views/catalogue_logic.h"
#include "views/detail_logic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const velnox::LocalDateTime now{2026, 12, 11, 12, 0, 0};
  const std::string decoded = velnox::fromUtf8(bytes);
  for (const std::string_view text : {std::string_view(decoded), bytes}) {
    const auto effects = velnox::tokenChain(text);
    for (const auto& effect : effects) {
      switch (effect.kind) {
        case velnox::EffectKind::CatalogueData:
          velnox::catalogueRows(effect.payload, now);
          break;
        case velnox::EffectKind::DetailText:
          velnox::bodyTextFor(effect.payload);
          break;
        case velnox::EffectKind::AdSwitches:
          velnox::splitNonEmpty(effect.payload, "|");
          break;
        default:
          break;
      }
    }
    // A catalogue line's time on its own, and the token removal with a token the text holds.
    velnox::readPublicationTime(text);
    velnox::removeToken(text, "$ov_ml$");
  }
  return 0;
}
