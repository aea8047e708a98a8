#include "views/catalogue_logic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "util/gbk_literal.h"

namespace velnox {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
  }
  return kDays[month - 1];
}

// Full-width ASCII forms (lead byte A3) and the full-width space become their ASCII forms.
Text narrowFullWidth(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x80 && i + 1 < text.size()) {
      const auto b2 = static_cast<unsigned char>(text[i + 1]);
      if (b == 0xA3 && b2 >= 0xA1 && b2 <= 0xFE) {
        out.push_back(static_cast<char>(b2 - 0x80));
      } else if (b == 0xA1 && b2 == 0xA1) {
        out.push_back(' ');
      } else {
        out.append(text.substr(i, 2));
      }
      i += 2;
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

class TimeReader {
 public:
  explicit TimeReader(std::string_view text) : m_text(text) {}

  int digits(size_t maxCount) {
    int value = 0;
    size_t n = 0;
    while (n < maxCount && m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') {
      value = value * 10 + (m_text[m_pos] - '0');
      ++m_pos;
      ++n;
    }
    return value;
  }

  // Skips one of the ASCII separators or the GBK unit character, when present.
  void separator(std::string_view ascii, std::string_view unit) {
    if (m_pos < m_text.size() && ascii.find(m_text[m_pos]) != std::string_view::npos) {
      ++m_pos;
    } else if (m_text.substr(m_pos, unit.size()) == unit) {
      m_pos += unit.size();
    }
  }

  bool endsProperly(std::string_view secondUnit) const {
    return m_pos == m_text.size() || m_text.substr(m_pos, secondUnit.size()) == secondUnit;
  }

 private:
  std::string_view m_text;
  size_t m_pos = 0;
};

}  // namespace

LocalDateTime localNow() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalDateTime readPublicationTime(std::string_view text) {
  static const Text kYear = gbk("年"), kMonth = gbk("月"), kDay = gbk("日"), kHour = gbk("时"),
                    kMinute = gbk("分"), kSecond = gbk("秒");
  // Only a text with double-byte characters can hold full-width forms.
  Text narrowed;
  std::string_view narrow = text;
  if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    narrowed = narrowFullWidth(text);
    narrow = narrowed;
  }
  TimeReader r(narrow);
  LocalDateTime t;
  t.year = r.digits(4);
  r.separator("-./:", kYear);
  t.month = r.digits(2);
  r.separator("-./:", kMonth);
  t.day = r.digits(2);
  r.separator(" -./:", kDay);
  t.hour = r.digits(2);
  r.separator("-./:", kHour);
  t.minute = r.digits(2);
  r.separator("-./:", kMinute);
  t.second = r.digits(2);
  const bool valid = !narrow.empty() && r.endsProperly(kSecond) && t.year >= 100 && t.year <= 9999 &&
                     t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= daysInMonth(t.year, t.month) &&
                     t.hour <= 23 && t.minute <= 59 && t.second <= 59;
  return valid ? t : LocalDateTime{};
}

double elapsedDays(const LocalDateTime& from, const LocalDateTime& to) {
  auto seconds = [](const LocalDateTime& t) {
    return daysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 86400 +
           t.hour * 3600 + t.minute * 60 + t.second;
  };
  return static_cast<double>(seconds(to) - seconds(from)) / 86400.0;
}

Text ageText(const LocalDateTime& published, const LocalDateTime& now) {
  static const Text kJustNow = gbk("刚刚"), kHoursAgo = gbk("小时前"), kYesterday = gbk("昨天"),
                    kDayBefore = gbk("前天"), kDaysAgo = gbk("天前"), kMonthsAgo = gbk("月前"),
                    kYearsAgo = gbk("年前");
  const double days = elapsedDays(published, now);
  // The small constant (half a second in days times 24) rounds a time read back from a
  // calendar value up to the whole hour it stands for.
  const int64_t h = published == now ? 0 : static_cast<int64_t>(std::trunc(days * 24 + 5.787037037037037e-6));
  auto number = [](int64_t n) { return std::to_string(n); };
  if (h == 0) return kJustNow;
  if (h <= 24) return number(h) + kHoursAgo;
  if (h <= 48) return kYesterday;
  if (h <= 72) return kDayBefore;
  if (h <= 720) return number(static_cast<int64_t>(std::trunc(days))) + kDaysAgo;
  if (h <= 8760) return number((now.year - published.year) * 12 + now.month - published.month) + kMonthsAgo;
  return number(now.year - published.year) + kYearsAgo;
}

