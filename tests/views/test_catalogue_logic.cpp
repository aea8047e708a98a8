// Publication times, ages and catalogue rows.
#include <gtest/gtest.h>

#include "util/gbk_literal.h"
#include "views/catalogue_logic.h"

namespace velnox {
namespace {

const LocalDateTime kNow{2026, 12, 11, 12, 0, 0};

LocalDateTime minusMinutes(int64_t minutes) {
  // Walk back through the calendar: enough for the cases below.
  LocalDateTime t = kNow;
  int64_t total = ((((static_cast<int64_t>(t.day) - 1) * 24 + t.hour) * 60) + t.minute) - minutes;
  int year = t.year, month = t.month;
  auto dim = [](int y, int m) {
    static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0) ? 29 : d[m - 1];
  };
  while (total < 0) {
    if (--month == 0) {
      month = 12;
      --year;
    }
    total += static_cast<int64_t>(dim(year, month)) * 24 * 60;
  }
  while (total >= static_cast<int64_t>(dim(year, month)) * 24 * 60) {
    total -= static_cast<int64_t>(dim(year, month)) * 24 * 60;
    if (++month == 13) {
      month = 1;
      ++year;
    }
  }
  return {year, month, static_cast<int>(total / 1440) + 1, static_cast<int>(total / 60 % 24),
          static_cast<int>(total % 60), 0};
}

TEST(AgeText, ChoosesTheUnitByWholeHours) {
  struct Case {
    int64_t minutesAgo;
    const char* expected;
  } cases[] = {
      {30, "刚刚"},           {0, "刚刚"},         {24 * 60, "24小时前"},   {60, "1小时前"},
      {25 * 60, "昨天"},      {48 * 60, "昨天"},   {49 * 60, "前天"},       {72 * 60, "前天"},
      {73 * 60, "3天前"},     {30 * 1440, "30天前"},
      {30 * 1440 + 60, "1月前"},  // 11 November 11:00 against 11 December: one calendar month
      {366 * 1440, "1年前"},
      {-90, "-1小时前"},      {-30, "刚刚"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ageText(minusMinutes(c.minutesAgo), kNow), gbk(c.expected)) << c.minutesAgo;
  }
}

TEST(AgeText, MonthsCountCalendarBoundaries) {
  // Exactly 30 days is still counted in days; a little more inside one calendar month
  // counts 0 months, and one hour across a month's end counts one.
  EXPECT_EQ(ageText({2026, 1, 1, 0, 0, 0}, {2026, 1, 31, 0, 0, 0}), gbk("30天前"));
  EXPECT_EQ(ageText({2026, 1, 1, 0, 0, 0}, {2026, 1, 31, 12, 0, 0}), gbk("0月前"));
  EXPECT_EQ(ageText({2026, 1, 1, 0, 0, 0}, {2026, 2, 1, 0, 0, 0}), gbk("1月前"));
}

TEST(PublicationTime, AcceptedForms) {
  struct Case {
    const char* text;
    LocalDateTime expected;
  } cases[] = {
      {"2026-12-01 08:30:15", {2026, 12, 1, 8, 30, 15}},
      {"2026/12/01", {2026, 12, 1, 0, 0, 0}},
      {"2026年12月1日8时30分15秒", {2026, 12, 1, 8, 30, 15}},
      {"2026年12月1日8时30分15秒以后", {2026, 12, 1, 8, 30, 15}},
      {"20261201083015", {2026, 12, 1, 8, 30, 15}},
      {"２０２６－１２－０１　０８：３０：１５", {2026, 12, 1, 8, 30, 15}},
      {"2024-02-29", {2024, 2, 29, 0, 0, 0}},
      {"2000-02-29", {2000, 2, 29, 0, 0, 0}},
      {"100-1-1", {100, 1, 1, 0, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(readPublicationTime(gbk(c.text)), c.expected) << c.text;
}

TEST(PublicationTime, RejectedFormsCountAsTheYear100) {
  const LocalDateTime fallback{100, 1, 1, 0, 0, 0};
  for (const char* text : {"", "x2026-12-01", " 2026-12-01", "2026-12-01x08:30", "2026-13-01", "2026-02-29",
                           "1900-02-29", "2026-12-32", "2026-12-01 24:00", "2026-12-01 23:60", "99-1-1",
                           "2026-12-01 08:30:15Z", "abc", "2026-00-10"}) {
    EXPECT_EQ(readPublicationTime(gbk(text)), fallback) << text;
  }
}

TEST(CatalogueRows, NumbersNamesAndAges) {
  const auto rows = catalogueRows(gbk("甲#2026-12-11 11:00#extra\r\n###\r\n\r\n乙#2026-12-10 11:00:00\r\n"
                                      "名#称#2026-12-11\r\nno time\r\nline\nfeed#2026-12-11 11:30\r\n"),
                                  kNow);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].number, "1");
  EXPECT_EQ(rows[0].name, gbk("甲"));
  EXPECT_EQ(rows[0].age, gbk("1小时前"));
  // The "#"-only line keeps its number.
  EXPECT_EQ(rows[1].number, "3");
  EXPECT_EQ(rows[1].age, gbk("昨天"));
  // A "#" inside a name cuts it there; the piece after it is read as the time.
  EXPECT_EQ(rows[2].name, gbk("名"));
  EXPECT_EQ(rows[2].age, gbk("1926年前"));
  // A name without a time is shown with the age of an unreadable time.
  EXPECT_EQ(rows[3].name, "no time");
  EXPECT_EQ(rows[3].age, gbk("1926年前"));
  // A line feed alone does not end a line.
  EXPECT_EQ(rows[4].name, "line\nfeed");
  EXPECT_EQ(rows[4].age, gbk("刚刚"));
}

TEST(CatalogueRows, SeparatorsAreFoundOnlyAtCharacterStarts) {
  // B0 23 and B0 0D are double-byte characters to the scan: their second bytes split nothing.
  const auto rows = catalogueRows("\xB0#x#2026-12-11 11:00\r\n\xB0\r\n#2026-12-11 11:00", kNow);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].name, "\xB0#x");
  EXPECT_EQ(rows[0].age, gbk("1小时前"));
  EXPECT_EQ(rows[1].number, "2");
  EXPECT_EQ(rows[1].name, "\xB0\r\n");
  EXPECT_EQ(rows[1].age, gbk("1小时前"));
}

TEST(CatalogueTable, KeepsItsOwnTextAndReadsNothingOutsideIt) {
  Text payload = gbk("甲#2026-12-11 11:00\r\n乙");
  const CatalogueTable table(payload, kNow);
  // The cells are made later, from the table's own copy: the sender's text may change.
  payload.assign(payload.size(), '#');
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.row(0), (CatalogueRow{"1", gbk("甲"), gbk("1小时前")}));
  EXPECT_EQ(table.row(1), (CatalogueRow{"2", gbk("乙"), gbk("1926年前")}));
  for (const auto& [row, column] : {std::pair<size_t, int>{2, 0}, {0, 3}, {0, -1}})
    EXPECT_EQ(table.cell(row, column), "") << row << "," << column;
}

TEST(CatalogueRows, EmptyPayloads) {
  EXPECT_TRUE(catalogueRows("", kNow).empty());
  EXPECT_TRUE(catalogueRows("\r\n\r\n", kNow).empty());
}

}  // namespace
}  // namespace velnox
