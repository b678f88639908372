// The end of an output run: every requested file is written under a temporary name,
// then all replace the previous run's files, then the viewers start. A streamed run
// begins the files before the pages are built and hands each group over as it is done.
#include "pagewriters.h"
#include "vectorstate.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"

#include "db/dataproblems.h"

#include <QFileInfo>

#include <condition_variable>
#include <mutex>
#include <thread>

using textcodec::gb;

namespace {

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

struct RepPortBase::Output {
    bool text = false, html = false, xlsx = false;
    // Declared before the stream: the writer threads end before files and writers go.
    OutFileSet files;
    std::vector<std::pair<const char*, std::unique_ptr<PageWriter>>> writers; // step name, writer
    XlsxWriter* book = nullptr;
    ReportStream stream;
};

void RepPortBase::OutputEnd::operator()(Output* o) const {
    delete o;
}

RepPortBase::~RepPortBase() {
    abandonOutput();
}

void RepPortBase::abandonOutput() {
    m_out.reset(); // the writer threads end before anything they read goes
}

void RepPortBase::beginOutput(bool writeText, bool writeSheet) {
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
        for (const RepPage& p : m_pages)
            cells += size_t(p.cellCount());
        auto book = XlsxWriter::create(out->files, xlsxPath(), xlsxSetup(cells));
        out->book = book.get();
        out->writers.emplace_back(kXlsxStep, std::move(book));
    }
    for (auto& w : out->writers)
        out->stream.add(w.second.get());
    m_out = std::move(out);
}

bool RepPortBase::keepsExact() const {
    return !m_out || m_out->xlsx;
}

void RepPortBase::groupDone(int page, int grp) {
    if (!m_out) return;
    RepPage& p = m_pages[size_t(page)];
    // Groups go in order; one can leave the model alone only when no later group has
    // begun (skipped groups before it are empty).
    if (p.ended || grp < p.handedGroups || grp >= p.records.groupCount() ||
        p.records.totalRecords() != size_t(p.records.recordCount(grp)))
        return;
    handOver(page, grp, p.records.takeGroup(grp));
}

void RepPortBase::adoptGroup(int page, int grp, RecordStore&& rs) {
    RepPage& p = m_pages[size_t(page)];
    if (!m_out || p.ended || grp < p.handedGroups || p.records.totalRecords() != 0)
        p.records.appendGroup(grp, rs, 0);
    else
        handOver(page, grp, std::move(rs));
}

void RepPortBase::handOver(int page, int grp, RecordStore&& last) {
    RepPage& p = m_pages[size_t(page)];
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

void RepPortBase::buildGroups(int r, int n, const char* stepUtf8, const GroupBuild& build) {
    struct Built {
        RecordStore rs;
        std::vector<dataproblems::Problem> problems;
        std::exception_ptr error;
        bool done = false;
    };
    const bool keep = keepsExact();
    auto buildOne = [&build, keep](int i, Built& b) {
        dataproblems::List local;
        dataproblems::List* outer = dataproblems::current();
        dataproblems::setCurrent(&local);
        b.rs.resizeGroups(1);
        b.rs.keepExact(keep);
        try {
            build(i, b.rs);
        } catch (...) {
            b.error = std::current_exception();
        }
        dataproblems::setCurrent(outer);
        b.problems = local.entries();
    };
    std::vector<Built> ready(size_t(std::max(n, 0)));
    // The other thread builds the odd groups, at most a few ahead of this one.
    constexpr int kAhead = 2;
    std::mutex m;
    std::condition_variable cv;
    int taken = 0; // groups this thread has adopted
    bool stop = false;
    std::thread helper;
    const bool twoThreads = m_out && n > 1 && std::thread::hardware_concurrency() > 1;
    if (twoThreads)
        helper = std::thread([&] {
            clearVectorUpperState();
            for (int i = 1; i < n; i += 2) {
                {
                    std::unique_lock<std::mutex> lock(m);
                    cv.wait(lock, [&] { return stop || i - taken <= kAhead; });
                    if (stop) return;
                }
                Built b;
                buildOne(i, b);
                std::lock_guard<std::mutex> lock(m);
                ready[size_t(i)] = std::move(b);
                ready[size_t(i)].done = true;
                cv.notify_all();
            }
        });
    struct Join {
        std::thread& t;
        std::mutex& m;
        std::condition_variable& cv;
        bool& stop;
        ~Join() {
            {
                std::lock_guard<std::mutex> lock(m);
                stop = true;
            }
            cv.notify_all();
            if (t.joinable()) t.join();
        }
    } join{helper, m, cv, stop};

    clearVectorUpperState();
    for (int i = 0; i < n; ++i) {
        Built b;
        if (twoThreads && i % 2 == 1) {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return ready[size_t(i)].done; });
            b = std::move(ready[size_t(i)]);
        } else {
            buildOne(i, b);
        }
        for (dataproblems::Problem& p : b.problems)
            dataproblems::report(std::move(p));
        if (b.error) std::rethrow_exception(b.error);
        adoptGroup(r, i, std::move(b.rs));
        {
            std::lock_guard<std::mutex> lock(m);
            taken = i + 1;
        }
        cv.notify_all();
        checkRun(stepUtf8, i + 1, n, true);
    }
}

void RepPortBase::endPage(int page) {
    RepPage& p = m_pages[size_t(page)];
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

void RepPortBase::showResult(bool writeText, bool writeSheet, bool openViewers) {
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

std::vector<std::string> RepPortBase::viewerFailures() const {
    return m_viewer ? m_viewer->failures() : std::vector<std::string>();
}

void RepPortBase::finishOutput() {
    Output& out = *m_out;
    for (size_t i = 0; i < m_pages.size(); ++i)
        endPage(int(i));
    out.stream.finish(m_pages);

    long total = 0;
    for (const RepPage& p : m_pages)
        total += long(p.rowCount());
    // The writers run side by side; progress follows them one after the other.
    for (size_t k = 0; k < out.writers.size(); ++k) {
        const char* step = out.writers[k].first;
        const PageWriter& w = *out.writers[k].second;
        checkRun(step, w.rowsWritten(), total);
        while (!out.stream.waitWriter(k, 20))
            checkRun(step, w.rowsWritten(), total);
        out.stream.raiseFailure();
        checkRun(step, w.rowsWritten(), total);
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
    for (RepPage& p : m_pages)
        if (p.handedGroups == 0) p.begun = p.ended = false;
}
