// The fixed-width text report.
#include "pagewriters.h"

#include "db/errortext.h"
#include "db/textcodec.h"
#include "textout.h"

namespace {

constexpr int kDefaultWidth = 16;

class TextWriter : public PageWriter {
  public:
    TextWriter(OutSink& os, OutputEncoding enc) : m_os(os), m_w(os, enc) {}

    void beginPage(int, const RepPage& p) override {
        for (const std::string& t : p.titles)
            line(t);
        m_widths.assign(size_t(std::max(p.m_nColCount, 0)), kDefaultWidth);
        if (!p.headers.empty())
            for (size_t c = 0; c < m_widths.size() && c < p.headers[0].size(); ++c)
                m_widths[c] = p.headers[0][c].width;
    }

    void group(int, const RepPage& p, const GroupRef& g) override {
        if (!p.grpTitles.empty()) groupHeading(p, g);
        headers(p);
        const RecordStore& rs = *g.rs;
        for (int r = 0; r < rs.recordCount(g.grp); ++r) {
            m_w.lit("\t");
            RecordStore::Cursor cur = rs.cells(g.grp, r);
            std::string_view cell;
            for (int width : m_widths) {
                if (!cur.next(cell)) cell = std::string_view();
                m_w.field(cell, width);
            }
            m_w.eol();
            rowDone();
        }
        m_w.eol();
    }

    void endPage(int, const RepPage& p) override {
        for (const std::string& t : p.tails)
            line(t);
        m_os.crlf();
        m_os.crlf();
    }

  private:
    void line(const std::string& t) {
        m_w.lit("\t");
        m_w.text(t);
        m_w.eol();
        m_w.eol();
    }

    void groupHeading(const RepPage& p, const GroupRef& g) {
        m_w.lit("\t");
        for (const RepCell& c : p.grpTitles)
            m_w.field(c.text, c.width);
        m_w.eol();
        m_w.lit("\t");
        if (g.texts) {
            const auto& texts = *g.texts;
            for (size_t k = 0; k < texts.size(); ++k)
                m_w.field(texts[k], k < p.grpTitles.size() ? p.grpTitles[k].width : kDefaultWidth);
        }
        m_w.eol();
        m_w.eol();
    }

    void headers(const RepPage& p) {
        auto headerText = [&](size_t c) -> std::string_view {
            return (!p.headers.empty() && c < p.headers[0].size()) ? std::string_view(p.headers[0][c].text)
                                                                   : std::string_view();
        };
        m_w.lit("\t");
        for (size_t c = 0; c < m_widths.size(); ++c)
            m_w.field(headerText(c), m_widths[c]);
        m_w.eol();
        m_w.lit("\t");
        for (size_t c = 0; c < m_widths.size(); ++c) {
            const size_t n = m_w.width(headerText(c));
            if (n < size_t(std::max(m_widths[c], 0))) m_os.fill(' ', size_t(m_widths[c]) - n);
            m_os.fill('-', n);
        }
        m_w.eol();
    }

    OutSink& m_os;
    textout::Writer m_w;
    std::vector<int> m_widths;
};

} // namespace

std::unique_ptr<PageWriter> makeTextWriter(OutSink& os, OutputEncoding enc) {
    return std::make_unique<TextWriter>(os, enc);
}
