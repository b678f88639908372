// The output run: every requested file is written under a temporary name, then all
// replace the previous run's files, then the viewers start. A streamed run begins the
// files before the pages are built and takes each group as it is done.
#include "pagewriters.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <strings.h>

#include <algorithm>
#include <cstdlib>

using textcodec::gb;

namespace {

bool endsWithSeparator(const std::string& s) {
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

// A viewer starts in a folder of its own choosing; a relative path would not lead it here.
std::string absolute8(const std::string& path8) {
    if (path8.empty()) return path8;
    return textcodec::toLocal8(QFileInfo(textcodec::fromLocal8(path8)).absoluteFilePath());
}

// A group that left the model: its records and heading texts, kept until every writer
// has written it.
struct HandedGroup {
    RecordStore records;
    std::vector<std::string> texts;
};

} // namespace

struct ReportOutput::Output {
    bool text = false, html = false, xlsx = false;
    // Declared before the stream: the writer threads end before files and writers go.
    OutFileSet files;
    std::vector<std::pair<const char*, std::unique_ptr<PageWriter>>> writers; // step name, writer
    XlsxWriter* book = nullptr;
    ReportStream stream;
};

void ReportOutput::OutputEnd::operator()(Output* o) const {
    delete o;
}

ReportOutput::ReportOutput(RepPortBase& model, const std::string& projectDir)
    : m_model(model), m_viewer(Viewer::platform()), m_strTemplateDir(findTemplateDir(projectDir)),
      m_strTempDir(tempDirOf(projectDir)), m_options(OutputOptions::fromEnvironment()) {
    m_model.setSink(this);
}

ReportOutput::~ReportOutput() {
    m_out.reset(); // the writer threads end before anything they read goes
    m_model.setSink(nullptr);
}

std::string ReportOutput::tempDirOf(const std::string& projectDir) {
    std::string dir = projectDir;
    if (!dir.empty() && !endsWithSeparator(dir)) dir += QDir::separator().toLatin1();
    return dir + "temp" + QDir::separator().toLatin1();
}

void ReportOutput::setTempDir(const std::string& dir) {
    m_strTempDir = dir;
    if (!dir.empty() && !endsWithSeparator(dir)) m_strTempDir += QDir::separator().toLatin1();
}

std::string ReportOutput::findTemplateDir(const std::string& projectDir) {
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

void ReportOutput::beginOutput(bool writeText, bool writeSheet) {
    std::unique_ptr<Output, OutputEnd> out(new Output);
    out->text = writeText;
    out->html = writeSheet && m_options.html;
    out->xlsx = writeSheet && m_options.xlsx;
    if (!out->text && !out->html && !out->xlsx) return;

    // A template that cannot be read ends the run before any file is touched.
    if (out->html) loadTemplates();
    if (!makeDirs()) screport::logErrorU("无法创建输出目录：", m_strTempDir);
    // Temporary files of runs that were killed; those of a run still going stay.
    removeStaleParts(m_strTempDir);
    const std::string folder = htmlPath().substr(0, htmlPath().rfind('.')) + ".files";
    if (QFileInfo(textcodec::fromLocal8(folder)).isDir()) removeStaleParts(folder);

    if (out->text) {
        OutFile& f = out->files.add(textPath());
        if (f.failed()) raiseError(gb("无法写入文件：") + textPath());
        out->writers.emplace_back(kTextStep, makeTextWriter(f, m_options.encoding));
    }
    if (out->html)
        out->writers.emplace_back(
            kWorkbookStep,
            makeWorkbookWriter(out->files, htmlPath(), m_options.encoding, m_templates, m_nHtmlSheetBytes));
    if (out->xlsx) {
        size_t cells = m_cellEstimate;
        for (const RepPage& p : m_model.pages())
            cells += size_t(p.cellCount());
        auto book = XlsxWriter::create(out->files, xlsxPath(), xlsxSetup(cells));
        out->book = book.get();
        out->writers.emplace_back(kXlsxStep, std::move(book));
    }
    for (auto& w : out->writers)
        out->stream.add(w.second.get());
    m_out = std::move(out);
}

bool ReportOutput::keepsExact() const {
    return !m_out || m_out->xlsx;
}

void ReportOutput::handOver(int page, RepPage& p, int grp, RecordStore&& last) {
    m_out->stream.raiseFailure();
    if (!p.begun) {
        m_out->stream.beginPage(page, p);
        p.begun = true;
    }
    for (int g = p.handedGroups; g <= grp; ++g) {
        auto h = std::make_shared<HandedGroup>();
        if (g == grp)
            h->records = std::move(last);
        else
            h->records.resizeGroups(1); // skipped, empty
        if (g < int(p.grpTexts.size())) h->texts.swap(p.grpTexts[size_t(g)]);
        p.handedRows += (long long)h->records.totalRecords();
        p.handedCells += (long long)h->records.totalCells();
        ++p.handedGroups;
        m_out->stream.group(page, p, GroupRef{g, &h->texts, &h->records, 0}, h);
    }
}

void ReportOutput::endPage(int page, RepPage& p) {
    if (p.ended) return;
    if (!p.begun) m_out->stream.beginPage(page, p);
    p.begun = true;
    for (int g = p.handedGroups; g < p.records.groupCount(); ++g)
        m_out->stream.group(
            page, p,
            GroupRef{g, g < int(p.grpTexts.size()) ? &p.grpTexts[size_t(g)] : nullptr, &p.records, g},
            nullptr);
    m_out->stream.endPage(page, p);
    p.ended = true;
}

void ReportOutput::showResult(bool writeText, bool writeSheet, bool openViewers) {
    if (!m_out) beginOutput(writeText, writeSheet);
    if (!m_out) return;
    try {
        finishOutput();
    } catch (...) {
        m_out.reset(); // the writers stop and their temporary files go
        throw;
    }
    const bool text = m_out->text, html = m_out->html, xlsx = m_out->xlsx;
    m_out.reset();

    if (!openViewers || !m_viewer) return;
    m_viewer->clearFailures();
    if (text) m_viewer->openText(absolute8(textPath()));
    if (html || xlsx)
        m_viewer->openSheet(html ? absolute8(htmlPath()) : std::string(),
                            xlsx ? absolute8(xlsxPath()) : std::string());
}

std::vector<std::string> ReportOutput::viewerFailures() const {
    return m_viewer ? m_viewer->failures() : std::vector<std::string>();
}

void ReportOutput::finishOutput() {
    Output& out = *m_out;
    std::deque<RepPage>& pages = m_model.pages();
    for (size_t i = 0; i < pages.size(); ++i)
        endPage(int(i), pages[i]);
    out.stream.finish(pages);

    long total = 0;
    for (const RepPage& p : pages)
        total += long(p.rowCount());
    // The writers run side by side; progress follows them one after the other.
    for (size_t k = 0; k < out.writers.size(); ++k) {
        const char* step = out.writers[k].first;
        const PageWriter& w = *out.writers[k].second;
        checkRun(step, w.rowsWritten(), total, false, false);
        while (!out.stream.waitWriter(k, 20))
            checkRun(step, w.rowsWritten(), total, false, false);
        out.stream.raiseFailure();
        checkRun(step, w.rowsWritten(), total, false, false);
    }
    if (out.book) {
        // A step of its own: the rows are all written, and the bar should say why it waits.
        long last = 0;
        out.book->pack([&](long long done, long long all) {
            last = long(all);
            checkRun(kXlsxPackStep, long(done), long(all), false, true);
        });
        checkRun(kXlsxPackStep, std::max(last, 1L), std::max(last, 1L), false,
                 true); // whole, even unmeasured
    }
    // Nothing has replaced an earlier file yet; from here on the run is complete.
    if (m_pObserver && m_pObserver->cancelled()) raiseError(gb("输出已取消"));
    if (m_problemList) {
        const std::string list = m_problemList();
        if (list.empty())
            out.files.removeWithSet(problemsPath());
        else
            out.files.add(problemsPath()).write(list);
    }
    out.files.finishAll();
    out.files.renameAll();
    screport::logDebug("temp file is " + textPath());
    // A model written whole can be written again.
    for (RepPage& p : pages)
        if (p.handedGroups == 0) p.begun = p.ended = false;
}

OutputOptions OutputOptions::fromEnvironment() {
    OutputOptions o;
    if (const char* e = std::getenv("SCREPORT_ENCODING")) {
        if (!strcasecmp(e, "utf-8") || !strcasecmp(e, "utf8")) o.encoding = OutputEncoding::Utf8;
    }
    return o;
}

void ReportOutput::checkRun(const char* whatUtf8, long done, long total, bool faults, bool bytes) {
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
