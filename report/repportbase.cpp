#include "repportbase.h"

#include "db/log.h"
#include "db/textcodec.h"

#include <charconv>
#include <cmath>
#include <cstring>

using textcodec::gb;

namespace {

// Writes v with the chars_format into buf; to_chars with a precision gives exactly
// what printf gives for the same conversion.
size_t formatInto(char* buf, size_t cap, double v, std::chars_format f, int prec) {
    auto r = std::to_chars(buf, buf + cap, v, f, prec);
    if (r.ec != std::errc())
        return size_t(std::snprintf(buf, cap, f == std::chars_format::fixed ? "%.*f" : "%.*g", prec, v));
    return size_t(r.ptr - buf);
}

// Fixed notation; values too large for the stack buffer fall back to a string.
std::string fixedString(double v, int prec) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, prec);
    if (r.ec == std::errc()) return std::string(buf, size_t(r.ptr - buf));
    const int n = std::snprintf(nullptr, 0, "%.*f", prec, v);
    std::string s(size_t(n), '\0');
    std::snprintf(&s[0], size_t(n) + 1, "%.*f", prec, v);
    return s;
}

} // namespace

// ---------------------------------------------------------------- construction

RepPortBase::RepPortBase(int caseNo, const std::string& caseName, const std::set<std::string>& chosenKeys,
                         const std::map<std::string, std::vector<std::string>>& itemLabels,
                         const std::map<std::string, std::vector<int>>& itemSel)
    : m_strCaseNo(std::to_string(caseNo)), m_strCaseName(caseName), m_chosenKeys(chosenKeys),
      m_itemLabels(itemLabels), m_itemSel(itemSel) {}

RepPortBase::~RepPortBase() = default;

bool RepPortBase::isSelect(const std::string& name) const {
    return m_chosenKeys.count(name) > 0;
}

// ---------------------------------------------------------------- pages, headers

int RepPortBase::addRP(bool grouped) {
    // A streamed page is complete once the next one begins.
    if (streaming())
        for (size_t i = 0; i < m_pages.size(); ++i)
            m_sink->endPage(int(i), m_pages[i]);
    m_pages.emplace_back();
    RepPage& p = m_pages.back();
    p.records.keepExact(keepsExact());
    if (!(grouped && (m_bGrpArea || m_bGrpZone || m_bGrpST))) p.records.resizeGroups(1);
    return int(m_pages.size()) - 1;
}

void RepPortBase::setGrpInfo(bool byArea, bool byZone, bool byST) {
    m_bGrpArea = byArea;
    m_bGrpZone = byZone;
    m_bGrpST = byST;
}

void RepPortBase::setGrpSize(int page, int n) {
    RepPage& p = m_pages[page];
    p.records.resizeGroups(n);
    p.grpTexts.resize(size_t(std::max(n, 0)));
}

void RepPortBase::addHeader(int page, const std::string& text, int width, bool isID) {
    RepPage& p = m_pages[page];
    ++p.m_nColCount;
    if (p.headers.empty()) p.headers.emplace_back();
    p.headers[0].push_back(
        RepCell{text, isID, width, 1, 1, true, std::string(), false, std::string(), false, {}, {}, {}, {}});
}

void RepPortBase::addHeader(int page, int row, const char* text, int colspan, int rowspan,
                            const char* extra) {
    RepPage& p = m_pages[page];
    const std::string ex = extra ? extra : "";
    if (!ex.empty()) screport::logDebug("exrta:" + ex);
    if (row == 0) {
        p.m_nColCount += colspan;
        screport::logDebug("m_nColCount is " + std::to_string(p.m_nColCount));
    }
    if (int(p.headers.size()) < row + 1) p.headers.resize(size_t(row + 1));
    p.headers[row].push_back(RepCell{text ? text : "",
                                     false,
                                     16,
                                     colspan,
                                     rowspan,
                                     true,
                                     ex,
                                     false,
                                     std::string(),
                                     false,
                                     {},
                                     {},
                                     {},
                                     {}});
}

