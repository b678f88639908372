#include "xlsxtable.h"

#include "db/textcodec.h"
#include "textout.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
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
constexpr uint8_t kPaperA4 = 9;
// Title, the other titles on one line, the note: every sheet's header row is the fourth.
constexpr long kTitleRows = 3;
// A4 landscape inside the default margins, in pixels of the default column font, and the
// smallest print scale kept readable (10 pt cells at 7 pt).
constexpr double kPagePixels = 988;
constexpr double kReadableScale = 0.7;
// Category labels a chart axis shows at most; the others are skipped.
constexpr int kMaxLabels = 40;
constexpr size_t kMaxCellChars = 32767;
// Joins a bus's area, zone and station in its one location column.
constexpr const char* kPlaceSeparator = " / ";

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
    int src;        // index there; Location: of the bus name
    std::string head8;
    int width = 0;
    const std::vector<std::string>* noValue = nullptr; // texts that stand for no value
};

// A heading with its unit: "正序电压幅值 (kV)".
std::string withUnit(const std::string& head8, const std::string& unit8) {
    return unit8.empty() ? head8 : head8 + " (" + unit8 + ")";
}

bool listed(const std::vector<std::string>* texts, std::string_view s) {
    return texts && std::find(texts->begin(), texts->end(), s) != texts->end();
}

// A text as a cell holds it, worked out once: names and places repeat on every row.
struct Known {
    std::string xml; // UTF-8, escaped as the library escapes it; empty: a blank cell
    int width = 0;
    bool preserve = false; // leading or trailing white space
    bool tooLong = false;  // past the characters a cell may hold
};

Known knownOf(const std::string& text8) {
    Known k;
    const std::string u = utf8(text8);
    size_t chars = 0;
    for (unsigned char c : u) {
        chars += (c & 0xC0) != 0x80;
        if (c < 0x20 && c != '\t' && c != '\n') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "_x%04X_", c);
            k.xml += hex;
        } else if (c == '&') {
            k.xml += "&amp;";
        } else if (c == '<') {
            k.xml += "&lt;";
        } else if (c == '>') {
            k.xml += "&gt;";
        } else {
            k.xml += char(c);
        }
    }
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    k.preserve = !k.xml.empty() && (space(k.xml.front()) || space(k.xml.back()));
    k.tooLong = chars > kMaxCellChars;
    k.width = textcodec::displayWidth(text8);
    return k;
}

// The table's record rows go into the worksheet's row stream from here, not cell by
// cell through the library: in constant-memory mode it prints every number with
// "%.16G" (9.46 comes out as 9.460000000000001, the 17th digit of a large number is
// lost, the decimal point follows LC_NUMERIC) and has no call that takes a number's
// text. Cells keep the library's own forms; numbers are their shortest exact text.
class RowXml {
  public:
    // False for a sheet without a row stream of its own (a workbook not in
    // constant-memory mode).
    bool attach(lxw_worksheet* ws) {
        m_ws = ws;
        return ws && ws->optimize && ws->file && ws->optimize_row;
    }
    void columns(size_t n) {
        m_colName.resize(n);
        for (size_t c = 0; c < n; ++c) {
            char name[LXW_MAX_COL_NAME_LENGTH];
            lxw_col_to_name(name, lxw_col_t(c), LXW_FALSE);
            m_colName[c] = name;
        }
    }
    void begin(lxw_row_t r) {
        // First the rows the library holds, so that formats keep their order of first use.
        lxw_worksheet_write_single_row(m_ws);
        m_row = r;
        m_rowText = std::to_string(r + 1);
        m_buf = "<row r=\"" + m_rowText + "\">";
        m_first = m_last = -1;
    }
    // fixed: the report printed the value without an exponent.
    void number(lxw_col_t c, double v, bool fixed, lxw_format* f) {
        cell(c, f);
        char t[64];
        const double x = v == 0 ? 0.0 : v; // no "-0"
        auto r = fixed ? std::to_chars(t, t + sizeof t, x, std::chars_format::fixed)
                       : std::to_chars(t, t + sizeof t, x);
        if (r.ec != std::errc()) r = std::to_chars(t, t + sizeof t, x);
        m_buf += "><v>";
        m_buf.append(t, r.ptr);
        m_buf += "</v></c>";
    }
    // A value kept at full precision: its shortest exact text.
    void exact(lxw_col_t c, double v, lxw_format* f) {
        cell(c, f);
        char t[64];
        const auto r = std::to_chars(t, t + sizeof t, v == 0 ? 0.0 : v);
        m_buf += "><v>";
        m_buf.append(t, r.ptr);
        m_buf += "</v></c>";
    }
    void text(lxw_col_t c, const Known& k, lxw_format* f) {
        cell(c, f);
        m_buf += k.preserve ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">" : " t=\"inlineStr\"><is><t>";
        m_buf += k.xml;
        m_buf += "</t></is></c>";
    }
    void blank(lxw_col_t c, lxw_format* f) {
        cell(c, f);
        m_buf += "/>";
    }
    // False when the stream refused the row.
    bool end() {
        if (m_first < 0) return true;
        m_buf += "</row>";
        if (std::fwrite(m_buf.data(), 1, m_buf.size(), m_ws->file) != m_buf.size()) return false;
        // The sheet's extent, as the library keeps it for the cells it writes itself.
        m_ws->dim_rowmin = std::min(m_ws->dim_rowmin, m_row);
        m_ws->dim_rowmax = std::max(m_ws->dim_rowmax, m_row);
        m_ws->dim_colmin = std::min(m_ws->dim_colmin, lxw_col_t(m_first));
        m_ws->dim_colmax = std::max(m_ws->dim_colmax, lxw_col_t(m_last));
        return true;
    }

