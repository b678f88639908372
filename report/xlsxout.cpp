// The native workbook: one worksheet per page laid out like the HTML sheet, written
// row by row in libxlsxwriter's constant-memory mode.
#include "packgauge.h"
#include "pagewriters.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "textout.h"
#include "xlsxtable.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QString>

#include <xlsxwriter.h>

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

using textcodec::gb;

namespace {

constexpr int kMaxSheetName = 31;
constexpr int kMaxSheetNameBytes = 46;
constexpr int kMaxDecimals = 20;

// Text a cell holds as a number: an optional minus, digits without a leading zero
// (except a lone one) and optional decimals. Returns the number of decimals, or -1.
int plainDecimals(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    const size_t intStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    const size_t intDigits = i - intStart;
    if (intDigits == 0 || intDigits > 15) return -1;
    if (intDigits > 1 && s[intStart] == '0') return -1;
    if (i == s.size()) return 0;
    if (s[i] != '.') return -1;
    const size_t fracStart = ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    const size_t frac = i - fracStart;
    if (i != s.size() || frac == 0 || frac > size_t(kMaxDecimals)) return -1;
    return int(frac);
}

std::string utf8(std::string_view s) {
    if (textout::isAscii(s)) return std::string(s);
    return textcodec::toUtf8(std::string(s));
}

// The stylesheet's classes as cell formats.
enum Style {
    sTitle,
    sSubTitle,
    sGroup,
    sHeader1,
    sHeaderN,
    sLeadHead,
    sLeadPlain,
    sIdCell,
    sCell,
    sStyleCount
};

class Formats {
  public:
    explicit Formats(lxw_workbook* wb) : m_wb(wb) {
        for (int s = 0; s < sStyleCount; ++s)
            m_style[s] = make(Style(s));
        for (auto& row : m_number)
            row.fill(nullptr);
    }
    lxw_format* style(Style s) const { return m_style[s]; }
    // A record cell showing a number with the given decimals.
    lxw_format* number(bool id, int decimals) {
        lxw_format*& f = m_number[id ? 1 : 0][decimals];
        if (!f) {
            f = make(id ? sIdCell : sCell);
            std::string fmt = decimals == 0 ? "0" : "0." + std::string(size_t(decimals), '0');
            format_set_num_format(f, fmt.c_str());
        }
        return f;
    }

  private:
    lxw_format* make(Style s) {
        lxw_format* f = workbook_add_format(m_wb);
        format_set_font_size(f, 10);
        switch (s) {
        case sTitle:
            format_set_bold(f);
            format_set_font_size(f, 14);
            format_set_align(f, LXW_ALIGN_CENTER);
            format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
            break;
        case sSubTitle:
            format_set_align(f, LXW_ALIGN_LEFT);
            break;
        case sGroup:
            format_set_bold(f);
            format_set_bg_color(f, 0xFFF2CC);
            format_set_border(f, LXW_BORDER_THIN);
            format_set_align(f, LXW_ALIGN_LEFT);
            break;
        case sHeader1:
        case sHeaderN:
        case sLeadHead:
            format_set_bold(f);
            format_set_bg_color(f, 0xDDEBF7);
            format_set_border(f, LXW_BORDER_THIN);
            format_set_align(f, LXW_ALIGN_CENTER);
            format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
            format_set_text_wrap(f);
            break;
        case sLeadPlain:
            format_set_border(f, LXW_BORDER_THIN);
            format_set_align(f, LXW_ALIGN_LEFT);
            format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
            break;
        case sIdCell:
            format_set_border(f, LXW_BORDER_THIN);
            format_set_align(f, LXW_ALIGN_LEFT);
            break;
        case sCell:
            format_set_border(f, LXW_BORDER_THIN);
            break;
        case sStyleCount:
            break;
        }
        return f;
    }

