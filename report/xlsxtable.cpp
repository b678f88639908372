#include "xlsxtable.h"

#include "db/textcodec.h"
#include "textout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <unordered_map>

namespace xlsxtable {

namespace {

constexpr int kMaxDecimals = 30;
constexpr int kMinWidth = 6;
constexpr int kMaxWidth = 40;
// A header cell wraps onto a second line rather than widening its column.
constexpr int kHeaderLines = 2;
constexpr double kHeaderHeight = 30;
constexpr lxw_row_t kNoRow = lxw_row_t(-1);
constexpr uint8_t kPaperA4 = 9;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool equalsNoCase(std::string_view a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if ((a[i] | 0x20) != b[i]) return false;
    return i == a.size() && !b[i];
}

} // namespace

Number readNumber(std::string_view s) {
    if (s.empty()) return {};
    std::string_view body = s;
    if (body[0] == '-' || body[0] == '+') body.remove_prefix(1);
    if (equalsNoCase(body, "nan") || equalsNoCase(body, "inf") || equalsNoCase(body, "infinity")) return {};
    Number text{Number::Text, 0, 0};
    size_t i = s[0] == '-' ? 1 : 0;
    const size_t intStart = i;
    while (i < s.size() && isDigit(s[i]))
        ++i;
    if (i == intStart) return text;
    int decimals = 0;
    if (i < s.size() && s[i] == '.') {
        const size_t frac = ++i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        if (i == frac) return text;
        decimals = int(std::min<size_t>(i - frac, kMaxDecimals));
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const size_t exp = i;
        while (i < s.size() && isDigit(s[i]))
            ++i;
        if (i == exp) return text;
        decimals = -1;
    }
    if (i != s.size()) return text;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || !std::isfinite(v)) return {};
    return {Number::Value, v, decimals};
}

bool splitComplex(std::string_view s, std::string_view& mag, std::string_view& ang) {
    const size_t at = s.find(" / ");
    if (at == std::string_view::npos || at == 0 || at + 3 >= s.size()) return false;
    mag = s.substr(0, at);
    ang = s.substr(at + 3);
    return readNumber(mag).kind != Number::Text && readNumber(ang).kind != Number::Text;
}

namespace {

std::string utf8(std::string_view s) {
    if (textout::isAscii(s)) return std::string(s);
    return textcodec::toUtf8(std::string(s));
}

// Header and footer codes take '&' as their escape.
std::string headerText(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

// Titles hold tabs for the text report's columns; a cell shows them as nothing.
std::string titleText(std::string_view s) {
    std::string t(s);
    std::replace(t.begin(), t.end(), '\t', ' ');
    return utf8(t);
}

enum class Kind { Name, IdNumber, Location, Value, Magnitude, Angle };

struct Col {
    Kind kind;
    bool fromGroup; // source: the group's texts, else the record's cells
    int src;        // index there
    int part;       // Location: 0 area, 1 zone, 2 station
    std::string head8;
    int width = 0;
};

struct GroupRange {
    std::string name8;
    lxw_row_t first, last;
};

} // namespace

struct TableSheet::Impl {
    lxw_workbook* wb;
    Namer namer;
    long rowLimit;
    const BusLocations* where;
    std::string caseName8;

    // Formats, made once per workbook.
    lxw_format* fTitle = nullptr;
    lxw_format* fSubTitle = nullptr;
    lxw_format* fHeader = nullptr;
    lxw_format* fName = nullptr;
    lxw_format* fText = nullptr;
    lxw_format* fGeneral = nullptr;
    lxw_format* fNumber[kMaxDecimals + 1] = {};

    // The page.
    std::vector<std::string> titles8; // UTF-8, tabs gone
    std::vector<Col> cols;
    int frozen = 0;
    std::map<int, int> sheetColOfRecord; // record column -> its (first) sheet column
    RepChart chart;
    std::string base8;
    int part = 0;

    // The sheet being written.
    lxw_worksheet* ws = nullptr;
    std::string sheet8; // UTF-8 name
    std::string firstSheet8;
    long row = 0;
    lxw_row_t headerRow = 0;

    // The group being written.
    std::vector<std::string> grp;
    std::vector<std::string_view> cells;
    bool grpHasRows = false;
    int grpPart = 0;
    lxw_row_t grpFirst = kNoRow;
    std::vector<GroupRange> ranges; // of the first sheet, for the chart

