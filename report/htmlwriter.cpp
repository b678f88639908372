// One page as an HTML table styled by the workbook stylesheet, and the single
// HTML document of all pages.
#include "repportbase.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "textout.h"

void RepPortBase::outputRP_html(int page, OutSink& os) {
    textout::Writer w(os, m_options.encoding);
    const RepPage& p = m_pages[page];
    const long n = p.m_nColCount;
    w.lit("<table border=1>");
    w.eol();
    w.lit("<col span=");
    w.num(n);
    w.lit(">");
    w.eol();
    for (size_t i = 0; i < p.titles.size(); ++i) {
        w.lit(i == 0 ? "<tr><th class=xl28 colspan=" : "<tr><th class=xl29 align=left colspan=");
        w.num(n);
        w.lit("> ");
        w.text(p.titles[i]);
        w.lit("</th>");
        w.eol();
    }
    // Record cells of identifying columns are styled apart.
    std::vector<char> isID(size_t(std::max(p.m_nColCount, 0)), 0);
    for (size_t c = 0; c < isID.size(); ++c)
        isID[c] = isIDCol(page, int(c)) ? 1 : 0;
    const RecordStore& rs = p.records;
    for (int g = 0; g < rs.groupCount(); ++g) {
        if (!p.grpTitles.empty()) outputGrpInfo_html(os, page, g);
        outputHeaders_html(os, page);
        for (int r = 0; r < rs.recordCount(g); ++r) {
            w.lit("<tr>");
            if (r < int(p.recIDs.size())) {
                for (const RepCell& c : p.recIDs[r]) {
                    if (c.extra.empty()) {
                        w.lit(c.headStyle ? "<td class=xl35" : "<td class=xl36");
                        if (c.rowspan > 1) {
                            w.lit(" rowspan=");
                            w.num(c.rowspan);
                        }
                        if (c.colspan > 1) {
                            w.lit(" colspan=");
                            w.num(c.colspan);
                        }
                    } else {
                        screport::logDebug("extrainfo:" + c.extra);
                        w.lit("<td ");
                        w.text(c.extra);
                    }
                    w.lit(">");
                    w.text(c.text);
                    w.lit("</td>");
                }
            }
            RecordStore::Cursor cur = rs.cells(g, r);
            std::string_view cell;
            for (char id : isID) {
                if (!cur.next(cell)) cell = std::string_view();
                w.lit(id ? "<td class=xl30>" : "<td>");
                w.text(cell);
                w.lit("</td>");
            }
            w.eol();
            rowDone();
        }
    }
    for (const std::string& t : p.tails) {
        w.lit("<tr><th class=xl29 align=left colspan=");
        w.num(n);
        w.lit("> ");
        w.text(t);
        w.lit("</th>");
        w.eol();
    }
    w.lit("</table>");
    w.eol();
}

void RepPortBase::outputGrpInfo_html(OutSink& os, int page, int grp) {
    textout::Writer w(os, m_options.encoding);
    const RepPage& p = m_pages[page];
    w.lit("<tr>");
    for (const RepCell& c : p.grpTitles) {
        w.lit("<th class=xl25>");
        w.text(c.text);
        w.lit("</th>");
    }
    w.eol();
    w.lit("<tr>");
    if (grp < int(p.grpTexts.size())) {
        for (const std::string& t : p.grpTexts[grp]) {
            w.lit("<td class=xl25>");
            w.text(t);
            w.lit("</td>");
        }
    }
    w.eol();
}

void RepPortBase::outputHeaders_html(OutSink& os, int page) {
    textout::Writer w(os, m_options.encoding);
    const RepPage& p = m_pages[page];
    const bool multi = p.headers.size() > 1;
    for (const auto& row : p.headers) {
        w.lit("<tr>");
        for (const RepCell& c : row) {
            w.lit(multi ? "<td class=xl35 " : "<td class=xl27 ");
            if (c.colspan > 1) {
                w.lit(" colspan=");
                w.num(c.colspan);
            }
            if (c.rowspan > 1) {
                w.lit(" rowspan=");
                w.num(c.rowspan);
            }
            w.lit(">");
            w.text(c.text);
            w.lit("</td>");
        }
        w.eol();
    }
}

void RepPortBase::outputRP_html(OutSink& os) {
    textout::Writer w(os, m_options.encoding);
    w.lit("<html>");
    w.eol();
    w.lit("<meta http-equiv=Content-Type content=\"text/html; charset=");
    w.lit(textout::charsetName(m_options.encoding));
    w.lit("\"> ");
    w.eol();
    for (int i = 0; i < int(m_pages.size()); ++i) {
        outputRP_html(i, os);
        w.eol();
        w.eol();
    }
    w.lit("</html>");
    w.eol();
}

void RepPortBase::outputRP_html(const char* path) {
    OutFile f(path ? path : "");
    beginRun("正在写HTML报表");
    outputRP_html(f);
    endRun();
    if (!f.commit()) raiseError(textcodec::gb("无法写入文件：") + f.path());
}