    lxw_workbook* m_wb;
    lxw_format* m_style[sStyleCount];
    std::array<std::array<lxw_format*, kMaxDecimals + 1>, 2> m_number;
};

// Valid worksheet names, unique without regard to letter case.
class SheetNamer {
  public:
    std::string make(const std::string& local8, const QString& suffix = QString()) {
        QString base = textcodec::fromLocal8(local8);
        for (QChar& c : base)
            if (QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 0x20) c = QLatin1Char('_');
        while (base.startsWith(QLatin1Char('\'')))
            base.remove(0, 1);
        while (base.endsWith(QLatin1Char('\'')))
            base.chop(1);
        base = base.trimmed();
        if (base.isEmpty()) base = QStringLiteral("Sheet%1").arg(m_used.size() + 1);
        for (int n = 1;; ++n) {
            QString tail = suffix;
            if (n > 1) tail += QStringLiteral(" (%1)").arg(n);
            QString head = fit(base, kMaxSheetName - int(tail.size()));
            while (head.endsWith(QLatin1Char('\''))) // a cut may end on a quote
                head.chop(1);
            if (head.isEmpty()) head = QStringLiteral("Sheet");
            QString name = head + tail;
            if (!m_used.contains(name.toLower())) {
                m_used.insert(name.toLower());
                return name.toUtf8().toStdString();
            }
        }
    }

  private:
    // At most n UTF-16 units, never cutting a surrogate pair.
    // The print titles name the sheet twice in a formula the library holds in 127 bytes:
    // a name of at most 46 bytes of UTF-8 leaves room for both ranges.
    static QString fit(const QString& s, int n) {
        QString r = s.left(n);
        while (r.toUtf8().size() > kMaxSheetNameBytes - (n < kMaxSheetName ? kMaxSheetName - n : 0))
            r.chop(1);
        if (!r.isEmpty() && r.back().isHighSurrogate()) r.chop(1);
        while (r.endsWith(QLatin1Char(' ')))
            r.chop(1);
        return r;
    }
    QSet<QString> m_used;
};

// Writes one page, continuing on further worksheets past the row limit. Cells are
// placed like an HTML table: spans occupy the columns to the right and the rows below.
class SheetWriter {
  public:
    SheetWriter(lxw_workbook* wb, Formats& fmt, SheetNamer& namer, long rowLimit)
        : m_wb(wb), m_fmt(fmt), m_namer(namer), m_rowLimit(rowLimit) {}

    void begin(const std::string& name8, const RepPage& page) {
        m_page = &page;
        m_baseName = name8;
        m_part = 1;
        m_ncol = std::max(page.m_nColCount, 1);
        openSheet(m_namer.make(name8));
    }

    // A row of cells; a cell text is a number only in record rows.
    struct Cell {
        std::string_view text;
        int colspan = 1;
        int rowspan = 1;
        Style style = sCell;
        bool record = false;
    };

    void row(const std::vector<Cell>& cells, bool recordRow,
             const std::vector<std::vector<RepCell>>* repeat) {
        if (m_row >= m_rowLimit) continueSheet(recordRow ? repeat : nullptr);
        writeRow(cells);
    }

    void end() { flushMerges(true); }

    // The first cell the library refused, or LXW_NO_ERROR.
    lxw_error error() const { return m_err; }
    const std::string& errorSheet() const { return m_errSheet; }

  private:
    // A refused cell would be missing from the file; the caller fails the run.
    void check(lxw_error e) {
        if (e != LXW_NO_ERROR && m_err == LXW_NO_ERROR) {
            m_err = e;
            m_errSheet = m_sheetName;
        }
    }

    void openSheet(const std::string& utf8Name) {
        m_ws = workbook_add_worksheet(m_wb, utf8Name.c_str());
        // The library has the last word on names; fall back to one it cannot refuse.
        for (int n = 1; !m_ws && n < 100000; ++n)
            m_ws = workbook_add_worksheet(m_wb, m_namer.make("Sheet" + std::to_string(n)).c_str());
        if (!m_ws)
            raiseError(gb("无法创建工作表：") + textcodec::toLocal8(QString::fromUtf8(utf8Name.c_str())));
        m_sheetName = utf8Name;
        m_row = 0;
        m_occ.assign(size_t(m_ncol), 0);
        m_occFmt.assign(size_t(m_ncol), nullptr);
        m_merges.clear();
        const RepPage& p = *m_page;
        for (int c = 0; c < p.m_nColCount; ++c) {
            int w = (!p.headers.empty() && c < int(p.headers[0].size())) ? p.headers[0][c].width : 16;
            worksheet_set_column(m_ws, lxw_col_t(c), lxw_col_t(c), std::max(8, std::min(w, 60)) + 2, nullptr);
        }
    }

