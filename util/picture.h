#pragma once
// Picture probing and decoding from bytes: PNG through libpng's simplified interface,
// JPEG through libjpeg. Hostile input gives 0 / nothing, never a huge allocation.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "util/text.h"

namespace velnox {

// Width / height in pixels. When the bytes before the first zero byte name an existing
// file, that file is read (file mode); otherwise the bytes themselves (memory mode).
int32_t pictureWidth(std::string_view picture);
int32_t pictureHeight(std::string_view picture);
bool isExistingFile(std::string_view path);

struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes, straight alpha
};
// Decodes PNG or JPEG bytes; std::nullopt for anything else or on failure.
std::optional<DecodedPicture> decodePicture(std::string_view bytes);

}  // namespace velnox
