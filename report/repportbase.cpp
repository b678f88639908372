#include "repportbase.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

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

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

} // namespace

// ---------------------------------------------------------------- options

OutputOptions OutputOptions::fromEnvironment() {
    OutputOptions o;
    if (const char* e = std::getenv("SCREPORT_ENCODING")) {
        if (!strcasecmp(e, "utf-8") || !strcasecmp(e, "utf8")) o.encoding = OutputEncoding::Utf8;
    }
    return o;
}

// ---------------------------------------------------------------- construction

RepPortBase::RepPortBase(const std::string& projectDir, int caseNo, const std::set<std::string>& chosenKeys,
                         const std::map<std::string, std::vector<std::string>>& itemLabels,
                         const std::map<std::string, std::vector<int>>& itemSel)
    : m_strCaseNo(std::to_string(caseNo)), m_pSelSet(chosenKeys), m_pItemLabels(itemLabels),
      m_pItemSel(itemSel), m_options(OutputOptions::fromEnvironment()) {
    m_strTemplateDir = findTemplateDir(projectDir);
    m_strTempDir = tempDirOf(projectDir);
    m_viewer = Viewer::platform();
}

std::string RepPortBase::tempDirOf(const std::string& projectDir) {
    std::string dir = projectDir;
    if (!dir.empty() && !endsWithSeparator(dir)) dir += QDir::separator().toLatin1();
    return dir + "temp" + QDir::separator().toLatin1();
}

void RepPortBase::setTempDir(const std::string& dir) {
    m_strTempDir = dir;
    if (!dir.empty() && !endsWithSeparator(dir)) m_strTempDir += QDir::separator().toLatin1();
}

RepPortBase::RepPortBase(const RepPortBase& o)
    : m_pages(o.m_pages), m_strCaseNo(o.m_strCaseNo), m_strCaseName(o.m_strCaseName), m_pSelSet(o.m_pSelSet),
      m_pItemLabels(o.m_pItemLabels), m_pItemSel(o.m_pItemSel), m_grpIndex(o.m_grpIndex),
      m_bGrpArea(o.m_bGrpArea), m_bGrpZone(o.m_bGrpZone), m_bGrpST(o.m_bGrpST), m_nGrpMode(o.m_nGrpMode),
      m_bPU(o.m_bPU), m_viewer(Viewer::platform()), m_strTemplateDir(o.m_strTemplateDir),
      m_strTempDir(o.m_strTempDir), m_options(o.m_options), m_pObserver(o.m_pObserver),
      m_busLocations(o.m_busLocations) {}

void RepPortBase::initialize() {
    m_bGrpArea = m_bGrpZone = m_bGrpST = false;
    m_nGrpMode = 0;
    m_bPU = true;
}

bool RepPortBase::isSelect(const std::string& name) const {
    return m_pSelSet.count(name) > 0;
}

void RepPortBase::setViewer(std::unique_ptr<Viewer> v) {
    m_viewer = std::move(v);
}

std::string RepPortBase::findTemplateDir(const std::string& projectDir) {
    QStringList overrides;
    if (!projectDir.empty()) overrides << textcodec::fromLocal8(projectDir) + "/rep_template";
    if (QCoreApplication::instance())
        overrides << QCoreApplication::applicationDirPath() + "/rep_template";
    else
        overrides << QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + "/rep_template";
    // Whatever stands under the name is the override; reading it shows whether it is whole.
    for (const QString& c : overrides) {
        const QFileInfo fi(c);
        if (fi.exists() || fi.isSymLink())
            return textcodec::toLocal8(QDir::cleanPath(fi.absoluteFilePath())) + "/";
    }
    return kBuiltinTemplates;
}

// ---------------------------------------------------------------- pages, headers

