#include "log.h"

#include "errortext.h"
#include "textcodec.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>

namespace screport {
namespace {

LogHook& hook() {
    static LogHook h;
    return h;
}

bool rawTerminal() {
    static const bool raw = [] {
        const char* e = std::getenv("SCREPORT_LOG_ENCODING");
        return e && (strcasecmp(e, "gb18030") == 0 || strcasecmp(e, "gbk") == 0);
    }();
    return raw;
}

bool g_debug = false; // the program's entry turns it on for --debug

void writeLine(bool isError, const std::string& s) {
    if (!isError && !g_debug && !hook()) return;
    // Writers run on threads of their own; lines and hooks are not interleaved.
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    if (hook()) hook()(isError, s);
    if (!isError && !g_debug) return;
    std::ostream& os = isError ? std::cerr : std::cout;
    os << (rawTerminal() ? s : textcodec::toUtf8(s)) << std::endl;
}

} // namespace

void logDebug(const std::string& s) {
    writeLine(false, s);
}
void logError(const std::string& s) {
    writeLine(true, s);
}
void logDebugU(const char* utf8, const std::string& tail) {
    writeLine(false, textcodec::gb(utf8) + tail);
}
void logErrorU(const char* utf8, const std::string& tail) {
    writeLine(true, textcodec::gb(utf8) + tail);
}
void setLogHook(LogHook h) {
    hook() = std::move(h);
}
void setDebugEnabled(bool on) {
    g_debug = on;
}

} // namespace screport

void raiseError(const std::string& local8) {
    screport::logError(local8);
    throw ErrorText(local8);
}
