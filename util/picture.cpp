#include "util/picture.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>
#include <png.h>

#include "util/encoding.h"

namespace velnox {

namespace {

// Pictures come from the network: refuse sizes no banner, side picture or cover needs, before
// anything of that size is allocated (64 megapixels are 256 MiB of RGBA already).
constexpr uint32_t kMaxSide = 16384;
constexpr uint64_t kMaxPixels = 64ull * 1024 * 1024;
// A picture file is read into memory up to this many bytes; its header lies far before.
constexpr size_t kMaxFileBytes = 64u * 1024 * 1024;

bool acceptableSize(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

const unsigned char* bytesOf(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

bool looksLikePng(std::string_view b) { return b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0; }

bool looksLikeJpeg(std::string_view b) {
  const unsigned char* p = bytesOf(b);
  return b.size() >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
};

// --- PNG through libpng's simplified interface ---

bool pngHeader(std::string_view bytes, Size& size) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    png_image_free(&image);
    return false;
  }
  size = {image.width, image.height};
  png_image_free(&image);
  return true;
}

std::optional<DecodedPicture> decodePng(std::string_view bytes) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    png_image_free(&image);
    return std::nullopt;
  }
  if (!acceptableSize(image.width, image.height)) {
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  DecodedPicture out;
  out.width = static_cast<int32_t>(image.width);
  out.height = static_cast<int32_t>(image.height);
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  const bool ok = png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) != 0;
  png_image_free(&image);
  if (!ok) return std::nullopt;
  return out;
}

// --- JPEG through libjpeg ---

// libjpeg's default error handler ends the process; ours jumps back to the caller instead.
struct JpegErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
  std::longjmp(manager->jump, 1);
}
void jpegEmitMessage(j_common_ptr, int) {}  // warnings (a truncated file, say) are not printed
void jpegOutputMessage(j_common_ptr) {}

// The work of one JPEG call. It lives in the caller's frame, so nothing that the setjmp frame
// changes is an automatic object of that frame.
struct JpegJob {
  bool headerOnly = false;
  Size size;
  DecodedPicture picture;
};

