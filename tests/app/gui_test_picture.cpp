// Picture probing and decoding (util/picture) and the picture box that shows decoded bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <string>

#include "app/controls.h"
#include "util/gbk_literal.h"
#include "util/picture.h"

namespace velnox {
namespace {

Bytes encode(const QImage& image, const char* format, int quality = -1) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(image.save(&buffer, format, quality));
  return Bytes(data.constData(), static_cast<size_t>(data.size()));
}

QImage filled(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

Bytes png(int width, int height, QColor colour = Qt::red) {
  return encode(filled(width, height, colour), "PNG");
}
Bytes jpeg(int width, int height, QColor colour = Qt::blue) {
  return encode(filled(width, height, colour), "JPEG", 90);
}

void putBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

// A PNG whose header declares another size, with a correct checksum so that only the size is hostile.
Bytes pngDeclaring(uint32_t width, uint32_t height) {
  Bytes b = png(4, 4);
  putBe32(b, 16, width);
  putBe32(b, 20, height);
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(b.data() + 12), 17);  // "IHDR" + 13 bytes
  putBe32(b, 29, static_cast<uint32_t>(crc));
  return b;
}

// A JPEG whose frame header declares another size.
Bytes jpegDeclaring(uint16_t width, uint16_t height) {
  Bytes b = jpeg(8, 8);
  for (size_t i = 2; i + 9 < b.size(); ++i) {
    const auto m = static_cast<unsigned char>(b[i + 1]);
    if (static_cast<unsigned char>(b[i]) == 0xFF && (m == 0xC0 || m == 0xC2)) {
      b[i + 5] = static_cast<char>(height >> 8);
      b[i + 6] = static_cast<char>(height & 0xFF);
      b[i + 7] = static_cast<char>(width >> 8);
      b[i + 8] = static_cast<char>(width & 0xFF);
      return b;
    }
  }
  ADD_FAILURE() << "no frame header";
  return b;
}

std::string local(const QString& path) { return path.toStdString(); }

TEST(PictureProbe, SizesOfPictureBytes) {
  struct Case {
    const char* name;
    Bytes bytes;
    int width, height;
  };
  const Bytes bmp = encode(filled(31, 17, Qt::green), "BMP");
  Bytes zeroFirst = png(5, 6);
  zeroFirst.insert(0, 1, '\0');  // empty path view, and no longer a picture
  const Case cases[] = {
      {"png", png(640, 480), 640, 480},
      {"jpeg", jpeg(490, 980), 490, 980},
      {"bmp", bmp, 31, 17},
      {"empty", Bytes(), 0, 0},
      {"garbage", Bytes("this is not a picture at all"), 0, 0},
      {"zero byte first", zeroFirst, 0, 0},
      {"png cut after its header", png(7, 9).substr(0, 33), 0, 0},
      {"png cut inside header", png(7, 9).substr(0, 20), 0, 0},
      {"jpeg cut after start", jpeg(7, 9).substr(0, 4), 0, 0},
      {"png too wide", pngDeclaring(20000, 10), 0, 0},
      {"png too many pixels", pngDeclaring(16384, 16384), 0, 0},
      {"png at the side limit", pngDeclaring(16384, 100), 16384, 100},
      {"png beyond libpng", pngDeclaring(0x7FFFFFFF, 0x7FFFFFFF), 0, 0},
      {"jpeg too large", jpegDeclaring(65000, 65000), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pictureWidth(c.bytes), c.width);
    EXPECT_EQ(pictureHeight(c.bytes), c.height);
  }
}

TEST(PictureProbe, EveryTruncationIsSafe) {
  for (const Bytes& whole : {png(33, 21), jpeg(33, 21)}) {
    for (size_t n = 0; n < whole.size(); ++n) {
      const Bytes part = whole.substr(0, n);
      const int32_t w = pictureWidth(part);
      EXPECT_TRUE(w == 0 || w == 33) << n;
      // A cut picture either fails or decodes at its declared size (JPEG fills in what is missing).
      std::optional<DecodedPicture> decoded = decodePicture(part);
      if (decoded) {
        EXPECT_EQ(decoded->width, 33);
        EXPECT_EQ(decoded->rgba.size(), size_t{33} * 21 * 4);
      }
    }
  }
}

TEST(PictureDecode, PngAndJpegToRgba) {
  std::optional<DecodedPicture> p = decodePicture(png(3, 2, QColor(10, 200, 30)));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->width, 3);
  EXPECT_EQ(p->height, 2);
  ASSERT_EQ(p->rgba.size(), 24u);
  EXPECT_EQ(p->rgba[0], 10);
  EXPECT_EQ(p->rgba[1], 200);
  EXPECT_EQ(p->rgba[2], 30);
  EXPECT_EQ(p->rgba[3], 255);