  private:
    void cell(lxw_col_t c, lxw_format* f) {
        // A cell right after the one before needs no reference: a fifth of the bytes.
        const bool next = m_last >= 0 ? long(c) == m_last + 1 : c == 0;
        if (m_first < 0) m_first = long(c);
        m_last = long(c);
        if (next) {
            m_buf += "<c";
        } else {
            m_buf += "<c r=\"";
            m_buf += m_colName[c];
            m_buf += m_rowText;
            m_buf += '"';
        }
        if (const int32_t s = f ? lxw_format_get_xf_index(f) : 0) {
            char n[16];
            m_buf += " s=\"";
            m_buf.append(n, std::to_chars(n, n + sizeof n, s).ptr);
            m_buf += '"';
        }
    }

    lxw_worksheet* m_ws = nullptr;
    std::vector<std::string> m_colName;
    lxw_row_t m_row = 0;
    std::string m_rowText, m_buf;
    long m_first = -1, m_last = -1;
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
    lxw_format* fIdNumber = nullptr;
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
    std::vector<RecordStore::Exact> exact;
    bool grpHasRows = false;
    std::string note8; // GB18030, the sheet's note on empty cells
    // A bar chart's points, read from the records as they pass.
    std::vector<std::string> barNames;
    std::vector<double> barValues;

