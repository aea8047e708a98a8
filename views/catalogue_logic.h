#pragma once
// The pure part of the catalogue: reading publication times, the age of an item, and the
// rows a catalogue message yields.
#include <cstdint>
#include <vector>

#include "util/text.h"

namespace velnox {

// A calendar date and time as local wall-clock fields.
struct LocalDateTime {
  int year = 100;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(const LocalDateTime&) const = default;
};

LocalDateTime localNow();

// Reads a publication time; anything unreadable or invalid is 1 January 100, 00:00:00.
LocalDateTime readPublicationTime(std::string_view text);

// Elapsed days from `from` to `to` as a real number (calendar arithmetic, no time zones).
double elapsedDays(const LocalDateTime& from, const LocalDateTime& to);

Text ageText(const LocalDateTime& published, const LocalDateTime& now);

struct CatalogueRow {
  Text number;
  Text name;
  Text age;
};

// The rows of a catalogue payload: lines at CR LF, fields at "#", empty pieces dropped.
// A line of "#" only adds no row but keeps its number.
std::vector<CatalogueRow> catalogueRows(std::string_view payload, const LocalDateTime& now);
// The same rows as the cells of the list: number, name, age.
std::vector<TextList> catalogueCells(std::string_view payload, const LocalDateTime& now);

}  // namespace velnox
