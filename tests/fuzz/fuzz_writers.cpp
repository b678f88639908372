// Random report models through the text, HTML workbook and xlsx writers. Models keep
// the writers' contract (every record holds a text per column); texts are random bytes.
#include "report/reportoutput.h"
#include "sc/quantities.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDir>
#include <cstdlib>

namespace {
const std::set<std::string> kNoKeys;
const std::map<std::string, std::vector<std::string>> kNoLabels;
const std::map<std::string, std::vector<int>> kNoSel;
std::string g_dir;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char tmpl[] = "/tmp/fuzz-writers-XXXXXX";
    g_dir = std::string(mkdtemp(tmpl)) + "/";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    RepPortBase m(1, std::string(), kNoKeys, kNoLabels, kNoSel);
    ReportOutput out(m, g_dir);
    m.setUnitInfo(in.ConsumeBool());
    m.setGrpInfo(in.ConsumeBool(), in.ConsumeBool(), in.ConsumeBool());
    const int pages = in.ConsumeIntegralInRange(0, 3);
    for (int p = 0; p < pages; ++p) {
        const int page = m.addRP(false);
        for (int t = in.ConsumeIntegralInRange(0, 3); t > 0; --t)
            m.addTitle(page, in.ConsumeRandomLengthString(64));
        const int cols = in.ConsumeIntegralInRange(1, 6);
        for (int c = 0; c < cols; ++c)
            m.addHeader(page, in.ConsumeRandomLengthString(24), in.ConsumeIntegralInRange(0, 40),
                        in.ConsumeBool());
        const int groups = in.ConsumeIntegralInRange(1, 3);
        m.setGrpSize(page, groups);
        for (int g = 0; g < groups; ++g) {
            for (int r = in.ConsumeIntegralInRange(0, 5); r > 0; --r) {
                const int rec = m.addRec(page, g);
                for (int c = 0; c < cols; ++c) {
                    switch (in.ConsumeIntegralInRange(0, 3)) {
                    case 0:
                        m.addText(page, rec, in.ConsumeRandomLengthString(40), g);
                        break;
                    case 1:
                        m.addText(page, rec, in.ConsumeFloatingPoint<double>(), g);
                        break;
                    case 2:
                        m.addText(page, rec,
                                  RepPortBase::fixedText(in.ConsumeFloatingPoint<double>(),
                                                         in.ConsumeIntegralInRange(0, 8)),
                                  g);
                        break;
                    default: {
                        char cell[scq::kCellRoom];
                        const scq::Cx z(in.ConsumeFloatingPoint<double>(), in.ConsumeFloatingPoint<double>());
                        m.addText(page, rec, std::string(cell, scq::complexTo(cell, z)), g);
                    }
                    }
                }
            }
        }
        if (in.ConsumeBool()) m.addTail(page, in.ConsumeRandomLengthString(64));
    }
    OutputOptions o = out.outputOptions();
    o.html = true;
    o.xlsx = true;
    o.encoding = in.ConsumeBool() ? OutputEncoding::Utf8 : OutputEncoding::Gb18030;
    out.setOutputOptions(o);
    out.showResult(true, true, false);
    return 0;
}