bool runJpeg(const unsigned char* data, size_t length, JpegJob* job) {
  jpeg_decompress_struct info;
  JpegErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = jpegErrorExit;
  errors.base.emit_message = jpegEmitMessage;
  errors.base.output_message = jpegOutputMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  // The coefficient buffers of a progressive picture at the size cap stay below this.
  info.mem->max_memory_to_use = 512l * 1024 * 1024;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(length));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  job->size = {info.image_width, info.image_height};
  if (job->headerOnly) {
    jpeg_destroy_decompress(&info);
    return true;
  }
  if (!acceptableSize(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  if (!acceptableSize(info.output_width, info.output_height) || info.output_components != 4) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const size_t stride = size_t{info.output_width} * 4;
  job->picture.width = static_cast<int32_t>(info.output_width);
  job->picture.height = static_cast<int32_t>(info.output_height);
  job->picture.rgba.assign(stride * info.output_height, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = job->picture.rgba.data() + stride * info.output_scanline;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
  }
  const bool adobeInverted = info.saw_Adobe_marker;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (cmyk) {
    // Photoshop writes CMYK inverted (Adobe marker); plain CMYK is ink coverage.
    for (size_t i = 0; i + 3 < job->picture.rgba.size(); i += 4) {
      uint8_t* p = &job->picture.rgba[i];
      const unsigned k = adobeInverted ? p[3] : 255u - p[3];
      for (int c = 0; c < 3; ++c) {
        const unsigned v = adobeInverted ? p[c] : 255u - p[c];
        p[c] = static_cast<uint8_t>(v * k / 255u);
      }
      p[3] = 255;
    }
  }
  return true;
}

// --- Header-only readers of the two other common formats ---

uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const unsigned char* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

bool gifHeader(std::string_view b, Size& size) {
  if (b.size() < 10 || (std::memcmp(b.data(), "GIF87a", 6) != 0 && std::memcmp(b.data(), "GIF89a", 6) != 0))
    return false;
  size = {le16(bytesOf(b) + 6), le16(bytesOf(b) + 8)};
  return true;
}

bool bmpHeader(std::string_view b, Size& size) {
  if (b.size() < 26 || b[0] != 'B' || b[1] != 'M') return false;
  const unsigned char* p = bytesOf(b);
  const int32_t width = static_cast<int32_t>(le32(p + 18));
  const int32_t height = static_cast<int32_t>(le32(p + 22));  // negative: rows stored top-down
  if (width <= 0 || height == 0 || height == INT32_MIN) return false;
  size = {static_cast<uint32_t>(width), static_cast<uint32_t>(height < 0 ? -height : height)};
  return true;
}

// Size from the header of an encoded picture; {0, 0} for anything unreadable or refused.
Size headerSize(std::string_view bytes) {
  Size size;
  bool ok = false;
  if (looksLikePng(bytes)) {
    ok = pngHeader(bytes, size);
  } else if (looksLikeJpeg(bytes)) {
    JpegJob job;
    job.headerOnly = true;
    ok = runJpeg(bytesOf(bytes), bytes.size(), &job);
    size = job.size;
  } else {
    ok = gifHeader(bytes, size) || bmpHeader(bytes, size);
  }
  if (!ok || !acceptableSize(size.width, size.height)) return {};
  return size;
}

// --- Files ---

std::string_view pathView(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

// The file-system name of a GBK path, or empty when the text cannot be a file name: control
// characters, or bytes that do not convert cleanly. Picture data (a JPEG starts FF D8 FF E0)
// would otherwise turn into "????" and be looked up as a wildcard pattern.
std::string fileSystemName(std::string_view gbkPath) {
  if (gbkPath.empty()) return {};
  for (unsigned char c : gbkPath)
    if (c < 0x20 || c == 0x7F) return {};
  std::string utf8 = toUtf8(gbkPath);
  if (utf8.empty() || std::count(utf8.begin(), utf8.end(), '?') != std::count(gbkPath.begin(), gbkPath.end(), '?'))
    return {};
  return utf8;
}

// "*" any run of characters, "?" exactly one (UTF-8 sequences count as one character).
bool wildcardMatch(std::string_view pattern, std::string_view name) {
  auto next = [](std::string_view s, size_t i) {
    size_t j = i + 1;
    while (j < s.size() && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80) ++j;
    return j;
  };
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n = next(name, n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP;
      starN = next(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A search pattern in the last part of the path: the first entry that matches decides.
bool firstMatchIsFile(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.empty() || dir.find_first_of("*?") != std::string::npos) return false;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool result = false;
  while (dirent* entry = ::readdir(d)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !wildcardMatch(pattern, name)) continue;
    result = !isDirectory(dir + "/" + std::string(name));
    break;
  }
  ::closedir(d);
  return result;
}

// Reads a regular file (never a device or a pipe, which could block for ever) up to the cap.
bool readPictureFile(const std::string& path, std::string& out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  out.clear();
  char buffer[65536];
  while (out.size() < kMaxFileBytes) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, kMaxFileBytes - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

Size probe(std::string_view picture) {
  const std::string_view path = pathView(picture);
  if (isExistingFile(path)) {
    // File mode never falls back to the bytes themselves.
    std::string contents;
    if (!readPictureFile(fileSystemName(path), contents)) return {};
    return headerSize(contents);
  }
  return headerSize(picture);
}

}  // namespace

int32_t pictureWidth(std::string_view picture) { return static_cast<int32_t>(probe(picture).width); }

int32_t pictureHeight(std::string_view picture) { return static_cast<int32_t>(probe(picture).height); }

bool isExistingFile(std::string_view path) {
  const std::string name = fileSystemName(pathView(path));
  if (name.empty()) return false;
  if (name.find_first_of("*?") != std::string::npos) return firstMatchIsFile(name);
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::optional<DecodedPicture> decodePicture(std::string_view bytes) {
  if (looksLikePng(bytes)) return decodePng(bytes);
  if (looksLikeJpeg(bytes)) {
    JpegJob job;
    if (!runJpeg(bytesOf(bytes), bytes.size(), &job)) return std::nullopt;
    return std::move(job.picture);
  }
  return std::nullopt;
}

}  // namespace velnox
