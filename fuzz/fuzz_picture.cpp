// Picture bytes as a picture host could send them: the size probe and the decoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "util/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // A text that names an existing file is read as that file: keep to picture bytes here.
  if (velnox::isExistingFile(bytes.substr(0, bytes.find('\0')))) return 0;
  const int32_t width = velnox::pictureWidth(bytes);
  const int32_t height = velnox::pictureHeight(bytes);
  if (width < 0 || height < 0) std::abort();
  if (const auto decoded = velnox::decodePicture(bytes)) {
    (void)decoded;
  }
  return 0;
}