    void continueSheet(const std::vector<std::vector<RepCell>>* header) {
        flushMerges(true);
        ++m_part;
        const std::string name = m_namer.make(m_baseName, QStringLiteral(" (%1)").arg(m_part));
        screport::logDebug(gb("工作表行数超过上限，续写于工作表：") +
                           textcodec::toLocal8(QString::fromUtf8(name.c_str())));
        openSheet(name);
        // The column headers again, so the continued rows can be read on their own.
        if (header && long(header->size()) + 1 < m_rowLimit) {
            const bool multi = header->size() > 1;
            for (const auto& hrow : *header) {
                std::vector<Cell> cells;
                for (const RepCell& c : hrow)
                    cells.push_back(Cell{c.text, c.colspan, c.rowspan, multi ? sHeaderN : sHeader1, false});
                writeRow(cells);
            }
        }
    }

    struct Merge {
        lxw_row_t r1, r2;
        lxw_col_t c1, c2;
        lxw_format* fmt;
        std::string text; // UTF-8; rewritten into the first cell while its row is open
    };

    void writeRow(const std::vector<Cell>& cells) {
        const lxw_row_t r = lxw_row_t(m_row);
        int col = 0;
        // Columns covered by spans from rows above get formatted blanks.
        for (int c = 0; c < m_ncol; ++c)
            if (m_occ[size_t(c)] > 0 && m_occFmt[size_t(c)])
                check(worksheet_write_blank(m_ws, r, lxw_col_t(c), m_occFmt[size_t(c)]));
        for (const Cell& cell : cells) {
            while (col < int(m_occ.size()) && m_occ[size_t(col)] > 0)
                ++col;
            const int cs = std::max(cell.colspan, 1), rs = std::max(cell.rowspan, 1);
            // Leading cells push a record's texts right; its empty tail past the page's
            // columns is left out rather than drawn as bordered blanks.
            if (cell.record && cell.text.empty() && col >= m_ncol) {
                col += cs;
                continue;
            }
            if (col + cs > int(m_occ.size())) {
                m_occ.resize(size_t(col + cs), 0);
                m_occFmt.resize(size_t(col + cs), nullptr);
            }
            lxw_format* f = writeCell(r, lxw_col_t(col), cell);
            for (int k = 0; k < cs; ++k) {
                if (k > 0) check(worksheet_write_blank(m_ws, r, lxw_col_t(col + k), f));
                m_occ[size_t(col + k)] = rs;
                m_occFmt[size_t(col + k)] = f;
            }
            if (cs > 1 || rs > 1)
                m_merges.push_back(Merge{r, lxw_row_t(m_row + rs - 1), lxw_col_t(col),
                                         lxw_col_t(col + cs - 1), f, utf8(cell.text)});
            col += cs;
        }
        for (int& o : m_occ)
            if (o > 0) --o;
        flushMerges(false);
        ++m_row;
    }