    // Names repeat on every row: their UTF-8 text and width are worked out once.
    struct Known {
        std::string utf8;
        int width;
    };
    std::unordered_map<std::string, Known> known;
    std::string key;
    lxw_error err = LXW_NO_ERROR;
    std::string errSheet;

    Impl(lxw_workbook* w, Namer n, long limit, const BusLocations* loc, const std::string& caseName)
        : wb(w), namer(std::move(n)), rowLimit(limit), where(loc), caseName8(caseName) {
        auto make = [&] {
            lxw_format* f = workbook_add_format(wb);
            format_set_font_size(f, 10);
            return f;
        };
        fTitle = make();
        format_set_bold(fTitle);
        format_set_font_size(fTitle, 14);
        fSubTitle = make();
        fHeader = make();
        format_set_bold(fHeader);
        format_set_bg_color(fHeader, 0xDDEBF7);
        format_set_border(fHeader, LXW_BORDER_THIN);
        format_set_align(fHeader, LXW_ALIGN_CENTER);
        format_set_align(fHeader, LXW_ALIGN_VERTICAL_CENTER);
        format_set_text_wrap(fHeader);
        fName = make();
        format_set_border(fName, LXW_BORDER_THIN);
        format_set_align(fName, LXW_ALIGN_LEFT);
        fText = make();
        format_set_border(fText, LXW_BORDER_THIN);
        fGeneral = make();
        format_set_border(fGeneral, LXW_BORDER_THIN);
    }

    void check(lxw_error e) {
        if (e != LXW_NO_ERROR && err == LXW_NO_ERROR) {
            err = e;
            errSheet = sheet8;
        }
    }

    lxw_format* number(int decimals) {
        if (decimals < 0) return fGeneral;
        lxw_format*& f = fNumber[decimals];
        if (!f) {
            f = workbook_add_format(wb);
            format_set_font_size(f, 10);
            format_set_border(f, LXW_BORDER_THIN);
            const std::string code = decimals == 0 ? "0" : "0." + std::string(size_t(decimals), '0');
            format_set_num_format(f, code.c_str());
        }
        return f;
    }

    const Known& knownText(std::string_view s) {
        if (known.size() > 200000) known.clear(); // other texts need not stay
        key.assign(s.data(), s.size());
        auto it = known.find(key);
        if (it == known.end()) it = known.emplace(key, Known{utf8(s), textcodec::displayWidth(key)}).first;
        return it->second;
    }

