#pragma once
// The demo's pictures, drawn in code: item covers and the five ad pictures, as PNG or JPEG
// file bytes. Titles are written on them when a Qt GUI application exists in the process
// (text needs its font database); without one the pictures carry shapes only.
#include <optional>
#include <string>
#include <string_view>

#include "server/demo_content.h"

namespace velnox::demo {

// The cover of catalogue item `index`; empty for an index outside the catalogue or an item
// whose cover has been withdrawn.
std::string coverPicture(int index);
// Ad slot 1 to 5: slots 1-3 are banner pictures (654 x 110), 4 and 5 side pictures (105 x 704).
std::string adPicture(int slot);

// The picture behind a path of the HTTP side ("/pictures/cover-3.png"), with its media type;
// nothing for a path that names no picture. Pictures are drawn once and then kept.
struct ServedPicture {
  std::string bytes;
  std::string mediaType;
};
std::optional<ServedPicture> pictureForPath(std::string_view path);

}  // namespace velnox::demo
