#include "server/demo_pictures.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <map>
#include <mutex>

namespace velnox::demo {

namespace {

// Colour pairs for the backgrounds, picked by index.
const QColor kPalette[][2] = {
    {QColor(0x1e, 0x3c, 0x72), QColor(0x2a, 0x52, 0x98)},
    {QColor(0x8e, 0x2d, 0xe2), QColor(0x4a, 0x00, 0xe0)},
    {QColor(0x11, 0x99, 0x8e), QColor(0x38, 0xef, 0x7d)},
    {QColor(0xf1, 0x27, 0x11), QColor(0xf5, 0xaf, 0x19)},
    {QColor(0x0f, 0x20, 0x27), QColor(0x2c, 0x53, 0x64)},
    {QColor(0xc0, 0x39, 0x2b), QColor(0x8e, 0x44, 0xad)},
    {QColor(0x16, 0xa0, 0x85), QColor(0xf4, 0xd0, 0x3f)},
    {QColor(0x42, 0x27, 0x5a), QColor(0x73, 0x4b, 0x6d)},
};
constexpr int kPaletteSize = sizeof kPalette / sizeof kPalette[0];

bool canDrawText() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

QFont face(int pixels, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                    QStringLiteral("Droid Sans Fallback")});
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

void paintBackground(QPainter& p, const QRect& area, int seed, bool vertical) {
  const auto& colours = kPalette[seed % kPaletteSize];
  QLinearGradient gradient(area.topLeft(), vertical ? area.bottomLeft() : area.bottomRight());
  gradient.setColorAt(0, colours[0]);
  gradient.setColorAt(1, colours[1]);
  p.fillRect(area, gradient);
  // A few soft circles, placed by the seed, so that no two pictures look alike.
  p.setPen(Qt::NoPen);
  unsigned state = 2166136261u ^ static_cast<unsigned>(seed * 16777619);
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 8) & 0xFFFF;
  };
  const int span = std::max(area.width(), area.height());
  for (int i = 0; i < 7; ++i) {
    const int radius = span / 12 + static_cast<int>(next() % static_cast<unsigned>(span / 5 + 1));
    const int x = area.left() + static_cast<int>(next() % static_cast<unsigned>(area.width() + 1));
    const int y = area.top() + static_cast<int>(next() % static_cast<unsigned>(area.height() + 1));
    p.setBrush(QColor(255, 255, 255, 18 + static_cast<int>(next() % 30)));
    p.drawEllipse(QPoint(x, y), radius, radius);
  }
}

std::string encode(const QImage& image, PictureFormat format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format == PictureFormat::Png ? "PNG" : "JPG", format == PictureFormat::Png ? -1 : 88);
  return bytes.toStdString();
}

QImage drawCover(const Item& item, const CoverShape& shape, int index) {
  QImage image(shape.width, shape.height, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRect area = image.rect();
  paintBackground(p, area, index, shape.height > shape.width);
  // A card in the middle holding the category and the title.
  const int margin = std::min(shape.width, shape.height) / 12;
  const QRect card = area.adjusted(margin, margin, -margin, -margin);
  p.setBrush(QColor(255, 255, 255, 40));
  p.setPen(QPen(QColor(255, 255, 255, 150), 2));
  p.drawRoundedRect(card, 18, 18);
  if (canDrawText()) {
    const int base = std::min(shape.width, shape.height);
    p.setPen(Qt::white);
    p.setFont(face(base / 14, false));
    p.drawText(card.adjusted(margin / 2, margin / 2, -margin / 2, 0), Qt::AlignLeft | Qt::AlignTop,
               QString::fromStdString(item.category));
    p.setFont(face(base / 10, true));
    p.drawText(card.adjusted(margin / 2, 0, -margin / 2, 0), Qt::AlignCenter | Qt::TextWordWrap,
               QString::fromStdString(item.name));
    p.setFont(face(base / 22, false));
    p.setPen(QColor(255, 255, 255, 200));
    p.drawText(card.adjusted(0, 0, -margin / 2, -margin / 3), Qt::AlignRight | Qt::AlignBottom,
               QStringLiteral("Velnox 资源站  %1×%2").arg(shape.width).arg(shape.height));
  }
  return image;
}

struct AdArt {
  const char* headline;
  const char* line;
};
const AdArt kAds[] = {
    {"云盘会员 限时五折", "大文件秒传 · 不限速下载 · 2TB 空间"},
    {"考研冲刺 名师直播课", "每晚八点 · 真题精讲 · 免费试听三节"},
    {"正版软件 学生优惠", "办公 · 设计 · 编程工具一站购齐"},
    {"新书上架", "编程 · 设计 · 外语 · 考试"},
    {"会员专享", "高速通道 · 免广告 · 优先补档"},
};

QImage drawAd(int slot) {
  const bool side = slot >= 4;
  QImage image(side ? 105 : 654, side ? 704 : 110, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  paintBackground(p, image.rect(), slot + 3, side);
  if (!canDrawText()) return image;
  const AdArt& art = kAds[slot - 1];
  p.setPen(Qt::white);
  if (side) {
    // One character per line: the picture is a tall, narrow strip.
    p.setFont(face(30, true));
    QString headline = QString::fromUtf8(art.headline);
    headline.remove(QLatin1Char(' '));
    QString stacked;
    for (const QChar c : headline) stacked += QString(c) + QLatin1Char('\n');
    p.drawText(QRect(0, 40, 105, 420), Qt::AlignHCenter | Qt::AlignTop, stacked);
    p.setFont(face(14, false));
    QString line = QString::fromUtf8(art.line);
    line.replace(QStringLiteral(" · "), QStringLiteral("\n"));
    p.drawText(QRect(4, 480, 97, 160), Qt::AlignCenter, line);
    p.setFont(face(12, false));
    p.drawText(QRect(0, 660, 105, 30), Qt::AlignCenter, QStringLiteral("点击了解"));
  } else {
    p.setFont(face(34, true));
    p.drawText(QRect(28, 12, 600, 50), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(art.headline));
    p.setFont(face(18, false));
    p.drawText(QRect(30, 62, 600, 34), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(art.line));
  }
  return image;
}

}  // namespace

std::string coverPicture(int index) {
  const auto& items = catalogue();
  if (index < 0 || index >= static_cast<int>(items.size())) return {};
  const Item& item = items[static_cast<std::size_t>(index)];
  if (item.coverShape < 0) return {};
  const CoverShape& shape = coverShapes()[static_cast<std::size_t>(item.coverShape)];
  return encode(drawCover(item, shape, index), shape.format);
}

std::string adPicture(int slot) {
  if (slot < 1 || slot > 5) return {};
  return encode(drawAd(slot), adFormat(slot));
}

std::optional<ServedPicture> pictureForPath(std::string_view path) {
  static std::mutex mutex;
  static std::map<std::string, ServedPicture, std::less<>> drawn;
  std::lock_guard lock(mutex);
  if (const auto found = drawn.find(path); found != drawn.end()) return found->second;

  std::string bytes;
  for (int slot = 1; slot <= 5 && bytes.empty(); ++slot) {
    if (path == adPath(slot)) bytes = adPicture(slot);
  }
  for (int i = 0; i < static_cast<int>(catalogue().size()) && bytes.empty(); ++i) {
    if (path == coverPath(i)) bytes = coverPicture(i);
  }
  if (bytes.empty()) return std::nullopt;
  ServedPicture picture{std::move(bytes), path.ends_with(".png") ? "image/png" : "image/jpeg"};
  drawn.emplace(std::string(path), picture);
  return picture;
}

}  // namespace velnox::demo
