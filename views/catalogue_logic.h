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
  bool operator==(const CatalogueRow&) const = default;
};

// The rows of a catalogue payload: lines at CR LF, fields at "#", empty pieces dropped; a
// line of "#" only adds no row but keeps its number. The payload is read once into positions
// within it, and a cell's text is made only when it is read, every age against the one `now`
// the table was made with. A catalogue of a hundred thousand lines thus costs one scan and a
// few words per row; only the rows shown are ever aged.
class CatalogueTable {
 public:
  CatalogueTable() = default;
  CatalogueTable(Text payload, const LocalDateTime& now);

  size_t size() const { return m_rows.size(); }
  // Column 0 the line's number, 1 the name, 2 the age; the empty text outside the table.
  Text cell(size_t row, int column) const;
  CatalogueRow row(size_t index) const;

 private:
  struct Entry {
    uint32_t number;
    uint32_t nameStart;
    uint32_t nameLength;
    uint32_t timeStart;
    uint32_t timeLength;
  };
  Text m_payload;
  LocalDateTime m_now;
  std::vector<Entry> m_rows;
};

// Every row of a payload with all its cells made.
std::vector<CatalogueRow> catalogueRows(std::string_view payload, const LocalDateTime& now);

}  // namespace velnox