    lxw_format* writeCell(lxw_row_t r, lxw_col_t c, const Cell& cell) {
        if (cell.record) {
            const int dec = plainDecimals(cell.text);
            if (dec >= 0 && cell.style != sIdCell) {
                double v = 0;
                std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), v);
                lxw_format* f = m_fmt.number(false, dec);
                check(worksheet_write_number(m_ws, r, c, v, f));
                return f;
            }
        }
        lxw_format* f = m_fmt.style(cell.style);
        if (cell.text.empty())
            check(worksheet_write_blank(m_ws, r, c, f));
        else
            check(worksheet_write_string(m_ws, r, c, utf8(cell.text).c_str(), f));
        return f;
    }

    // Registers the spans whose last row is written. In constant-memory mode the
    // rows above are already on disk, so only the range itself is recorded there.
    void flushMerges(bool all) {
        for (size_t i = 0; i < m_merges.size();) {
            Merge& m = m_merges[i];
            if (all || m.r2 <= lxw_row_t(m_row)) {
                const lxw_row_t last =
                    std::min<lxw_row_t>(m.r2, lxw_row_t(std::max<long>(m_row - (all ? 1 : 0), long(m.r1))));
                if (last > m.r1 || m.c2 > m.c1)
                    check(worksheet_merge_range(m_ws, m.r1, m.c1, last, m.c2, m.text.c_str(), m.fmt));
                m_merges.erase(m_merges.begin() + long(i));
            } else {
                ++i;
            }
        }
    }

    lxw_workbook* m_wb;
    Formats& m_fmt;
    SheetNamer& m_namer;
    long m_rowLimit;
    const RepPage* m_page = nullptr;
    std::string m_baseName;
    int m_part = 1;
    int m_ncol = 1;
    lxw_worksheet* m_ws = nullptr;
    long m_row = 0;
    std::vector<int> m_occ;
    std::vector<lxw_format*> m_occFmt;
    std::vector<Merge> m_merges;
    std::string m_sheetName; // UTF-8
    lxw_error m_err = LXW_NO_ERROR;
    std::string m_errSheet;
};

// Packing the sheets into the zip file (workbook_close) takes seconds for a large workbook
// and looks at nothing in between, so it runs on a thread of its own while the run goes on
// answering a cancel. A cancelled run leaves the packing to finish; it then removes its
// file, which has a name of its own so that no later run meets it.
class Packer {
  public:
    Packer(lxw_workbook* wb, const QByteArray& nativePath) : m_state(std::make_shared<State>()) {
        m_state->path = nativePath;
        std::shared_ptr<State> st = m_state;
        std::lock_guard<std::mutex> lock(threads().m);
        threads().list.emplace_back([st, wb] {
            const lxw_error err = workbook_close(wb);
            std::lock_guard<std::mutex> l(st->m);
            st->err = err;
            st->done = true;
            if (st->abandoned) QFile::remove(QFile::decodeName(st->path));
            st->cv.notify_all();
        });
    }
    // Waits up to `ms`; true once the packing has ended.
    bool wait(int ms) {
        std::unique_lock<std::mutex> lock(m_state->m);
        return m_state->cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_state->done; });
    }
    lxw_error error() const { return m_state->err; }
    // The run ends without the file: whoever finishes last removes it.
    void abandon() {
        std::lock_guard<std::mutex> lock(m_state->m);
        if (m_state->done)
            QFile::remove(QFile::decodeName(m_state->path));
        else
            m_state->abandoned = true;
    }

  private:
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        bool abandoned = false;
        lxw_error err = LXW_NO_ERROR;
        QByteArray path;
    };
    // Packings still going when the program ends are waited for, so none is cut off
    // inside the library.
    struct Threads {
        std::mutex m;
        std::vector<std::thread> list;
        ~Threads() {
            for (std::thread& t : list)
                if (t.joinable()) t.join();
        }
    };
    static Threads& threads() {
        static Threads t;
        return t;
    }
    std::shared_ptr<State> m_state;
};

std::atomic<unsigned> g_packNo{0};

// Title, case, program and version, as the file's properties show them.
void setProperties(lxw_workbook* wb, const XlsxSetup& s) {
    const std::string caseName = textcodec::toUtf8(s.caseName8);
    const std::string title = textcodec::toUtf8(gb("短路计算报表：")) + caseName;
    const std::string program = std::string("screport ") + SCREPORT_VERSION;
    lxw_doc_properties props{};
    props.title = const_cast<char*>(title.c_str());
    props.subject = const_cast<char*>(caseName.c_str());
    props.comments = const_cast<char*>(program.c_str());
    workbook_set_properties(wb, &props);
    workbook_set_custom_property_string(wb, "Case", caseName.c_str());
    workbook_set_custom_property_string(wb, "Case number", s.caseNo.c_str());
    workbook_set_custom_property_string(wb, "Program", "screport");
    workbook_set_custom_property_string(wb, "Version", SCREPORT_VERSION);
}

