#include "warningsink.h"

#include "db/log.h"

#include <atomic>

namespace {

class StreamSink : public WarningSink {
  public:
    void warn(const std::string&, const std::string& text8) override { screport::logError(text8); }
};

StreamSink g_streamSink;
WarningSink* g_sink = nullptr;
std::atomic<long long> g_count{0};

} // namespace

void setWarningSink(WarningSink* sink) {
    g_sink = sink;
}

WarningSink* warningSink() {
    return g_sink ? g_sink : &g_streamSink;
}

void dataWarning(const std::string& title8, const std::string& text8) {
    ++g_count;
    warningSink()->warn(title8, text8);
}

long long warningCount() {
    return g_count.load();
}