    // The columns: names (frozen), other identifying columns, bus locations, the group's
    // values, the records' values.
    void layout(const PageHead& h) {
        cols.clear();
        sheetColOfRecord.clear();
        const std::vector<RepCell> none;
        const std::vector<RepCell>& hdr = h.headers.empty() ? none : h.headers[0];
        std::vector<std::string> recHead(size_t(std::max(h.colCount, 0)));
        // A column's heading: every header cell over it, top to bottom.
        {
            std::vector<int> below(recHead.size(), 0);
            for (const auto& hrow : h.headers) {
                size_t c = 0;
                for (const RepCell& cell : hrow) {
                    while (c < below.size() && below[c] > 0)
                        ++c;
                    for (int k = 0; k < std::max(cell.colspan, 1) && c < recHead.size(); ++k, ++c) {
                        if (!cell.text.empty()) recHead[c] += (recHead[c].empty() ? "" : " ") + cell.text;
                        below[c] = std::max(cell.rowspan, 1);
                    }
                }
                for (int& b : below)
                    if (b > 0) --b;
            }
        }
        auto recCell = [&](size_t c) -> const RepCell* { return c < hdr.size() ? &hdr[c] : nullptr; };
        auto push = [&](Kind k, bool g, int src, std::string head8, int part = 0) {
            cols.push_back(Col{k, g, src, part, std::move(head8), 0});
        };
        for (size_t g = 0; g < h.grpTitles.size(); ++g)
            if (g == 0 || h.grpTitles[g].bus) push(Kind::Name, true, int(g), h.grpTitles[g].text);
        for (size_t c = 0; c < recHead.size(); ++c) {
            const RepCell* rc = recCell(c);
            if (rc && (rc->isID || rc->bus)) {
                sheetColOfRecord[int(c)] = int(cols.size());
                push(rc->bus ? Kind::Name : Kind::IdNumber, false, int(c), recHead[c]);
            }
        }
        frozen = int(cols.size());
        const size_t names = cols.size();
        for (size_t i = 0; i < names; ++i) {
            const Col n = cols[i];
            const RepCell* rc = n.fromGroup ? &h.grpTitles[size_t(n.src)] : recCell(size_t(n.src));
            if (!rc || !rc->bus) continue;
            const char* parts[3] = {"区域", "分区", "厂站"};
            for (int p = 0; p < 3; ++p)
                push(Kind::Location, n.fromGroup, n.src, rc->busPrefix + textcodec::gb(parts[p]), p);
        }
        for (size_t g = 1; g < h.grpTitles.size(); ++g) {
            if (h.grpTitles[g].bus) continue;
            std::string t = h.grpTitles[g].text;
            // The group's value under the same heading as a record column: say whose it is.
            if (std::find(recHead.begin(), recHead.end(), t) != recHead.end())
                t = h.grpTitles[0].text + " " + t;
            push(Kind::Value, true, int(g), t);
        }
        for (size_t c = 0; c < recHead.size(); ++c) {
            const RepCell* rc = recCell(c);
            if (rc && (rc->isID || rc->bus)) continue;
            sheetColOfRecord[int(c)] = int(cols.size());
            if (rc && rc->complex) {
                push(Kind::Magnitude, false, int(c), recHead[c] + textcodec::gb("幅值"));
                push(Kind::Angle, false, int(c), recHead[c] + textcodec::gb("相角"));
            } else {
                push(Kind::Value, false, int(c), recHead[c]);
            }
        }
        for (Col& c : cols)
            c.width = (textcodec::displayWidth(c.head8) + kHeaderLines - 1) / kHeaderLines;
    }

    void openPart() {
        ++part;
        sheet8 = namer(base8, part > 1 ? QStringLiteral(" (%1)").arg(part) : QString());
        ws = workbook_add_worksheet(wb, sheet8.c_str());
        if (!ws) {
            check(LXW_ERROR_SHEETNAME_ALREADY_USED);
            return;
        }
        if (part == 1) firstSheet8 = sheet8;
        row = 0;
        // Titles again on a continued sheet only where records still fit below them.
        const bool withTitles = long(titles8.size()) + 2 <= rowLimit;
        if (withTitles)
            for (size_t i = 0; i < titles8.size(); ++i, ++row)
                check(worksheet_write_string(ws, lxw_row_t(row), 0, titles8[i].c_str(),
                                             i == 0 ? fTitle : fSubTitle));
        headerRow = lxw_row_t(row);
        check(worksheet_set_row(ws, headerRow, kHeaderHeight, nullptr));
        for (size_t c = 0; c < cols.size(); ++c)
            check(worksheet_write_string(ws, headerRow, lxw_col_t(c), utf8(cols[c].head8).c_str(), fHeader));
        ++row;
        worksheet_freeze_panes(ws, lxw_row_t(row), lxw_col_t(frozen));
        printSetup();
    }

    void printSetup() {
        worksheet_set_landscape(ws);
        worksheet_set_paper(ws, kPaperA4);
        worksheet_fit_to_pages(ws, 1, 0);
        check(worksheet_repeat_rows(ws, headerRow, headerRow));
        // The case's name is cut well inside the 255 characters a header may hold.
        QString name = textcodec::fromLocal8(caseName8);
        if (name.size() > 100) name = name.left(100);
        const std::string hdr = "&L" + headerText(name.toUtf8().toStdString()) + "&R&A";
        check(worksheet_set_header(ws, hdr.c_str()));
        check(worksheet_set_footer(ws, "&C第 &P 页，共 &N 页"));
    }

