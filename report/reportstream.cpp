#include "reportstream.h"

#include "vectorstate.h"

#include "db/errortext.h"
#include "db/textcodec.h"

#include <condition_variable>
#include <mutex>
#include <thread>

void StreamControl::checkCancel() const {
    // Said once by the run that was cancelled, not by every writer.
    if (cancelled()) throw ErrorText(textcodec::gb("输出已取消"));
}

namespace {
// Events queued per writer before the builder waits: enough to keep the writers busy,
// few enough that a large grid's groups are not all held at once.
constexpr size_t kMaxQueued = 3;
} // namespace

struct ReportStream::Worker {
    enum Kind { Begin, Group, End, Finish };
    struct Event {
        Kind kind;
        int page;
        const RepPage* p;
        GroupRef g;
        std::shared_ptr<const void> keep;
        const std::deque<RepPage>* pages;
    };

    explicit Worker(PageWriter* w) : writer(w) {
        thread = std::thread([this] {
            clearVectorUpperState();
            loop();
        });
    }
    ~Worker() { stop(); }

    void send(Event e) {
        std::unique_lock<std::mutex> lock(m);
        full.wait(lock, [&] { return queue.size() < kMaxQueued || ended || stopping; });
        if (ended || stopping) return;
        queue.push_back(std::move(e));
        more.notify_one();
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(m);
            stopping = true;
            queue.clear();
        }
        more.notify_all();
        full.notify_all();
        if (thread.joinable()) thread.join();
    }

    bool wait(int ms) {
        std::unique_lock<std::mutex> lock(m);
        return endedCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return ended; });
    }

    void loop() {
        for (;;) {
            Event e;
            {
                std::unique_lock<std::mutex> lock(m);
                more.wait(lock, [&] { return !queue.empty() || stopping; });
                if (stopping) break;
                e = std::move(queue.front());
                queue.pop_front();
            }
            full.notify_one();
            try {
                switch (e.kind) {
                case Begin:
                    writer->beginPage(e.page, *e.p);
                    break;
                case Group:
                    writer->group(e.page, *e.p, e.g);
                    break;
                case End:
                    writer->endPage(e.page, *e.p);
                    break;
                case Finish:
                    writer->finish(*e.pages);
                    break;
                }
            } catch (...) {
                std::lock_guard<std::mutex> lock(m);
                error = std::current_exception();
                e.kind = Finish; // a failed writer takes nothing more
            }
            if (e.kind == Finish) break;
        }
        std::lock_guard<std::mutex> lock(m);
        ended = true;
        queue.clear();
        full.notify_all();
        endedCv.notify_all();
    }

    PageWriter* writer;
    std::thread thread;
    std::mutex m;
    std::condition_variable more, full, endedCv;
    std::deque<Event> queue;
    bool ended = false, stopping = false;
    std::exception_ptr error;
};

ReportStream::ReportStream() = default;

ReportStream::~ReportStream() {
    if (!m_finished) abandon();
}

void ReportStream::add(PageWriter* w) {
    w->setControl(&m_control);
    m_workers.push_back(std::make_unique<Worker>(w));
}

void ReportStream::beginPage(int page, const RepPage& p) {
    raiseFailure();
    for (auto& w : m_workers)
        w->send({Worker::Begin, page, &p, {}, nullptr, nullptr});
}

void ReportStream::group(int page, const RepPage& p, const GroupRef& g, std::shared_ptr<const void> keep) {
    raiseFailure();
    for (auto& w : m_workers)
        w->send({Worker::Group, page, &p, g, keep, nullptr});
}

void ReportStream::endPage(int page, const RepPage& p) {
    raiseFailure();
    for (auto& w : m_workers)
        w->send({Worker::End, page, &p, {}, nullptr, nullptr});
}

void ReportStream::finish(const std::deque<RepPage>& pages) {
    raiseFailure();
    for (auto& w : m_workers)
        w->send({Worker::Finish, 0, nullptr, {}, nullptr, &pages});
}

bool ReportStream::waitWriter(size_t k, int ms) {
    return m_workers[k]->wait(ms);
}

void ReportStream::raiseFailure() {
    for (auto& w : m_workers) {
        std::exception_ptr e;
        {
            std::lock_guard<std::mutex> lock(w->m);
            e = w->error;
        }
        if (e) std::rethrow_exception(e);
    }
}

void ReportStream::abandon() {
    m_control.cancel();
    for (auto& w : m_workers)
        w->stop();
    m_finished = true;
}
