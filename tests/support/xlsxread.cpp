#include "xlsxread.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QXmlStreamReader>

namespace xlsxread {

namespace {

std::string unzip(const QStringList& args, bool expectOk) {
    QProcess p;
    p.start("unzip", args);
    if (!p.waitForFinished(60000) || (expectOk && p.exitCode() != 0)) {
        ADD_FAILURE() << "unzip " << args.join(' ').toStdString() << " failed";
        return {};
    }
    return p.readAllStandardOutput().toStdString();
}

std::string attr(const QXmlStreamReader& r, const char* name) {
    return r.attributes().value(QLatin1String(name)).toString().toStdString();
}

} // namespace

std::string member(const std::string& zip, const std::string& part) {
    return unzip({"-p", QString::fromStdString(zip), QString::fromStdString(part)}, true);
}

std::vector<std::string> members(const std::string& zip) {
    std::vector<std::string> out;
    for (const QString& l :
         QString::fromStdString(unzip({"-Z1", QString::fromStdString(zip)}, true)).split('\n'))
        if (!l.isEmpty()) out.push_back(l.toStdString());
    return out;
}

std::string Sheet::text(const std::string& r) const {
    auto it = cells.find(r);
    return it == cells.end() ? std::string() : it->second.value;
}

Sheet sheet(const std::string& xml) {
    Sheet s;
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    std::string cell, row;
    int column = -1; // of the last cell: a cell without a reference is the next one
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement()) continue;
        const auto n = r.name();
        if (n == QLatin1String("row")) {
            row = attr(r, "r");
            column = -1;
        } else if (n == QLatin1String("c")) {
            cell = attr(r, "r");
            if (cell.empty()) cell = ref(column + 1, std::stoi(row));
            column = 0;
            for (size_t i = 0; i < cell.size() && cell[i] >= 'A'; ++i)
                column = column * 26 + (cell[i] - 'A' + 1);
            --column;
            Cell& c = s.cells[cell];
            c.type = attr(r, "t");
            c.style = r.attributes().value("s").toInt();
        } else if (n == QLatin1String("v") || n == QLatin1String("t")) {
            s.cells[cell].value = r.readElementText().toStdString();
        } else if (n == QLatin1String("mergeCell")) {
            s.merges.push_back(attr(r, "ref"));
        } else if (n == QLatin1String("pane")) {
            if (attr(r, "state") == "frozen") s.pane = attr(r, "topLeftCell");
        } else if (n == QLatin1String("autoFilter")) {
            s.autoFilter = attr(r, "ref");
        } else if (n == QLatin1String("pageSetup") || n == QLatin1String("printOptions") ||
                   n == QLatin1String("pageSetUpPr")) {
            auto& m = n == QLatin1String("pageSetup")      ? s.pageSetup
                      : n == QLatin1String("printOptions") ? s.printOptions
                                                           : s.sheetPr;
            for (const auto& a : r.attributes())
                m[a.name().toString().toStdString()] = a.value().toString().toStdString();
        } else if (n == QLatin1String("oddHeader")) {
            s.header = r.readElementText().toStdString();
        } else if (n == QLatin1String("oddFooter")) {
            s.footer = r.readElementText().toStdString();
        } else if (n == QLatin1String("col")) {
            const int lo = r.attributes().value("min").toInt(), hi = r.attributes().value("max").toInt();
            for (int c = lo; c <= hi; ++c)
                s.widths[c - 1] = r.attributes().value("width").toDouble();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return s;
}

Workbook workbook(const std::string& xml) {
    Workbook w;
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement()) continue;
        if (r.name() == QLatin1String("sheet")) {
            w.sheets.push_back(attr(r, "name"));
        } else if (r.name() == QLatin1String("definedName")) {
            std::string name = attr(r, "name");
            const std::string local = attr(r, "localSheetId");
            if (!local.empty()) name += "/" + local;
            w.names[name] = r.readElementText().toStdString();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return w;
}

std::vector<std::string> styleFormats(const std::string& stylesXml) {
    std::map<int, std::string> codes{{0, "General"}, {1, "0"}, {2, "0.00"}};
    std::vector<std::string> out;
    QXmlStreamReader r(QByteArray::fromStdString(stylesXml));
    bool inCellXfs = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("numFmt"))
            codes[r.attributes().value("numFmtId").toInt()] = attr(r, "formatCode");
        if (r.isStartElement() && r.name() == QLatin1String("cellXfs")) inCellXfs = true;
        if (r.isEndElement() && r.name() == QLatin1String("cellXfs")) inCellXfs = false;
        if (inCellXfs && r.isStartElement() && r.name() == QLatin1String("xf"))
            out.push_back(codes[r.attributes().value("numFmtId").toInt()]);
    }
    return out;
}

Chart chart(const std::string& xml) {
    Chart c;
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    std::string in; // "cat" or "val" while inside one
    while (!r.atEnd()) {
        r.readNext();
        const auto n = r.name();
        if (r.isStartElement()) {
            if (c.kind.empty() && n.endsWith(QLatin1String("Chart")) && n != QLatin1String("chart"))
                c.kind = n.toString().toStdString();
            if (n == QLatin1String("ser")) c.series.emplace_back();
            if (n == QLatin1String("cat") || n == QLatin1String("val")) in = n.toString().toStdString();
            if (n == QLatin1String("f") && !in.empty() && !c.series.empty())
                (in == "cat" ? c.series.back().first : c.series.back().second) =
                    r.readElementText().toStdString();
        } else if (r.isEndElement() && (n == QLatin1String("cat") || n == QLatin1String("val"))) {
            in.clear();
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return c;
}

std::string col(int c) {
    std::string s;
    for (++c; c > 0; c = (c - 1) / 26)
        s.insert(s.begin(), char('A' + (c - 1) % 26));
    return s;
}

std::string ref(int c, int row1) {
    return col(c) + std::to_string(row1);
}

} // namespace xlsxread