namespace {

// Position of the next `separator` (whose first byte is ASCII) at or after `pos` that starts
// a whole character, or npos. `pos` is a character start. A candidate preceded by an odd run
// of bytes of 0x80 or above is the second byte of a double-byte character and does not count.
size_t findOnCharacterStart(std::string_view text, size_t pos, std::string_view separator) {
  const size_t n = separator.size();
  size_t known = pos;  // a position known to start a character
  while (pos + n <= text.size()) {
    const void* hit = std::memchr(text.data() + pos, separator[0], text.size() - n - pos + 1);
    if (!hit) break;
    const size_t candidate = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    size_t k = candidate;
    while (k > known && static_cast<unsigned char>(text[k - 1]) >= 0x80) --k;
    if ((candidate - k) % 2 == 0 && text.compare(candidate, n, separator) == 0) return candidate;
    // Either way the byte after the candidate starts a character.
    known = pos = candidate + 1;
  }
  return std::string_view::npos;
}

// Calls piece(view) for every non-empty piece between separators, as splitNonEmpty cuts
// them, without copying; piece returns false to stop.
template <class Piece>
void forEachNonEmptyPiece(std::string_view text, std::string_view separator, Piece piece) {
  size_t start = 0;
  for (;;) {
    const size_t hit = findOnCharacterStart(text, start, separator);
    if (hit == std::string_view::npos) break;
    if (hit > start && !piece(text.substr(start, hit - start))) return;
    start = hit + separator.size();
  }
  if (start < text.size()) piece(text.substr(start));
}

}  // namespace

CatalogueTable::CatalogueTable(Text payload, const LocalDateTime& now)
    : m_payload(std::move(payload)), m_now(now) {
  // Positions are kept in 32 bits: a received message is far smaller (the stream client
  // discards envelopes over 16 MiB), and a longer text is read only as far as they reach.
  if (m_payload.size() > UINT32_MAX) m_payload.resize(UINT32_MAX);
  const std::string_view text = m_payload;
  uint32_t number = 0;
  forEachNonEmptyPiece(text, "\r\n", [&](std::string_view line) {
    ++number;
    std::string_view fields[2];
    int count = 0;
    forEachNonEmptyPiece(line, "#", [&](std::string_view field) {
      fields[count++] = field;
      return count < 2;
    });
    // A line of "#" only adds no row but keeps its number; a line with a name but no time
    // shows the age of an unreadable time (an empty time field).
    if (count == 0) return true;
    auto start = [&](std::string_view field) {
      return field.empty() ? 0u : static_cast<uint32_t>(field.data() - text.data());
    };
    m_rows.push_back(Entry{number, start(fields[0]), static_cast<uint32_t>(fields[0].size()),
                           start(fields[1]), static_cast<uint32_t>(fields[1].size())});
    return true;
  });
  m_rows.shrink_to_fit();
}

Text CatalogueTable::cell(size_t row, int column) const {
  if (row >= m_rows.size()) return {};
  const Entry& e = m_rows[row];
  switch (column) {
    case 0:
      return toText(static_cast<int32_t>(e.number));
    case 1:
      return m_payload.substr(e.nameStart, e.nameLength);
    case 2:
      return ageText(readPublicationTime(std::string_view(m_payload).substr(e.timeStart, e.timeLength)),
                     m_now);
    default:
      return {};
  }
}

CatalogueRow CatalogueTable::row(size_t index) const {
  return {cell(index, 0), cell(index, 1), cell(index, 2)};
}

std::vector<CatalogueRow> catalogueRows(std::string_view payload, const LocalDateTime& now) {
  const CatalogueTable table{Text(payload), now};
  std::vector<CatalogueRow> rows;
  rows.reserve(table.size());
  for (size_t i = 0; i < table.size(); ++i) rows.push_back(table.row(i));
  return rows;
}

}  // namespace velnox
