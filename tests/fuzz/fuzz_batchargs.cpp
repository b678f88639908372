// Random command lines through the batch mode on a small demo case. Lines the option
// parser itself ends the process on (unknown options, missing values, --help) are
// left out: that is the parser's documented way out, not a fault.
#include "app/batchmode.h"
#include "casegen/casegen.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unistd.h>

namespace {
std::string g_db, g_dir;
const std::set<std::string> kFlags = {"batch", "no-open", "open", "live", "debug"};
const std::set<std::string> kValued = {"reports", "faults", "items", "units", "group", "format", "encoding"};

bool parserWouldExit(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") break;
        if (a.size() < 2 || a[0] != '-') continue;
        std::string n = a.substr(a[1] == '-' ? 2 : 1);
        const size_t eq = n.find('=');
        const bool hasValue = eq != std::string::npos;
        if (hasValue) n.resize(eq);
        if (a[1] != '-' && n.size() != 1) return true; // single-dash clusters
        if (kFlags.count(n)) {
            if (hasValue) return true;
            continue;
        }
        if (!kValued.count(n)) return true;
        if (!hasValue && ++i >= args.size()) return true;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/fuzz-batch-XXXXXX";
    g_dir = mkdtemp(tmpl);
    g_db = g_dir + "/demo.db";
    std::string err;
    if (!casegen::makeDemo(g_db, &err)) {
        std::fprintf(stderr, "demo: %s\n", err.c_str());
        std::abort();
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::string> args = {"screport", "--batch", g_db, g_dir + "/p"};
    // The case: a demo case name or number, or random text.
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        args.push_back(
            casegen::demo::kCaseNames[in.ConsumeIntegralInRange(0, casegen::demo::kCaseCount - 1)]);
        break;
    case 1:
        args.push_back(std::to_string(in.ConsumeIntegralInRange(-2, 9)));
        break;
    default:
        args.push_back(in.ConsumeRandomLengthString(20));
    }
    static const char* const opts[] = {"--reports", "--faults",   "--items", "--units", "--group",
                                       "--format",  "--encoding", "--live",  "--debug", "--strict"};
    static const char* const words[] = {
        "all",   "summary", "distribution", "shortbra",   "busvol", "linecur", "viz",  "pu",
        "named", "txt",     "html",         "xlsx",       "none",   "area",    "zone", "station",
        "utf-8", "gb18030", "viz=2,0",      "busvol=all", "东山1",  "L2-4_50", ",",    "=",
        "",      "1,2"};
    for (int n = in.ConsumeIntegralInRange(0, 6); n > 0 && in.remaining_bytes(); --n) {
        args.push_back(opts[in.ConsumeIntegralInRange<size_t>(0, std::size(opts) - 1)]);
        if (in.ConsumeBool())
            args.push_back(words[in.ConsumeIntegralInRange<size_t>(0, std::size(words) - 1)]);
        else
            args.push_back(in.ConsumeRandomLengthString(30));
    }
    for (const std::string& a : args)
        if (a.find('\0') != std::string::npos) return 0;
    if (parserWouldExit(std::vector<std::string>(args.begin() + 1, args.end()))) return 0;
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = int(args.size());
    const int code = runBatch(argc, argv.data());
    // 0 written, 1 failed, 2 usage, 3 no database, 4 written with data problems.
    if (code < 0 || code > 4) std::abort();
    return 0;
}
