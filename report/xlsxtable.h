#pragma once
// The .xlsx workbook as tables: per page its titles, one header row and a row per
// record, with the group's texts (the fault point and its values) as leading columns,
// where each bus lies, complex values as magnitude and angle and every number a number.
// Fed a page at a time: its head, then each group with its own records, then its end.
#include "report/reportoutput.h"

#include <QString>

#include <xlsxwriter.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace xlsxtable {

// What a value cell's text shows.
struct Number {
    enum Kind { Blank, Value, Text } kind = Blank;
    double v = 0;
    int decimals = 0; // -1: written with an exponent, shown as the spreadsheet likes
};
// Fixed or exponent notation gives a Value with the decimals written; nan, inf and
// the empty text give Blank; anything else stays Text.
Number readNumber(std::string_view s);
// "m / a" into its two halves; false for any other text.
bool splitComplex(std::string_view s, std::string_view& mag, std::string_view& ang);

// The page as the table sees it before any record: no group's records are read here.
// Leading cells of records (RepPage::recIDs) belong to the grouped layout only; no
// short-circuit report has them.
struct PageHead {
    const std::vector<std::string>& titles;
    const std::vector<RepCell>& grpTitles;
    const std::vector<std::vector<RepCell>>& headers;
    int colCount;
    const RepChart& chart;
};

class TableSheet {
  public:
    // A valid, unused sheet name (UTF-8) from a GB18030 base and a suffix.
    using Namer = std::function<std::string(const std::string& base8, const QString& suffix)>;
    TableSheet(lxw_workbook* wb, Namer namer, long rowLimit, const BusLocations* where,
               const std::string& caseName8);
    ~TableSheet();
    TableSheet(const TableSheet&) = delete;
    TableSheet& operator=(const TableSheet&) = delete;

    void begin(const PageHead& head);
    // A group of `records` records begins: its heading texts lead each of its rows. A
    // group that fits on a sheet of its own is not split over two.
    void group(const std::vector<std::string>& grpTexts, long records);
    void record(RecordStore::Cursor cells);
    // A group without records still gets a row, so no fault point drops out.
    void endGroup();
    // The page's tails go below the table.
    void end(const std::vector<std::string>& tails);

    // The first refused write, or LXW_NO_ERROR; the sheet it happened on (UTF-8).
    lxw_error error() const;
    const std::string& errorSheet() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace xlsxtable
