// Groups that leave the model while the output streams, and groups built apart, two at
// a time, for the run to take in order.
#include "repportbase.h"
#include "vectorstate.h"

#include "db/dataproblems.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// A group built apart: its records, the data problems it found, the error it raised.
struct Built {
    RecordStore rs;
    std::vector<dataproblems::Problem> problems;
    std::exception_ptr error;
    bool done = false;
};

// Builds group i with a problem list of its own, so that its problems reach the run's
// list in group order whichever thread built it.
Built buildOne(const RepPortBase::GroupBuild& build, bool keepExact, int i) {
    Built b;
    dataproblems::List local;
    dataproblems::List* outer = dataproblems::current();
    dataproblems::setCurrent(&local);
    b.rs.resizeGroups(1);
    b.rs.keepExact(keepExact);
    try {
        build(i, b.rs);
    } catch (...) {
        b.error = std::current_exception();
    }
    dataproblems::setCurrent(outer);
    b.problems = local.entries();
    return b;
}

// Builds the odd groups of [0, n) on a thread of its own, at most a few ahead of the
// groups taken; stops and joins when it goes.
class OddGroups {
  public:
    OddGroups(const RepPortBase::GroupBuild& build, bool keepExact, int n) : m_ready(size_t(n)) {
        m_thread = std::thread([this, &build, keepExact, n] {
            clearVectorUpperState();
            for (int i = 1; i < n; i += 2) {
                {
                    std::unique_lock<std::mutex> lock(m_mutex);
                    m_cv.wait(lock, [&] { return m_stop || i - m_taken <= kAhead; });
                    if (m_stop) return;
                }
                Built b = buildOne(build, keepExact, i);
                std::lock_guard<std::mutex> lock(m_mutex);
                m_ready[size_t(i)] = std::move(b);
                m_ready[size_t(i)].done = true;
                m_cv.notify_all();
            }
        });
    }
    ~OddGroups() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }
    // Group i, once built.
    Built take(int i) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return m_ready[size_t(i)].done; });
        return std::move(m_ready[size_t(i)]);
    }
    // The groups before `count` are in the page.
    void taken(int count) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_taken = count;
        }
        m_cv.notify_all();
    }

  private:
    static constexpr int kAhead = 2;
    std::vector<Built> m_ready;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_taken = 0;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

void RepPortBase::groupDone(int page, int grp) {
    if (!streaming()) return;
    RepPage& p = m_pages[size_t(page)];
    // Groups go in order; one can leave the model alone only when no later group has
    // begun (skipped groups before it are empty).
    if (p.ended || grp < p.handedGroups || grp >= p.records.groupCount() ||
        p.records.totalRecords() != size_t(p.records.recordCount(grp)))
        return;
    m_sink->handOver(page, p, grp, p.records.takeGroup(grp));
}

void RepPortBase::adoptGroup(int page, int grp, RecordStore&& rs) {
    RepPage& p = m_pages[size_t(page)];
    if (!streaming() || p.ended || grp < p.handedGroups || p.records.totalRecords() != 0)
        p.records.appendGroup(grp, rs, 0);
    else
        m_sink->handOver(page, p, grp, std::move(rs));
}

void RepPortBase::buildGroups(int r, int n, const char* stepUtf8, const GroupBuild& build) {
    const bool keep = keepsExact();
    std::unique_ptr<OddGroups> odd;
    if (streaming() && n > 1 && std::thread::hardware_concurrency() > 1)
        odd = std::make_unique<OddGroups>(build, keep, n);
    clearVectorUpperState();
    for (int i = 0; i < n; ++i) {
        Built b = odd && i % 2 == 1 ? odd->take(i) : buildOne(build, keep, i);
        for (dataproblems::Problem& p : b.problems)
            dataproblems::report(std::move(p));
        if (b.error) std::rethrow_exception(b.error);
        adoptGroup(r, i, std::move(b.rs));
        if (odd) odd->taken(i + 1);
        checkRun(stepUtf8, i + 1, n, true);
    }
}
