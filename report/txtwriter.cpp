// The fixed-width text report.
#include "repportbase.h"

#include "db/errortext.h"
#include "db/textcodec.h"
#include "textout.h"

namespace {
constexpr int kDefaultWidth = 16;
}

std::vector<int> RepPortBase::columnWidths(int page) const {
    const RepPage& p = m_pages[page];
    std::vector<int> w(size_t(std::max(p.m_nColCount, 0)), kDefaultWidth);
    if (!p.headers.empty())
        for (size_t c = 0; c < w.size() && c < p.headers[0].size(); ++c)
            w[c] = p.headers[0][c].width;
    return w;
}

void RepPortBase::outputRP_txt(const char* path) {
    OutFile f(path ? path : "");
    beginRun("正在写文本报表");
    outputRP_txt(f);
    endRun();
    if (!f.commit()) raiseError(textcodec::gb("无法写入文件：") + f.path());
}

void RepPortBase::outputRP_txt(OutSink& os) {
    for (int i = 0; i < int(m_pages.size()); ++i) {
        outputRP_txt(i, os);
        os.crlf();
        os.crlf();
    }
}

void RepPortBase::outputRP_txt(int page, OutSink& os) {
    textout::Writer w(os, m_options.encoding);
    const RepPage& p = m_pages[page];
    for (const std::string& t : p.titles) {
        w.lit("\t");
        w.text(t);
        w.eol();
        w.eol();
    }
    const std::vector<int> widths = columnWidths(page);
    const RecordStore& rs = p.records;
    for (int g = 0; g < rs.groupCount(); ++g) {
        if (!p.grpTitles.empty()) outputGrpInfo_txt(os, page, g);
        outputHeaders_txt(os, page);
        for (int r = 0; r < rs.recordCount(g); ++r) {
            w.lit("\t");
            RecordStore::Cursor cur = rs.cells(g, r);
            std::string_view cell;
            for (int width : widths) {
                if (!cur.next(cell)) cell = std::string_view();
                w.field(cell, width);
            }
            w.eol();
            rowDone();
        }
        w.eol();
    }
    for (const std::string& t : p.tails) {
        w.lit("\t");
        w.text(t);
        w.eol();
        w.eol();
    }
}

void RepPortBase::outputGrpInfo_txt(OutSink& os, int page, int grp) {
    textout::Writer w(os, m_options.encoding);
    const RepPage& p = m_pages[page];
    w.lit("\t");
    for (const RepCell& c : p.grpTitles)
        w.field(c.text, c.width);
    w.eol();
    w.lit("\t");
    if (grp < int(p.grpTexts.size())) {
        const auto& texts = p.grpTexts[grp];
        for (size_t k = 0; k < texts.size(); ++k)
            w.field(texts[k], k < p.grpTitles.size() ? p.grpTitles[k].width : kDefaultWidth);
    }
    w.eol();
    w.eol();
}

void RepPortBase::outputHeaders_txt(OutSink& os, int page) {
    textout::Writer w(os, m_options.encoding);
    const RepPage& p = m_pages[page];
    const std::vector<int> widths = columnWidths(page);
    auto headerText = [&](size_t c) -> std::string_view {
        return (!p.headers.empty() && c < p.headers[0].size()) ? std::string_view(p.headers[0][c].text)
                                                               : std::string_view();
    };
    w.lit("\t");
    for (size_t c = 0; c < widths.size(); ++c)
        w.field(headerText(c), widths[c]);
    w.eol();
    w.lit("\t");
    for (size_t c = 0; c < widths.size(); ++c) {
        const size_t n = w.width(headerText(c));
        if (n < size_t(std::max(widths[c], 0))) os.fill(' ', size_t(widths[c]) - n);
        os.fill('-', n);
    }
    w.eol();
}