  std::optional<DecodedPicture> j = decodePicture(jpeg(16, 8, QColor(0, 0, 255)));
  ASSERT_TRUE(j);
  EXPECT_EQ(j->width, 16);
  EXPECT_EQ(j->height, 8);
  EXPECT_LT(j->rgba[0], 30);
  EXPECT_GT(j->rgba[2], 220);
  EXPECT_EQ(j->rgba[3], 255);

  EXPECT_FALSE(decodePicture(encode(filled(4, 4, Qt::red), "BMP")));  // not ours: Qt's readers take it
  EXPECT_FALSE(decodePicture(pngDeclaring(20000, 20000)));
  EXPECT_FALSE(decodePicture(jpegDeclaring(30000, 30000)));
  EXPECT_FALSE(decodePicture(Bytes("\x89PNG\r\n\x1a\n garbage after the signature")));
  EXPECT_FALSE(decodePicture(Bytes("\xFF\xD8\xFF garbage after the markers")));
}

class PictureFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::string write(const QString& name, const Bytes& bytes) {
    QFile f(dir.filePath(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return local(dir.filePath(name));
  }
  QTemporaryDir dir;
};

TEST_F(PictureFiles, FileModeAndMemoryMode) {
  const std::string picture = write("cover.png", png(120, 80));
  const std::string text = write("notes.txt", "not a picture");
  // A GBK path: the file system sees the UTF-8 name.
  write(QString::fromUtf8("封面.jpg"), jpeg(64, 32));
  const Text chinesePath = local(dir.path()) + "/" + gbk("封面.jpg");

  EXPECT_TRUE(isExistingFile(picture));
  EXPECT_TRUE(isExistingFile(chinesePath));
  EXPECT_FALSE(isExistingFile(local(dir.path())));
  EXPECT_FALSE(isExistingFile(local(dir.path()) + "/missing.png"));
  EXPECT_FALSE(isExistingFile(""));

  EXPECT_EQ(pictureWidth(picture), 120);
  EXPECT_EQ(pictureHeight(picture), 80);
  EXPECT_EQ(pictureWidth(chinesePath), 64);
  EXPECT_EQ(pictureHeight(chinesePath), 32);
  // Only the bytes before the first zero byte spell the path.
  EXPECT_EQ(pictureWidth(picture + std::string("\0trailing", 9)), 120);
  // An existing file that is no picture gives 0; its path is not tried as picture data.
  EXPECT_EQ(pictureWidth(text), 0);
  // A directory is read in memory mode, which its path text does not decode in.
  EXPECT_EQ(pictureWidth(local(dir.path())), 0);
}

TEST_F(PictureFiles, WildcardsAreSearchPatterns) {
  write("a.png", png(10, 10));
  ASSERT_TRUE(QDir(dir.path()).mkdir("sub.d"));
  EXPECT_TRUE(isExistingFile(local(dir.path()) + "/*.png"));
  EXPECT_TRUE(isExistingFile(local(dir.path()) + "/?.png"));
  EXPECT_FALSE(isExistingFile(local(dir.path()) + "/*.d"));  // the first match is a directory
  EXPECT_FALSE(isExistingFile(local(dir.path()) + "/*.gif"));
  // The pattern itself names no file to open.
  EXPECT_EQ(pictureWidth(local(dir.path()) + "/*.png"), 0);
}

TEST_F(PictureFiles, PipesAndPictureBytesNeverBlockOrMisfire) {
  const std::string fifo = local(dir.filePath("pipe"));
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(isExistingFile(fifo));
  EXPECT_EQ(pictureWidth(fifo), 0);  // returns at once instead of waiting for a writer

  // The first bytes of a JPEG do not convert to a file name; they must not be taken as a
  // pattern that matches short file names in the working directory.
  for (const char* name : {"a", "ab", "abc", "abcd", "abcde"}) write(name, "x");
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  const Bytes picture = jpeg(48, 24);
  const int32_t width = pictureWidth(picture);
  const bool existing = isExistingFile(picture);
  QDir::setCurrent(previous);
  EXPECT_FALSE(existing);
  EXPECT_EQ(width, 48);
}

// --- PictureBox ---

TEST(PictureBox, KeepsTheBytesItWasGiven) {
  PictureBox box;
  const Bytes picture = png(9, 9);
  ASSERT_NE(picture.find('\0'), std::string::npos);
  box.writePicture(picture);
  EXPECT_EQ(box.readPicture(), picture);
  EXPECT_EQ(box.image().size(), QSize(9, 9));

  const Bytes garbage("\x00\x01not a picture", 15);
  box.writePicture(garbage);
  EXPECT_EQ(box.readPicture(), garbage);
  EXPECT_TRUE(box.image().isNull());

  box.writePicture(encode(filled(6, 4, Qt::green), "BMP"));  // through Qt's readers
  EXPECT_EQ(box.image().size(), QSize(6, 4));

  box.writePicture(Bytes());
  EXPECT_TRUE(box.readPicture().empty());
  EXPECT_TRUE(box.image().isNull());
  EXPECT_TRUE(box.pictureRect().isEmpty());
}

TEST(PictureBox, CentresAndScalesDownOnly) {
  PictureBox box;
  box.resize(100, 50);  // a one-pixel border leaves 98 x 48
  struct Case {
    int width, height;
    QRect drawn;
  };
  const Case cases[] = {
      {20, 10, QRect(40, 20, 20, 10)},   // smaller: own size, centred
      {98, 48, QRect(1, 1, 98, 48)},     // exactly fits
      {200, 50, QRect(1, 13, 98, 24)},   // wider: scaled to the width, 4:1 kept
      {50, 200, QRect(44, 1, 12, 48)},   // taller: scaled to the height
      {400, 100, QRect(1, 13, 98, 24)},  // both larger
  };
  for (const Case& c : cases) {
    box.writePicture(png(c.width, c.height));
    EXPECT_EQ(box.pictureRect(), c.drawn) << c.width << "x" << c.height;
  }
  box.setBorder(false);
  box.writePicture(png(20, 10));
  EXPECT_EQ(box.pictureRect(), QRect(40, 20, 20, 10));
  box.writePicture(png(200, 50));
  EXPECT_EQ(box.pictureRect(), QRect(0, 12, 100, 25));
}

TEST(PictureBox, PaintsPictureOnWhite) {
  PictureBox box;
  box.resize(60, 40);
  box.setBorder(false);
  box.writePicture(png(20, 10, Qt::red));
  const QImage shot = box.grab().toImage();
  EXPECT_EQ(shot.pixelColor(30, 20), QColor(Qt::red));
  EXPECT_EQ(shot.pixelColor(2, 2), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(19, 14), QColor(Qt::white));  // just outside the picture
  EXPECT_EQ(shot.pixelColor(20, 15), QColor(Qt::red));
}

TEST(PictureBox, LeftReleaseAndWheel) {
  PictureBox box;
  box.resize(50, 50);
  box.show();
  QSignalSpy released(&box, &PictureBox::leftReleased);
  QSignalSpy wheel(&box, &PictureBox::wheelTurned);
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseClick(&box, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(released.count(), 1);

  // Parts of a notch (smooth wheels, touch pads) add up to whole notches in one direction;
  // turning the other way drops what was kept.
  for (int delta : {240, -120, 60, -359, 60, 60}) {
    QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&box, &event);
  }
  ASSERT_EQ(wheel.count(), 4);
  EXPECT_EQ(wheel.at(0).at(0).toInt(), 2);
  EXPECT_EQ(wheel.at(1).at(0).toInt(), -1);
  EXPECT_EQ(wheel.at(2).at(0).toInt(), -2);  // 60 kept, then dropped by the turn back
  EXPECT_EQ(wheel.at(3).at(0).toInt(), 1);   // -119 kept, dropped; 60 + 60
}

}  // namespace
}  // namespace velnox
