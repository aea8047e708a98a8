#include "views/ad_slots.h"

#include "app/application.h"
#include "app/window_ops.h"

namespace velnox {

namespace {

const Text kOn = "1";

struct Slot {
  Bytes* picture;
  Text* address;
};

Slot slotOf(AppState& s, int slot) {
  switch (slot) {
    case 1:
      return {&s.bannerImageA, &s.bannerUrlA};
    case 2:
      return {&s.bannerImageB, &s.bannerUrlB};
    case 3:
      return {&s.bannerImageC, &s.bannerUrlC};
    case 4:
      return {&s.leftAdImage, &s.leftAdUrl};
    case 5:
      return {&s.rightAdImage, &s.rightAdUrl};
    default:
      return {nullptr, nullptr};
  }
}

}  // namespace

void applyAdSwitches(Application& app, const Text& payload) {
  // Fields present switch their target on; missing or other fields leave it as it is, so
  // this message never hides anything.
  const TextList f = splitNonEmpty(payload, "|");
  MainWindow* main = app.mainWindow();
  if (f.size() > 0 && f[0] == kOn && main) {
    setLeft(main->bannerPicture, 0);
    main->bannerPicture->setVisible(true);
  }
  if (f.size() > 1 && f[1] == kOn) {
    // The side pictures belong to the open detail window; with none open there is nothing to
    // show, and the next window starts with them hidden.
    if (DetailWindow* detail = app.detailWindow(); detail && !detail->isMarkedForDestruction()) {
      detail->leftAdPicture->setVisible(true);
      detail->rightAdPicture->setVisible(true);
    }
  }
  if (f.size() > 2 && f[2] == kOn && main) main->loginButton->setVisible(true);
}

void applyAdList(Application& app, const std::vector<AdEntry>& entries) {
  AppState& s = app.state();
  for (const AdEntry& entry : entries) {
    const Slot slot = slotOf(s, entry.slot);
    if (!slot.picture) continue;
    s.adEntryPictureUrl = entry.pictureUrl;
    s.adEntryClickUrl = entry.clickUrl;
    *slot.picture = entry.picture;
    *slot.address = s.adEntryClickUrl;
    if (entry.slot == 1) {
      if (MainWindow* main = app.mainWindow()) main->bannerPicture->writePicture(s.bannerImageA);
      s.bannerClickUrl = s.bannerUrlA;
    }
  }
}

void rotateBanner(Application& app) {
  MainWindow* main = app.mainWindow();
  if (!main) return;
  AppState& s = app.state();
  // The picture on show is the rotation's only state; equal bytes count as the same picture.
  const Bytes& shown = main->bannerPicture->readPicture();
  const Bytes* next = &s.bannerImageA;
  const Text* address = &s.bannerUrlA;
  if (shown == s.bannerImageA) {
    next = &s.bannerImageB;
    address = &s.bannerUrlB;
  } else if (shown == s.bannerImageB) {
    next = &s.bannerImageC;
    address = &s.bannerUrlC;
  }
  s.bannerClickUrl = *address;
  main->bannerPicture->writePicture(*next);
}

void openBannerLink(Application& app) { openAddress(app.state().bannerClickUrl); }

void openSideAdLink(Application& app, AdSide side) {
  const AppState& s = app.state();
  openAddress(side == AdSide::Left ? s.leftAdUrl : s.rightAdUrl);
}

}  // namespace velnox
