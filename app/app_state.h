#pragma once
// The one program-wide state record. It lives from start-up to the end of the run and is
// touched on the window thread only: received messages are handed to that thread before
// their effects write here.
#include <memory>

#include "net/stream_client.h"
#include "util/text.h"

namespace velnox {

struct AppState {
  // The program's one connection object: created closed at start, destroyed at exit.
  std::unique_ptr<StreamClient> streamClient;
  // Address opened by a click on the banner; always the one of the picture it shows.
  Text bannerClickUrl;
  // Ad slots 1 to 3 take turns in the banner; 4 and 5 flank every detail window.
  Bytes bannerImageA;
  Bytes bannerImageB;
  Text bannerUrlB;
  Bytes bannerImageC;
  Text bannerUrlC;
  Text bannerUrlA;
  // The ad list entry being stored (the last well-formed one).
  Text adEntryPictureUrl;
  Text adEntryClickUrl;
  Bytes leftAdImage;
  Text leftAdUrl;
  Bytes rightAdImage;
  Text rightAdUrl;
  // Shown in every detail window; empty when the notice feed yields nothing.
  TextList noticeLines;
};

}  // namespace velnox
