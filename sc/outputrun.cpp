#include "outputrun.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"
#include "sc/screpport.h"
#include "sc/warningsink.h"

#include <QSqlDatabase>

#include <new>

using textcodec::gb;

namespace {

// Why the statements of this run may have read less than the case holds; empty when
// they did not.
std::string interruptedRead() {
    const QString name = CDBUtility::m_pDatabase ? CDBUtility::m_pDatabase->databaseName() : QString();
    if (dbq::connectionLost()) return gb("与数据库的连接已中断，报表没有输出:") + textcodec::toLocal8(name);
    if (dbq::lockRefused()) return gb("数据库被其他程序占用，报表没有输出:") + textcodec::toLocal8(name);
    return std::string();
}

} // namespace

OutputResult runOutput(const OutputRequest& req, RunObserver* observer) {
    OutputResult res;
    const long long warningsBefore = warningCount();
    dbq::clearConnectionLost();
    dbq::clearLockRefused();
    try {
        SCRepPort b(req.projectDir, req.caseNo, req.chosenKeys, req.itemLabels, req.itemSel, req.faults);
        b.setGrpInfo(req.grpArea, req.grpZone, req.grpST);
        b.setUnitInfo(req.perUnit);
        OutputOptions o = b.outputOptions();
        o.html = req.sheetHtml;
        o.xlsx = req.sheetXlsx;
        o.encoding = req.encoding;
        b.setOutputOptions(o);
        b.setObserver(observer);
        b.m_baseMVA = CDBUtility::getBaseMVA();
        // The fixed order of the report kinds, whatever order they were chosen in.
        for (const reportkinds::Kind& k : reportkinds::kinds())
            if (b.isSelect(k.key)) b.portByKey(k.key);
        // Statements that failed because the server went away, or another program held
        // the database, read as empty results; the pages would be incomplete, so the
        // earlier files stay.
        const std::string interrupted = interruptedRead();
        if (!interrupted.empty()) raiseError(interrupted);

        b.showResult(req.writeText, req.writeSheet, req.openViewers);
        if (req.writeText) res.files.push_back(textcodec::toUtf8(b.textPath()));
        if (req.writeSheet && req.sheetHtml) res.files.push_back(textcodec::toUtf8(b.htmlPath()));
        if (req.writeSheet && req.sheetXlsx) res.files.push_back(textcodec::toUtf8(b.xlsxPath()));
        if (!res.files.empty()) {
            for (int p = 0; p < b.pageCount(); ++p) {
                res.rows += (long long)b.page(p).records.totalRecords();
                res.cells += (long long)b.page(p).records.totalCells();
            }
        }
    } catch (const ErrorText& e) {
        screport::logError("catch exception here:");
        res.error8 = e.text();
        // A report that found no case row because the server went away would blame the data.
        const std::string interrupted = interruptedRead();
        if (!interrupted.empty() && e.text() != interrupted) {
            res.error8 = interrupted;
            screport::logError(res.error8);
        }
        res.files.clear();
    } catch (const std::bad_alloc&) {
        res.error8 = textcodec::gb("内存不足");
        screport::logError("catch exception here:");
        screport::logError(res.error8);
        res.files.clear();
    }
    res.warnings = warningCount() - warningsBefore;
    screport::logDebug("onOutput ");
    return res;
}
