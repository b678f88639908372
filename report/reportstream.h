#pragma once
// The report as a stream: a builder hands over each page's head, then its groups one at
// a time, then the page's end. Every writer consumes the stream on a thread of its own,
// so building and writing overlap and only the groups in flight are held in memory.
#include "db/export.h"
#include "report/recordstore.h"

#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <vector>

struct RepPage;

// One group of a page: its heading texts and its records (group `grp` of `rs`).
struct GroupRef {
    int index = 0; // group number within the page
    const std::vector<std::string>* texts = nullptr;
    const RecordStore* rs = nullptr;
    int grp = 0;
    size_t records() const { return size_t(rs->recordCount(grp)); }
};

// Shared by the writers of one run: cancelling, and rows written per writer.
class StreamControl {
  public:
    // Throws ErrorText "输出已取消" once the run is cancelled.
    void checkCancel() const;
    void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> m_cancelled{false};
};

// A writer of the report stream. The page's head (titles, headers, group titles) is
// complete at beginPage and does not change; a group's data lives until group() returns.
class SCREPORT_CORE_EXPORT PageWriter {
  public:
    virtual ~PageWriter() = default;
    virtual void beginPage(int page, const RepPage& p) = 0;
    virtual void group(int page, const RepPage& p, const GroupRef& g) = 0;
    virtual void endPage(int page, const RepPage& p) = 0;
    // After the last page; `pages` is complete and no longer changes.
    virtual void finish(const std::deque<RepPage>& pages) { (void)pages; }

    void setControl(const StreamControl* c) { m_control = c; }
    long rowsWritten() const { return m_rows.load(std::memory_order_relaxed); }

  protected:
    // Counts a written row; every 256 rows a cancelled run stops the writer.
    void rowDone() {
        const long n = m_rows.fetch_add(1, std::memory_order_relaxed) + 1;
        if ((n & 0xFF) == 0 && m_control) m_control->checkCancel();
    }

  private:
    const StreamControl* m_control = nullptr;
    std::atomic<long> m_rows{0};
};

// Feeds writers, each on its own thread. Events reach every writer in the order they
// were sent. A writer that fails stops taking events; its error is raised on the
// sending thread at the next send or at finish().
class SCREPORT_CORE_EXPORT ReportStream {
  public:
    ReportStream();
    // Stops the writers (cancelled) when finish() was not reached.
    ~ReportStream();
    ReportStream(const ReportStream&) = delete;
    ReportStream& operator=(const ReportStream&) = delete;

    // Writers are added before the first event; the stream does not own them.
    void add(PageWriter* w);
    void beginPage(int page, const RepPage& p);
    // `keep` holds the group's data until every writer is done with it.
    void group(int page, const RepPage& p, const GroupRef& g, std::shared_ptr<const void> keep);
    void endPage(int page, const RepPage& p);
    // Sends the end of the stream to every writer and returns; waitWriter waits for them.
    void finish(const std::deque<RepPage>& pages);
    // True once writer k has ended, false when `ms` milliseconds passed first.
    bool waitWriter(size_t k, int ms);
    // Raises the first writer's error, if any.
    void raiseFailure();
    // Stops every writer and waits for them; nothing more is written.
    void abandon();
    StreamControl& control() { return m_control; }

  private:
    struct Worker;
    StreamControl m_control;
    std::vector<std::unique_ptr<Worker>> m_workers;
    bool m_finished = false;
};