    // The filter over the table and the widths; before any row below the table, which
    // would put the table's last row out of the library's reach in constant-memory mode.
    void closePart() {
        if (!ws) return;
        const lxw_row_t last = row > long(headerRow) + 1 ? lxw_row_t(row - 1) : headerRow;
        if (!cols.empty()) check(worksheet_autofilter(ws, headerRow, 0, last, lxw_col_t(cols.size() - 1)));
        for (size_t c = 0; c < cols.size(); ++c) {
            // Room for the filter button beside the text.
            const int w = std::clamp(cols[c].width + 3, kMinWidth, kMaxWidth);
            check(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), w, nullptr));
        }
    }

    std::string_view source(const Col& c) const {
        if (c.fromGroup)
            return size_t(c.src) < grp.size() ? std::string_view(grp[size_t(c.src)]) : std::string_view();
        return size_t(c.src) < cells.size() ? cells[size_t(c.src)] : std::string_view();
    }

    void writeNumberCell(lxw_col_t c, Col& col, std::string_view text) {
        const lxw_row_t r = lxw_row_t(row);
        const Number n = readNumber(text);
        if (n.kind == Number::Value) {
            check(worksheet_write_number(ws, r, c, n.v, number(n.decimals)));
            col.width = std::max(col.width, int(text.size()));
        } else if (n.kind == Number::Blank) {
            check(worksheet_write_blank(ws, r, c, fText));
        } else {
            writeText(c, col, text, fText);
        }
    }

    void writeText(lxw_col_t c, Col& col, std::string_view text, lxw_format* f) {
        const lxw_row_t r = lxw_row_t(row);
        if (text.empty()) {
            check(worksheet_write_blank(ws, r, c, f));
            return;
        }
        const Known& k = knownText(text);
        check(worksheet_write_string(ws, r, c, k.utf8.c_str(), f));
        col.width = std::max(col.width, k.width);
    }

    void writeRow() {
        if (row >= rowLimit) {
            closePart();
            openPart();
        }
        if (!ws) return;
        for (size_t i = 0; i < cols.size(); ++i) {
            Col& col = cols[i];
            const lxw_col_t c = lxw_col_t(i);
            const std::string_view s = source(col);
            switch (col.kind) {
            case Kind::Name:
                writeText(c, col, s, fName);
                break;
            case Kind::IdNumber: {
                const Number n = readNumber(s);
                if (n.kind == Number::Value && n.decimals == 0) {
                    check(worksheet_write_number(ws, lxw_row_t(row), c, n.v, number(0)));
                    col.width = std::max(col.width, int(s.size()));
                } else {
                    writeText(c, col, s, fName);
                }
                break;
            }
            case Kind::Location: {
                const BusLocation* at = (where && !s.empty()) ? where->find(s) : nullptr;
                const std::string* t = !at             ? nullptr
                                       : col.part == 0 ? &at->area
                                       : col.part == 1 ? &at->zone
                                                       : &at->station;
                writeText(c, col, t ? std::string_view(*t) : std::string_view(), fName);
                break;
            }
            case Kind::Value:
                writeNumberCell(c, col, s);
                break;
            case Kind::Magnitude:
            case Kind::Angle: {
                std::string_view mag, ang;
                if (splitComplex(s, mag, ang))
                    writeNumberCell(c, col, col.kind == Kind::Magnitude ? mag : ang);
                else if (col.kind == Kind::Magnitude) // a plain value or a text stays whole
                    writeNumberCell(c, col, s);
                else
                    check(worksheet_write_blank(ws, lxw_row_t(row), c, fText));
                break;
            }
            }
        }
        ++row;
    }

    void addChart() {
        if (chart.kind == RepChart::None || firstSheet8.empty()) return;
        auto colOf = [&](int rec) {
            auto it = sheetColOfRecord.find(rec);
            return it == sheetColOfRecord.end() ? -1 : it->second;
        };
        const int cc = colOf(chart.categoryCol), vc = colOf(chart.valueCol);
        if (cc < 0 || vc < 0 || ranges.empty()) return;
        std::vector<GroupRange> series = ranges;
        if (chart.kind == RepChart::PerRecord) // one series over every record of the first sheet
            series = {GroupRange{std::string(), ranges.front().first, ranges.back().last}};
        lxw_chart* ch =
            workbook_add_chart(wb, chart.kind == RepChart::PerRecord ? LXW_CHART_COLUMN : LXW_CHART_LINE);
        if (!ch) return check(LXW_ERROR_MEMORY_MALLOC_FAILED);
        const std::string title = utf8(chart.title);
        chart_title_set_name(ch, title.c_str());
        for (const GroupRange& g : series) {
            lxw_chart_series* s = chart_add_series(ch, nullptr, nullptr);
            chart_series_set_categories(s, firstSheet8.c_str(), g.first, lxw_col_t(cc), g.last,
                                        lxw_col_t(cc));
            // The library cannot look at cells written in constant-memory mode and would
            // take the names for numbers.
            s->categories->has_string_cache = LXW_TRUE;
            chart_series_set_values(s, firstSheet8.c_str(), g.first, lxw_col_t(vc), g.last, lxw_col_t(vc));
            const std::string name = g.name8.empty() ? utf8(cols[size_t(vc)].head8) : utf8(g.name8);
            chart_series_set_name(s, name.c_str());
            if (chart.kind == RepChart::PerGroup) chart_series_set_marker_type(s, LXW_CHART_MARKER_CIRCLE);
        }
        chart_axis_set_name(ch->x_axis, utf8(cols[size_t(cc)].head8).c_str());
        chart_axis_set_name(ch->y_axis, utf8(cols[size_t(vc)].head8).c_str());
        chart_legend_set_position(ch, chart.kind == RepChart::PerRecord ? LXW_CHART_LEGEND_NONE
                                                                        : LXW_CHART_LEGEND_BOTTOM);
        sheet8 = namer(chart.title, QString());
        lxw_chartsheet* cs = workbook_add_chartsheet(wb, sheet8.c_str());
        if (!cs) return check(LXW_ERROR_SHEETNAME_ALREADY_USED);
        check(chartsheet_set_chart(cs, ch));
        chartsheet_set_landscape(cs);
        chartsheet_set_paper(cs, kPaperA4);
    }
};