    RowXml rows;
    std::unordered_map<std::string, Known> known;  // by text
    std::unordered_map<std::string, Known> places; // by bus name
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
        // Branch numbers keep a space before the next column's names.
        fIdNumber = make();
        format_set_border(fIdNumber, LXW_BORDER_THIN);
        format_set_num_format(fIdNumber, "0");
        format_set_align(fIdNumber, LXW_ALIGN_RIGHT);
        format_set_indent(fIdNumber, 1);
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
        if (it == known.end()) it = known.emplace(key, knownOf(key)).first;
        return it->second;
    }

    // "area / zone / station" of a bus; blank when the bus is not known.
    const Known& placeText(std::string_view bus) {
        if (places.size() > 200000) places.clear();
        key.assign(bus.data(), bus.size());
        auto it = places.find(key);
        if (it == places.end()) {
            const BusLocation* at = (where && !bus.empty()) ? where->find(bus) : nullptr;
            std::string t;
            if (at && !(at->area.empty() && at->zone.empty() && at->station.empty()))
                t = at->area + kPlaceSeparator + at->zone + kPlaceSeparator + at->station;
            it = places.emplace(key, knownOf(t)).first;
        }
        return it->second;
    }

    // The columns in blocks: names (frozen with the header), where the named buses lie,
    // the group's values, the records' values. The blocks' order is set here alone.
    void layout(const PageHead& h) {
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
        for (size_t c = 0; c < recHead.size(); ++c)
            if (const RepCell* rc = recCell(c); rc && !rc->xlsxHead.empty()) recHead[c] = rc->xlsxHead;
        std::vector<Col> names, locations, grpValues, recValues;
        for (size_t g = 0; g < h.grpTitles.size(); ++g)
            if (g == 0 || h.grpTitles[g].bus)
                names.push_back(Col{Kind::Name, true, int(g), h.grpTitles[g].text});
        for (size_t c = 0; c < recHead.size(); ++c) {
            const RepCell* rc = recCell(c);
            if (rc && (rc->isID || rc->bus))
                names.push_back(Col{rc->bus ? Kind::Name : Kind::IdNumber, false, int(c), recHead[c]});
        }
        std::vector<std::string> why;
        auto noValue = [&](const RepCell& rc) {
            if (rc.noValue.empty()) return (const std::vector<std::string>*)nullptr;
            if (!rc.noValueWhy.empty() && std::find(why.begin(), why.end(), rc.noValueWhy) == why.end())
                why.push_back(rc.noValueWhy);
            return &rc.noValue;
        };
        const std::string placeHead = textcodec::gb("区域") + kPlaceSeparator + textcodec::gb("分区") +
                                      kPlaceSeparator + textcodec::gb("厂站");
        for (const Col& n : names) {
            const RepCell* rc = n.fromGroup ? &h.grpTitles[size_t(n.src)] : recCell(size_t(n.src));
            if (rc && rc->bus)
                locations.push_back(Col{Kind::Location, n.fromGroup, n.src, rc->busPrefix + placeHead});
        }
        for (size_t g = 1; g < h.grpTitles.size(); ++g) {
            if (h.grpTitles[g].bus) continue;
            std::string t = h.grpTitles[g].text;
            // The group's value under the same heading as a record column: say whose it is.
            if (std::find(recHead.begin(), recHead.end(), t) != recHead.end())
                t = h.grpTitles[0].text + " " + t;
            const RepCell& gc = h.grpTitles[g];
            grpValues.push_back(Col{Kind::Value, true, int(g), withUnit(t, gc.unit), 0, noValue(gc)});
        }
        for (size_t c = 0; c < recHead.size(); ++c) {
            const RepCell* rc = recCell(c);
            if (rc && (rc->isID || rc->bus)) continue;
            const std::string unit = rc ? rc->unit : std::string();
            const std::vector<std::string>* none = rc ? noValue(*rc) : nullptr;
            if (rc && rc->complex) {
                recValues.push_back(Col{Kind::Magnitude, false, int(c),
                                        withUnit(recHead[c] + textcodec::gb("幅值"), unit), 0, none});
                recValues.push_back(Col{Kind::Angle, false, int(c),
                                        withUnit(recHead[c] + textcodec::gb("相角"), textcodec::gb("°")), 0,
                                        none});
            } else {
                recValues.push_back(Col{Kind::Value, false, int(c), withUnit(recHead[c], unit), 0, none});
            }
        }
        // Names and values share the first printed page; where the buses lie comes last.
        cols.clear();
        for (const std::vector<Col>* block : {&names, &grpValues, &recValues, &locations}) {
            cols.insert(cols.end(), block->begin(), block->end());
            if (block == &names) frozen = int(cols.size());
        }
        note8 = textcodec::gb("说明：空白单元格表示没有数值");
        for (size_t i = 0; i < why.size(); ++i)
            note8 += textcodec::gb(i ? "、" : "，包括") + why[i];
        sheetColOfRecord.clear();
        for (size_t i = 0; i < cols.size(); ++i)
            if (!cols[i].fromGroup && cols[i].kind != Kind::Location)
                sheetColOfRecord.emplace(cols[i].src, int(i)); // a complex value's magnitude
        for (Col& c : cols)
            c.width = (textcodec::displayWidth(c.head8) + kHeaderLines - 1) / kHeaderLines;
        rows.columns(cols.size());
    }

    // from8: the sheet this one continues (UTF-8), said in its note.
    void openPart(const std::string& from8 = std::string()) {
        ++part;
        sheet8 = namer(base8, part > 1 ? QStringLiteral(" (%1)").arg(part) : QString());
        ws = workbook_add_worksheet(wb, sheet8.c_str());
        if (!ws) {
            check(LXW_ERROR_SHEETNAME_ALREADY_USED);
            return;
        }
        if (!rows.attach(ws)) {
            check(LXW_ERROR_PARAMETER_VALIDATION);
            ws = nullptr;
            return;
        }
        if (part == 1) firstSheet8 = sheet8;
        row = 0;
        // The first title, the others on one line, the note; again on a continued sheet
        // only where records still fit below them.
        if (kTitleRows + 4 <= rowLimit) {
            std::string more;
            for (size_t i = 1; i < titles8.size(); ++i)
                more += (more.empty() ? "" : "    ") + titles8[i];
            std::string note = utf8(note8);
            if (!from8.empty()) note = "接工作表“" + from8 + "”。" + note;
            const std::string lines[kTitleRows] = {titles8.empty() ? std::string() : titles8[0], more, note};
            for (const std::string& t : lines) {
                if (!t.empty())
                    check(worksheet_write_string(ws, lxw_row_t(row), 0, t.c_str(), row ? fSubTitle : fTitle));
                ++row;
            }
        }
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
        check(worksheet_repeat_rows(ws, headerRow, headerRow));
        check(worksheet_set_header(ws, pageHeader().c_str()));
        check(worksheet_set_footer(ws, "&C第 &P 页，共 &N 页"));
    }

    // The filter over the table and the widths; before any row below the table, which
    // would put the table's last row out of the library's reach in constant-memory mode.
    void closePart() {
        if (!ws) return;
        if (std::ferror(ws->file)) check(LXW_ERROR_CREATING_TMPFILE); // the nearest the library has
        const lxw_row_t last = row > long(headerRow) + 1 ? lxw_row_t(row - 1) : headerRow;
        if (!cols.empty()) check(worksheet_autofilter(ws, headerRow, 0, last, lxw_col_t(cols.size() - 1)));
        double namesPx = 0, allPx = 0;
        for (size_t c = 0; c < cols.size(); ++c) {
            // Room for the filter button beside the text.
            const int w = std::clamp(cols[c].width + 3, kMinWidth, kMaxWidth);
            check(worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), w, nullptr));
            allPx += w * 7 + 5;
            if (int(c) < frozen) namesPx += w * 7 + 5;
        }
        // A sheet wider than a readable page goes over pages side by side, each led by
        // the name columns when they leave room for values.
        const double room = kPagePixels / kReadableScale;
        int across = 1;
        if (allPx > room) {
            if (frozen > 0 && namesPx <= room / 2) {
                across = int(std::ceil((allPx - namesPx) / (room - namesPx)));
                check(worksheet_repeat_columns(ws, 0, lxw_col_t(frozen - 1)));
            } else {
                across = int(std::ceil(allPx / room));
            }
        }
        worksheet_fit_to_pages(ws, uint16_t(std::min(across, 255)), 0);
        if (across > 1) worksheet_print_across(ws); // a row's values on pages side by side
    }

    // The page goes on in a new sheet; each says where the other is.
    void split() {
        lxw_worksheet* old = ws;
        const std::string oldName = sheet8;
        const long oldRow = row;
        closePart();
        openPart(oldName);
        if (old && ws && oldRow + 1 < rowLimit)
            check(worksheet_write_string(old, lxw_row_t(oldRow + 1), 0,
                                         ("续表见工作表“" + sheet8 + "”。").c_str(), fSubTitle));
    }

    std::string_view source(const Col& c) const {
        if (c.fromGroup)
            return size_t(c.src) < grp.size() ? std::string_view(grp[size_t(c.src)]) : std::string_view();
        return size_t(c.src) < cells.size() ? cells[size_t(c.src)] : std::string_view();
    }

    // exact: the value the text was printed from, or null.
    void writeNumberCell(lxw_col_t c, Col& col, std::string_view text, const double* exact = nullptr) {
        const Number n = readNumber(text);
        if (n.kind == Number::Value) {
            if (exact && std::isfinite(*exact))
                rows.exact(c, *exact, number(n.decimals));
            else
                rows.number(c, n.v, n.decimals >= 0, number(n.decimals));
            col.width = std::max(col.width, int(text.size()));
        } else if (n.kind == Number::Blank) {
            rows.blank(c, fText);
        } else {
            writeText(c, col, knownText(text), fText);
        }
    }

    void writeText(lxw_col_t c, Col& col, const Known& k, lxw_format* f) {
        if (k.xml.empty()) {
            rows.blank(c, f);
        } else if (k.tooLong) {
            check(LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED);
        } else {
            rows.text(c, k, f);
            col.width = std::max(col.width, k.width);
        }
    }

    // Rows a sheet's records may take: the last two are kept for the note on where the
    // page goes on.
    long recordLimit() const { return rowLimit - 2; }

    void writeRow() {
        if (row >= recordLimit()) split();
        if (!ws) return;
        rows.begin(lxw_row_t(row));
        for (size_t i = 0; i < cols.size(); ++i) {
            Col& col = cols[i];
            const lxw_col_t c = lxw_col_t(i);
            const std::string_view s = source(col);
            const RecordStore::Exact* ex =
                !col.fromGroup && size_t(col.src) < exact.size() ? &exact[size_t(col.src)] : nullptr;
            if (listed(col.noValue, s)) {
                rows.blank(c, fText);
                continue;
            }
            switch (col.kind) {
            case Kind::Name:
                writeText(c, col, knownText(s), fName);
                break;
            case Kind::IdNumber: {
                const Number n = readNumber(s);
                if (n.kind == Number::Value && n.decimals == 0) {
                    rows.number(c, n.v, true, fIdNumber);
                    col.width = std::max(col.width, int(s.size()) + 1);
                } else {
                    writeText(c, col, knownText(s), fName);
                }
                break;
            }
            case Kind::Location:
                writeText(c, col, placeText(s), fName);
                break;
            case Kind::Value:
                writeNumberCell(c, col, s, ex && ex->n == 1 ? &ex->v[0] : nullptr);
                break;
            case Kind::Magnitude:
            case Kind::Angle: {
                std::string_view mag, ang;
                const bool magnitude = col.kind == Kind::Magnitude;
                if (splitComplex(s, mag, ang))
                    writeNumberCell(c, col, magnitude ? mag : ang,
                                    ex && ex->n == 2 ? &ex->v[magnitude ? 0 : 1] : nullptr);
                else if (magnitude) // a plain value or a text stays whole
                    writeNumberCell(c, col, s, ex && ex->n == 1 ? &ex->v[0] : nullptr);
                else
                    rows.blank(c, fText);
                break;
            }
            }
        }
        if (!rows.end()) check(LXW_ERROR_CREATING_TMPFILE);
        ++row;
    }

    // A bar chart's point from the record being written.
    void notePoint() {
        if (chart.kind != RepChart::PerRecord) return;
        const size_t cc = size_t(chart.categoryCol), vc = size_t(chart.valueCol);
        const std::string_view name = cc < cells.size() ? cells[cc] : std::string_view();
        const std::string_view text = vc < cells.size() ? cells[vc] : std::string_view();
        const Number n = readNumber(text);
        const bool exactOne = vc < exact.size() && exact[vc].n == 1;
        barNames.emplace_back(name);
        barValues.push_back(n.kind != Number::Value ? std::nan("") : exactOne ? exact[vc].v[0] : n.v);
    }

    // The chart reads a hidden sheet of its own, which sorting or filtering the table
    // cannot change: categories in column A, a series per further column.
    void addChart() {
        if (chart.kind == RepChart::None || firstSheet8.empty()) return;
        RepChart::Data bars;
        const RepChart::Data* data = chart.data.get();
        auto headOf = [&](int rec) {
            auto it = sheetColOfRecord.find(rec);
            return it == sheetColOfRecord.end() ? std::string() : cols[size_t(it->second)].head8;
        };
        if (chart.kind == RepChart::PerRecord) {
            bars.categories = std::move(barNames);
            bars.values = {std::move(barValues)};
            bars.names = {headOf(chart.valueCol)};
            bars.valueTitle = headOf(chart.valueCol);
            data = &bars;
        }
        if (!data || data->categories.empty() || data->values.empty()) return;
        const std::string title = utf8(chart.title);
        const std::string dataName = namer(chart.title, QStringLiteral(" 数据"));
        lxw_worksheet* ds = workbook_add_worksheet(wb, dataName.c_str());
        if (!ds) return check(LXW_ERROR_SHEETNAME_ALREADY_USED);
        worksheet_hide(ds);
        const std::string categoryHead =
            utf8(chart.kind == RepChart::PerRecord ? headOf(chart.categoryCol) : textcodec::gb("母线名"));
        check(worksheet_write_string(ds, 0, 0, categoryHead.c_str(), nullptr));
        for (size_t k = 0; k < data->values.size(); ++k)
            check(worksheet_write_string(
                ds, 0, lxw_col_t(k + 1),
                utf8(k < data->names.size() ? data->names[k] : std::string()).c_str(), nullptr));
        const size_t n = data->categories.size();
        for (size_t r = 0; r < n; ++r) {
            check(
                worksheet_write_string(ds, lxw_row_t(r + 1), 0, utf8(data->categories[r]).c_str(), nullptr));
            for (size_t k = 0; k < data->values.size(); ++k)
                if (r < data->values[k].size() && std::isfinite(data->values[k][r]))
                    check(worksheet_write_number(ds, lxw_row_t(r + 1), lxw_col_t(k + 1), data->values[k][r],
                                                 nullptr));
        }
        const bool bar = chart.kind == RepChart::PerRecord;
        lxw_chart* ch = workbook_add_chart(wb, bar ? LXW_CHART_COLUMN : LXW_CHART_LINE);
        if (!ch) return check(LXW_ERROR_MEMORY_MALLOC_FAILED);
        const std::string fullTitle = title + (chart.about.empty() ? "" : "  " + utf8(chart.about));
        chart_title_set_name(ch, fullTitle.c_str());
        for (size_t k = 0; k < data->values.size(); ++k) {
            lxw_chart_series* s = chart_add_series(ch, nullptr, nullptr);
            chart_series_set_categories(s, dataName.c_str(), 1, 0, lxw_row_t(n), 0);
            // The library cannot look at cells written in constant-memory mode and would
            // take the names for numbers.
            s->categories->has_string_cache = LXW_TRUE;
            chart_series_set_values(s, dataName.c_str(), 1, lxw_col_t(k + 1), lxw_row_t(n), lxw_col_t(k + 1));
            chart_series_set_name_range(s, dataName.c_str(), 0, lxw_col_t(k + 1));
            if (!bar) chart_series_set_marker_type(s, LXW_CHART_MARKER_NONE);
        }
        chart_axis_set_name(ch->x_axis, categoryHead.c_str());
        chart_axis_set_name(ch->y_axis, utf8(data->valueTitle).c_str());
        // On a large grid every label would run into the next: a few, upright.
        if (n > size_t(kMaxLabels)) {
            chart_axis_set_interval_unit(
                ch->x_axis, uint16_t(std::min<size_t>((n + kMaxLabels - 1) / kMaxLabels, 65535)));
            lxw_chart_font f{};
            f.rotation = -90;
            chart_axis_set_num_font(ch->x_axis, &f);
        }
        chart_legend_set_position(ch, bar ? LXW_CHART_LEGEND_NONE : LXW_CHART_LEGEND_BOTTOM);
        sheet8 = namer(chart.title, QString());
        lxw_chartsheet* cs = workbook_add_chartsheet(wb, sheet8.c_str());
        if (!cs) return check(LXW_ERROR_SHEETNAME_ALREADY_USED);
        check(chartsheet_set_chart(cs, ch));
        chartsheet_set_landscape(cs);
        chartsheet_set_paper(cs, kPaperA4);
        check(chartsheet_set_header(cs, pageHeader().c_str()));
        check(chartsheet_set_footer(cs, "&C第 &P 页，共 &N 页"));
    }

    std::string pageHeader() const {
        // The case's name is cut well inside the 255 characters a header may hold.
        QString name = textcodec::fromLocal8(caseName8);
        if (name.size() > 100) name = name.left(100);
        return "&L" + headerText(name.toUtf8().toStdString()) + "&R&A";
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
    d->barNames.clear();
    d->barValues.clear();
    d->firstSheet8.clear();
    d->layout(head);
    d->openPart();
}

void TableSheet::group(const std::vector<std::string>& grpTexts, long records) {
    Impl& x = *d;
    x.grp = grpTexts;
    x.grpHasRows = false;
    // A fault point that fits on a sheet of its own starts one rather than being cut.
    const long rows = std::max(records, 1L), first = long(x.headerRow) + 1;
    if (x.ws && x.row > first && x.row + rows > x.recordLimit() && rows <= x.recordLimit() - first) x.split();
}

void TableSheet::record(RecordStore::Cursor cur) {
    Impl& x = *d;
    x.cells.clear();
    x.exact.clear();
    std::string_view c;
    RecordStore::Exact e;
    while (cur.next(c, e)) {
        x.cells.push_back(c);
        x.exact.push_back(e);
    }
    x.notePoint();
    x.writeRow();
    x.grpHasRows = true;
}

void TableSheet::endGroup() {
    Impl& x = *d;
    if (x.grpHasRows) return;
    x.cells.clear();
    x.exact.clear();
    bool any = false;
    for (const std::string& t : x.grp)
        any = any || !t.empty();
    if (any) x.writeRow();
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
