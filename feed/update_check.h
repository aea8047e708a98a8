#pragma once
// The two documents read at start: the update document (is a newer version published, and
// where) and the notice document (the lines shown in every detail window).
#include <future>

#include "util/config.h"
#include "util/text.h"

namespace velnox {

class Application;

// Both documents, fetched at once on workers while the connection is being made.
struct StartupFeeds {
  std::future<TextList> updateItems;
  std::future<TextList> noticeItems;
};
StartupFeeds startFeedReads(const Config& config);

// Fills the update panel from the update document's items, or shows the fatal box and
// destroys the main window when the document yielded nothing.
void checkForUpdate(Application& app, TextList updateItems);
// Keeps the notice document's items for the detail windows.
void readNoticeFeed(Application& app, TextList noticeItems);
// A click on openUpdateButton.
void openUpdateAddress(Application& app);

}  // namespace velnox
