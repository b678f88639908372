// One page as an HTML table styled by the workbook stylesheet. Every model text is escaped: names, notes and
// case names come from a database that others edit.
#include "pagewriters.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "textout.h"

namespace {

void spans(textout::Writer& w, const RepCell& c, bool rowFirst) {
    for (int k = 0; k < 2; ++k) {
        const bool row = (k == 0) == rowFirst;
        const int n = row ? c.rowspan : c.colspan;
        if (n > 1) {
            w.lit(row ? " rowspan=" : " colspan=");
            w.num(n);
        }
    }
}

} // namespace

namespace {

void openTable(textout::Writer& w, long columns) {
    w.lit("<table border=1>");
    w.eol();
    w.lit("<col span=");
    w.num(columns);
    w.lit(">");
    w.eol();
}

void closeTable(textout::Writer& w) {
    w.lit("</table>");
    w.eol();
}

// A line of text across the table: titles, tails and notes.
void line(textout::Writer& w, long columns, const std::string& text, bool first) {
    w.lit(first ? "<tr><th class=xl28 colspan=" : "<tr><th class=xl29 align=left colspan=");
    w.num(columns);
    w.lit("> ");
    w.html(text);
    w.lit("</th>");
    w.eol();
}

} // namespace

void HtmlTableWriter::titles(const RepPage& p, const std::string& note) {
    if (p.titles.empty() && note.empty()) return;
    textout::Writer w(*m_out, m_enc);
    openTable(w, p.m_nColCount);
    for (size_t i = 0; i < p.titles.size(); ++i)
        line(w, p.m_nColCount, p.titles[i], i == 0);
    if (!note.empty()) line(w, p.m_nColCount, note, false);
    closeTable(w);
}

void HtmlTableWriter::note(const RepPage& p, const std::string& text) {
    textout::Writer w(*m_out, m_enc);
    openTable(w, p.m_nColCount);
    line(w, p.m_nColCount, text, false);
    closeTable(w);
}

void HtmlTableWriter::beginPage(int, const RepPage& p) {
    titles(p, std::string());
    // Record cells of identifying columns are styled apart.
    m_isID.assign(size_t(std::max(p.m_nColCount, 0)), 0);
    if (!p.headers.empty())
        for (size_t c = 0; c < m_isID.size() && c < p.headers[0].size(); ++c)
            m_isID[c] = p.headers[0][c].isID ? 1 : 0;
}

void HtmlTableWriter::group(int, const RepPage& p, const GroupRef& g) {
    const bool head = !p.grpTitles.empty() || !p.headers.empty();
    if (!head && g.rs->recordCount(g.grp) == 0) return;
    textout::Writer w(*m_out, m_enc);
    // Each group is a table of its own: a browser lays out only the ones in view (the
    // stylesheet's content-visibility), and prints its heading on every page it spans.
    openTable(w, p.m_nColCount);
    if (head) {
        w.lit("<thead>");
        w.eol();
    }
    if (!p.grpTitles.empty()) {
        w.lit("<tr>");
        for (const RepCell& c : p.grpTitles) {
            w.lit("<th class=xl25>");
            w.html(c.text);
            w.lit("</th>");
        }
        w.eol();
        w.lit("<tr>");
        if (g.texts)
            for (const std::string& t : *g.texts) {
                w.lit("<td class=xl25>");
                w.html(t);
                w.lit("</td>");
            }
        w.eol();
    }
    const bool multi = p.headers.size() > 1;
    for (const auto& row : p.headers) {
        w.lit("<tr>");
        for (const RepCell& c : row) {
            w.lit(multi ? "<td class=xl35" : "<td class=xl27");
            spans(w, c, false);
            w.lit(">");
            w.html(c.text);
            w.lit("</td>");
        }
        w.eol();
    }
    if (head) {
        w.lit("</thead>");
        w.eol();
    }
    w.lit("<tbody>");
    w.eol();
    const RecordStore& rs = *g.rs;
    for (int r = 0; r < rs.recordCount(g.grp); ++r) {
        w.lit("<tr>");
        if (r < int(p.recIDs.size())) {
            for (const RepCell& c : p.recIDs[r]) {
                if (c.extra.empty()) {
                    w.lit(c.headStyle ? "<td class=xl35" : "<td class=xl36");
                    spans(w, c, true);
                } else {
                    w.lit("<td ");
                    w.text(c.extra); // the program's own attributes, never model text
                }
                w.lit(">");
                w.html(c.text);
                w.lit("</td>");
            }
        }
        RecordStore::Cursor cur = rs.cells(g.grp, r);
        std::string_view cell;
        for (char id : m_isID) {
            if (!cur.next(cell)) cell = std::string_view();
            // A record cell's end is implied by the next: a large sheet is a third smaller.
            w.lit(id ? "<td class=xl30>" : "<td>");
            w.html(cell);
        }
        if (!m_isID.empty()) w.lit("</td>"); // the line end is no part of the last
        w.eol();
        rowDone();
    }
    w.lit("</tbody>");
    w.eol();
    closeTable(w);
}

void HtmlTableWriter::endPage(int, const RepPage& p) {
    if (p.tails.empty()) return;
    textout::Writer w(*m_out, m_enc);
    openTable(w, p.m_nColCount);
    for (const std::string& t : p.tails)
        line(w, p.m_nColCount, t, false);
    closeTable(w);
}
