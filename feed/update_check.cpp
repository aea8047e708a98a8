#include "feed/update_check.h"

#include "app/application.h"

namespace velnox {

StartupFeeds startFeedReads(const Config& /*config*/) {
  std::promise<TextList> update, notice;
  update.set_value({});
  notice.set_value({});
  return StartupFeeds{update.get_future(), notice.get_future()};
}

void checkForUpdate(Application& /*app*/, TextList /*updateItems*/) {}
void readNoticeFeed(Application& /*app*/, TextList /*noticeItems*/) {}
void openUpdateAddress(Application& /*app*/) {}

}  // namespace velnox
