#include "reporttest.h"

#include "db/textcodec.h"

#include <QDir>

#include <fstream>
#include <sstream>

namespace reporttest {

namespace {
const std::set<std::string> kKeys{"A", "B"};
const std::map<std::string, std::vector<std::string>> kNoLabels;
const std::map<std::string, std::vector<int>> kNoSel;
} // namespace

Model::Model(const std::string& projectDir)
    : RepPortBase(7, std::string(), kKeys, kNoLabels, kNoSel), out(*this, projectDir) {}

int addPage(Model& m, const std::string& title, const std::vector<Col>& cols,
            const std::vector<std::vector<std::string>>& rows) {
    const int p = m.addRP(false);
    m.addTitle(p, title);
    for (const Col& c : cols)
        m.addHeader(p, c.name, c.width, c.id);
    for (const auto& row : rows) {
        const int r = m.addRec(p);
        for (const std::string& t : row)
            m.addText(p, r, t, 0);
    }
    return p;
}

void Model::addRecID(int page, int row, const char* text, int colspan, int rowspan, bool headStyle) {
    auto& ids = m_pages[size_t(page)].recIDs;
    if (int(ids.size()) < row + 1) ids.resize(size_t(row + 1));
    ids[size_t(row)].push_back(
        RepCell{text, false, 16, colspan, rowspan, headStyle, {}, false, {}, false, {}, {}, {}, {}});
}

std::string goldenDir() {
    return SCREPORT_GOLDEN_DIR "/";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string freshDir(const std::string& name) {
    const QString dir = QStringLiteral(SCREPORT_BINARY_DIR "/test-report/") + QString::fromStdString(name);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir.toStdString() + "/";
}

std::string writeRun(Model& m, const std::string& dir, bool text, bool html, bool xlsx) {
    m.out.setTempDir(dir);
    OutputOptions o = m.out.outputOptions();
    o.html = html;
    o.xlsx = xlsx;
    m.out.setOutputOptions(o);
    m.out.showResult(text, html || xlsx, false);
    return dir;
}

std::string text(Model& m) {
    return readFile(writeRun(m, freshDir("txt"), true, false, false) + "rep_txt.txt");
}

} // namespace reporttest