int RepPortBase::addRP(bool grouped) {
    // A streamed page is complete once the next one begins.
    if (m_out)
        for (size_t i = 0; i < m_pages.size(); ++i)
            endPage(int(i));
    m_pages.emplace_back();
    RepPage& p = m_pages.back();
    p.records.keepExact(keepsExact());
    if (!(grouped && (m_bGrpArea || m_bGrpZone || m_bGrpST))) p.records.resizeGroups(1);
    return int(m_pages.size()) - 1;
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

void RepPortBase::addHeader(int page, const char* text, int width, bool isID) {
    addHeader(page, std::string(text ? text : ""), width, isID);
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

int RepPortBase::getHeaderSize(int page) const {
    return int(m_pages[page].headers.size());
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

bool RepPortBase::isIDCol(int page, int col) const {
    const RepPage& p = m_pages[page];
    if (p.headers.empty() || col < 0 || col >= int(p.headers[0].size())) return false;
    return p.headers[0][col].isID;
}

int RepPortBase::getColCount(int page) const {
    const RepPage& p = m_pages[page];
    screport::logDebug("text col is " + std::to_string(p.m_nColCount));
    if (p.recIDs.empty()) return 0;
    int n = p.m_nColCount;
    for (const RepCell& c : p.recIDs[0])
        n -= c.colspan;
    return n;
}

// ---------------------------------------------------------------- titles, tails, group headings

void RepPortBase::addTitle(int page, const char* text) {
    m_pages[page].titles.emplace_back(text ? text : "");
}
void RepPortBase::addTitle(int page, const std::string& text) {
    m_pages[page].titles.push_back(text);
}
void RepPortBase::addTail(int page, const char* text) {
    m_pages[page].tails.emplace_back(text ? text : "");
}
void RepPortBase::addTail(int page, const std::string& text) {
    m_pages[page].tails.push_back(text);
}

void RepPortBase::addUnitTitle(int page) {
    addTitle(page, m_bPU ? gb("单位：p.u.") : gb("单位：kA\\kV\\MW\\Mvar"));
}

void RepPortBase::addPUnitTitle(int page) {
    addTitle(page, m_bPU ? gb("单位：p.u.") : gb("单位：MW"));
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

void RepPortBase::addGrpText(int page, int grp, const char* text) {
    m_pages[page].grpTexts[grp].emplace_back(text ? text : "");
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

void RepPortBase::addFixed(int page, int rec, double value, int prec, int grp) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, prec);
    if (r.ec == std::errc())
        m_pages[page].records.append(grp, rec, std::string_view(buf, size_t(r.ptr - buf)));
    else
        m_pages[page].records.append(grp, rec, fixedString(value, prec));
}

std::string RepPortBase::fixedText(double value, int prec) {
    return fixedString(value, prec);
}

std::string RepPortBase::percentText(double a, double b) {
    if (std::fabs(b) < 0.001) return "0.00";
    return fixedString(a / b * 100, 2);
}

// ---------------------------------------------------------------- progress

void RepPortBase::checkRun(const char* whatUtf8, long done, long total, bool faults, bool bytes) {
    if (!m_pObserver) return;
    if (whatUtf8 != m_stepKey) { // a new step: place it in the plan once
        m_stepKey = whatUtf8;
        m_step.what = gb(whatUtf8);
        m_step.no = 0;
        m_step.count = int(m_plan.size());
        double before = 0, all = 0;
        for (size_t i = 0; i < m_plan.size(); ++i) {
            if (m_plan[i].first == m_step.what && !m_step.no) {
                m_step.no = int(i) + 1;
                m_stepStart = before;
                m_stepWeight = m_plan[i].second;
            }
            before += m_plan[i].second;
            all += m_plan[i].second;
        }
        m_planWeight = all;
    }
    m_step.done = done;
    m_step.total = total;
    m_step.faults = faults;
    m_step.bytes = bytes;
    // A step the plan does not name keeps the bar where it is.
    if (m_step.no && m_planWeight > 0) {
        const double part = total > 0 ? std::min(1.0, double(done) / double(total)) : 0.0;
        m_step.overall = std::max(m_step.overall, (m_stepStart + m_stepWeight * part) / m_planWeight);
    }
    m_pObserver->step(m_step);
    if (m_pObserver->cancelled()) raiseError(gb("输出已取消"));
}