// One worksheet per page: a table (xlsxtable.h), or laid out like the HTML sheet.
class XlsxBookWriter : public XlsxWriter {
  public:
    XlsxBookWriter(OutFileSet& files, const std::string& path, const XlsxSetup& setup)
        : m_out(files.add(path)), m_path(path) {
        const bool zip64 = setup.zip64;
        if (m_out.failed()) raiseError(gb("无法写入文件：") + path);
        m_out.finish(); // the library writes the temporary file itself
        lxw_workbook_options opt{};
        opt.constant_memory = LXW_TRUE;
        opt.tmpdir = nullptr;
        // A part of the package past 4 GB needs the 64-bit zip records.
        opt.use_zip64 = zip64 ? LXW_TRUE : LXW_FALSE;
        // The library writes a file of its own name (see Packer); it becomes the temporary
        // file once packed. Its name ends like a temporary one, so a killed run's is cleaned up.
        const std::string packPath = path + ".n" + std::to_string(++g_packNo) +
                                     m_out.tmpPath().substr(std::min(path.size(), m_out.tmpPath().size()));
        m_native = QFile::encodeName(textcodec::fromLocal8(packPath));
        m_wb = workbook_new_opt(m_native.constData(), &opt);
        if (!m_wb) {
            m_out.setFailed();
            raiseError(gb("无法写入文件：") + path);
        }
        setProperties(m_wb, setup);
        if (setup.layout == XlsxLayout::Table) {
            m_where = setup.where;
            m_table = std::make_unique<xlsxtable::TableSheet>(
                m_wb, [this](const std::string& b, const QString& sfx) { return m_namer.make(b, sfx); },
                setup.rowLimit, m_where.get(), setup.caseName8);
            return;
        }
        m_fmt = std::make_unique<Formats>(m_wb);
        m_sw = std::make_unique<SheetWriter>(m_wb, *m_fmt, m_namer, setup.rowLimit);
    }

    ~XlsxBookWriter() override {
        if (m_wb) lxw_workbook_free(m_wb);
    }

    void beginPage(int, const RepPage& p) override {
        ++m_pages;
        if (m_table)
            return m_table->begin(
                xlsxtable::PageHead{p.titles, p.grpTitles, p.headers, p.m_nColCount, p.chart});
        const int n = std::max(p.m_nColCount, 1);
        m_sw->begin(p.titles.empty() ? std::string() : p.titles.front(), p);
        for (size_t i = 0; i < p.titles.size(); ++i)
            m_sw->row({SheetWriter::Cell{p.titles[i], n, 1, i == 0 ? sTitle : sSubTitle, false}}, false,
                      nullptr);
        m_isID.assign(size_t(std::max(p.m_nColCount, 0)), 0);
        if (!p.headers.empty())
            for (size_t c = 0; c < m_isID.size() && c < p.headers[0].size(); ++c)
                m_isID[c] = p.headers[0][c].isID ? 1 : 0;
    }

    void group(int, const RepPage& p, const GroupRef& g) override {
        if (m_table) {
            m_table->group(g.texts ? *g.texts : std::vector<std::string>(), g.rs->recordCount(g.grp));
            for (int r = 0; r < g.rs->recordCount(g.grp); ++r) {
                m_table->record(g.rs->cells(g.grp, r));
                rowDone();
            }
            m_table->endGroup();
            return;
        }
        const bool multi = p.headers.size() > 1;
        if (!p.grpTitles.empty()) {
            m_cells.clear();
            for (const RepCell& c : p.grpTitles)
                m_cells.push_back({c.text, 1, 1, sGroup, false});
            m_sw->row(m_cells, false, nullptr);
            m_cells.clear();
            if (g.texts)
                for (const std::string& t : *g.texts)
                    m_cells.push_back({t, 1, 1, sGroup, false});
            m_sw->row(m_cells, false, nullptr);
        }
        for (const auto& hrow : p.headers) {
            m_cells.clear();
            for (const RepCell& c : hrow)
                m_cells.push_back({c.text, c.colspan, c.rowspan, multi ? sHeaderN : sHeader1, false});
            m_sw->row(m_cells, false, nullptr);
        }
        const RecordStore& rs = *g.rs;
        for (int r = 0; r < rs.recordCount(g.grp); ++r) {
            m_cells.clear();
            if (r < int(p.recIDs.size()))
                for (const RepCell& c : p.recIDs[r])
                    m_cells.push_back(
                        {c.text, c.colspan, c.rowspan, c.headStyle ? sLeadHead : sLeadPlain, false});
            RecordStore::Cursor cur = rs.cells(g.grp, r);
            std::string_view cell;
            for (char id : m_isID) {
                if (!cur.next(cell)) cell = std::string_view();
                m_cells.push_back({cell, 1, 1, id ? sIdCell : sCell, true});
            }
            m_sw->row(m_cells, true, &p.headers);
            rowDone();
        }
    }

