#include "util/config.h"

#include "velnox_build_config.h"

namespace velnox {

Config Config::productDefaults() {
  Config c;
  c.productionHost = VELNOX_PRODUCTION_HOST;
  c.updateFeedAddress = VELNOX_UPDATE_FEED_URL;
  c.noticeFeedAddress = VELNOX_NOTICE_FEED_URL;
  c.signupPageAddress = VELNOX_SIGNUP_PAGE_URL;
  c.contactLineUtf8 = VELNOX_CONTACT_LINE;
  return c;
}

}  // namespace velnox