void setBusColumn(RepPage& p, int col, const std::string& prefix) {
    if (p.headers.empty() || col < 0 || col >= int(p.headers[0].size())) return;
    p.headers[0][col].bus = true;
    p.headers[0][col].busPrefix = prefix;
}

void setBusGroupTitle(RepPage& p, int idx, const std::string& prefix) {
    if (idx < 0 || idx >= int(p.grpTitles.size())) return;
    p.grpTitles[idx].bus = true;
    p.grpTitles[idx].busPrefix = prefix;
}

void setComplexColumn(RepPage& p, int col) {
    if (RepCell* c = xlsxCell(p, col, false)) c->complex = true;
}

RepCell* xlsxCell(RepPage& p, int col, bool groupTitle) {
    if (!groupTitle && p.headers.empty()) return nullptr;
    auto& v = groupTitle ? p.grpTitles : p.headers[0];
    return col >= 0 && col < int(v.size()) ? &v[size_t(col)] : nullptr;
}

// ---------------------------------------------------------------- titles, tails, group headings

void RepPortBase::addTitle(int page, const std::string& text) {
    m_pages[page].titles.push_back(text);
}
void RepPortBase::addTail(int page, const std::string& text) {
    m_pages[page].tails.push_back(text);
}

void RepPortBase::addGrpTitle(int page, const char* text, int width, bool flag) {
    m_pages[page].grpTitles.push_back(RepCell{text ? text : "",
                                              flag,
                                              width,
                                              1,
                                              1,
                                              true,
                                              std::string(),
                                              false,
                                              std::string(),
                                              false,
                                              {},
                                              {},
                                              {},
                                              {}});
}

void RepPortBase::addGrpText(int page, int grp, const std::string& text) {
    m_pages[page].grpTexts[grp].push_back(text);
}

// ---------------------------------------------------------------- records and cells

int RepPortBase::addRec(int page, int grp) {
    return m_pages[page].records.addRecord(grp);
}

int RepPortBase::addRec(int page, int n, int grp) {
    return m_pages[page].records.addRecords(grp, n);
}

void RepPortBase::addText(int page, int rec, const char* value, int grp) {
    m_pages[page].records.append(grp, rec, value ? std::string_view(value) : std::string_view());
}
void RepPortBase::addText(int page, int rec, const std::string& value, int grp) {
    m_pages[page].records.append(grp, rec, value);
}
void RepPortBase::addText(int page, int rec, const QString& value, int grp) {
    m_pages[page].records.append(grp, rec, textcodec::toLocal8(value));
}
void RepPortBase::addText(int page, int rec, const QByteArray& value, int grp) {
    m_pages[page].records.append(grp, rec, std::string_view(value.constData(), size_t(value.size())));
}
void RepPortBase::addText(int page, int rec, const QVariant& value, int grp) {
    m_pages[page].records.append(grp, rec, textcodec::toLocal8(value.toString()));
}

void RepPortBase::addText(int page, int rec, double value, int grp) {
    char buf[64];
    const size_t n = formatInto(buf, sizeof buf, value, std::chars_format::general, 6);
    m_pages[page].records.append(grp, rec, std::string_view(buf, n));
}

void RepPortBase::addIntText(int page, int rec, long long value, int grp) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    m_pages[page].records.append(grp, rec, std::string_view(buf, size_t(r.ptr - buf)));
}

void RepPortBase::addText(int page, int rec, const double* values, int n, int grp) {
    for (int i = 0; i < n; ++i)
        addText(page, rec, values[i], grp);
}

void RepPortBase::addText(int page, int rec, double a, double b, int grp) {
    m_pages[page].records.append(grp, rec, percentText(a, b));
}

std::string RepPortBase::fixedText(double value, int prec) {
    return fixedString(value, prec);
}

std::string RepPortBase::percentText(double a, double b) {
    if (std::fabs(b) < 0.001) return "0.00";
    return fixedString(a / b * 100, 2);
}

// ---------------------------------------------------------------- progress

void RepPortBase::checkRun(const char* whatUtf8, long done, long total, bool faults) {
    if (m_sink) m_sink->checkRun(whatUtf8, done, total, faults, false);
}