TableSheet::TableSheet(lxw_workbook* wb, Namer namer, long rowLimit, const BusLocations* where,
                       const std::string& caseName8)
    : d(std::make_unique<Impl>(wb, std::move(namer), rowLimit, where, caseName8)) {}

TableSheet::~TableSheet() = default;

void TableSheet::begin(const PageHead& head) {
    d->titles8.clear();
    for (const std::string& t : head.titles)
        d->titles8.push_back(titleText(t));
    d->base8 = head.titles.empty() ? std::string() : head.titles.front();
    std::replace(d->base8.begin(), d->base8.end(), '\t', ' ');
    d->chart = head.chart;
    d->part = 0;
    d->ranges.clear();
    d->firstSheet8.clear();
    d->layout(head);
    d->openPart();
}

void TableSheet::group(const std::vector<std::string>& grpTexts) {
    d->grp = grpTexts;
    d->grpHasRows = false;
    d->grpPart = d->part;
    d->grpFirst = kNoRow;
}

void TableSheet::record(RecordStore::Cursor cur) {
    d->cells.clear();
    std::string_view c;
    while (cur.next(c))
        d->cells.push_back(c);
    if (d->row >= d->rowLimit) d->grpPart = -1; // split over two sheets: no chart series
    d->writeRow();
    if (d->grpFirst == kNoRow) d->grpFirst = lxw_row_t(d->row - 1);
    d->grpHasRows = true;
}

void TableSheet::endGroup() {
    Impl& x = *d;
    if (!x.grpHasRows) {
        x.cells.clear();
        bool any = false;
        for (const std::string& t : x.grp)
            any = any || !t.empty();
        if (any) x.writeRow();
        return;
    }
    const bool chartable = x.grpPart == 1 && x.part == 1;
    const size_t room =
        x.chart.kind == RepChart::PerGroup ? size_t(std::max(x.chart.maxGroups, 0)) : size_t(-1);
    if (chartable && x.ranges.size() < room)
        x.ranges.push_back(
            GroupRange{x.grp.empty() ? std::string() : x.grp.front(), x.grpFirst, lxw_row_t(x.row - 1)});
}

void TableSheet::end(const std::vector<std::string>& tails) {
    Impl& x = *d;
    x.closePart();
    if (x.ws && !tails.empty() && x.row + 1 + long(tails.size()) <= x.rowLimit) {
        x.row += 1;
        for (const std::string& t : tails)
            x.check(worksheet_write_string(x.ws, lxw_row_t(x.row++), 0, titleText(t).c_str(), x.fSubTitle));
    }
    x.ws = nullptr;
    x.addChart();
}

lxw_error TableSheet::error() const {
    return d->err;
}

const std::string& TableSheet::errorSheet() const {
    return d->errSheet;
}

} // namespace xlsxtable