    void endPage(int, const RepPage& p) override {
        if (m_table) {
            m_table->end(p.tails);
            return failOn(m_table->error(), m_table->errorSheet());
        }
        const int n = std::max(p.m_nColCount, 1);
        for (const std::string& t : p.tails)
            m_sw->row({SheetWriter::Cell{t, n, 1, sSubTitle, false}}, false, nullptr);
        m_sw->end();
        failOn(m_sw->error(), m_sw->errorSheet());
    }

    // A cell the library refused would be missing from the file.
    void failOn(lxw_error err, const std::string& sheet8) {
        if (err == LXW_NO_ERROR) return;
        m_out.setFailed();
        raiseError(gb("无法写入文件：") + m_path + " (" +
                   textcodec::toLocal8(QString::fromUtf8(sheet8.c_str())) + ": " + lxw_strerror(err) + ")");
    }

    void finish(const std::deque<RepPage>&) override {
        if (m_pages == 0) workbook_add_worksheet(m_wb, nullptr); // a workbook needs one sheet
    }

    void pack(const std::function<void(long long, long long)>& poll) override {
        lxw_workbook* wb = m_wb;
        m_wb = nullptr;
        const PackGauge gauge(m_openBefore, m_native.toStdString());
        Packer packer(wb, m_native);
        auto tell = [&] {
            long long done = 0, total = 0;
            if (!gauge.measure(done, total)) done = total = 0;
            poll(done, total);
        };
        try {
            tell();
            while (!packer.wait(20))
                tell();
        } catch (...) {
            packer.abandon();
            m_out.setFailed();
            throw;
        }
        const QString packed = QFile::decodeName(m_native);
        const QString tmp = textcodec::fromLocal8(m_out.tmpPath());
        if (packer.error() != LXW_NO_ERROR || QFileInfo(packed).size() == 0 || !QFile::remove(tmp) ||
            !QFile::rename(packed, tmp)) {
            QFile::remove(packed);
            m_out.setFailed();
            raiseError(gb("无法写入文件：") + m_path);
        }
    }

  private:
    OutFile& m_out;
    std::string m_path;
    QByteArray m_native;
    lxw_workbook* m_wb = nullptr;
    std::unique_ptr<Formats> m_fmt;
    SheetNamer m_namer;
    std::unique_ptr<SheetWriter> m_sw;
    std::shared_ptr<const BusLocations> m_where;
    std::unique_ptr<xlsxtable::TableSheet> m_table;
    std::vector<char> m_isID;
    std::vector<SheetWriter::Cell> m_cells;
    int m_pages = 0;
    std::set<PackGauge::File> m_openBefore = PackGauge::openNow(); // not the sheets' files
};

} // namespace

std::unique_ptr<XlsxWriter> XlsxWriter::create(OutFileSet& files, const std::string& path,
                                               const XlsxSetup& setup) {
    return std::make_unique<XlsxBookWriter>(files, path, setup);
}

XlsxSetup ReportOutput::xlsxSetup(size_t cells) const {
    XlsxSetup s;
    s.rowLimit = m_nSheetRowLimit;
    s.zip64 = cells > kZip64Cells;
    s.layout = m_options.xlsxLayout;
    s.where = m_busLocations;
    s.caseName8 = m_model.caseName();
    s.caseNo = m_model.caseNoText();
    return s;
}
