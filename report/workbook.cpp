// The HTML workbook: a main file listing the sheets, a folder with the file list,
// the tab strip, the stylesheet and one HTML file per page.
#include "repportbase.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "textout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using textcodec::gb;

namespace {

const char kSep = QDir::separator().toLatin1();

struct WorkbookNames {
    std::string mainName; // "sc_report.htm"
    std::string folder;   // "sc_report.files", as linked
    std::string folderPath;
};

WorkbookNames workbookNames(const std::string& mainPath) {
    WorkbookNames n;
    const size_t slash = mainPath.find_last_of("/\\");
    const std::string dir = slash == std::string::npos ? std::string() : mainPath.substr(0, slash + 1);
    n.mainName = slash == std::string::npos ? mainPath : mainPath.substr(slash + 1);
    const size_t dot = n.mainName.rfind('.');
    n.folder = (dot == std::string::npos ? n.mainName : n.mainName.substr(0, dot)) + ".files";
    n.folderPath = dir + n.folder;
    return n;
}

} // namespace

// Copies a template followed by a line end. A missing or empty template leaves the
// file with what was written before it: nothing more goes into that file this run.
static void copyTemplate(textout::Writer& w, const std::string& dir, const char* name, OutputEncoding enc) {
    if (w.sink().blocked()) return;
    const std::string path = dir + name;
    QFile f(textcodec::fromLocal8(path));
    QByteArray raw;
    if (f.open(QIODevice::ReadOnly)) raw = f.readAll();
    if (raw.isEmpty()) {
        screport::logErrorU("报表模板缺失或为空：", path);
        w.sink().block();
        return;
    }
    w.lit(textout::templateText(raw.toStdString(), enc));
    w.eol();
}

static std::string sheetName(const RepPage& p, int page) {
    return p.titles.empty() ? "Sheet" + std::to_string(page + 1) : p.titles.front();
}

void RepPortBase::outputRP_html2_main(OutSink& os, OutSink& filelist, OutSink& tabstrip) {
    const WorkbookNames names = workbookNames(htmlPathForRun());
    const OutputEncoding enc = m_options.encoding;
    textout::Writer w(os, enc), fl(filelist, enc), ts(tabstrip, enc);
    const int n = int(m_pages.size());

    copyTemplate(w, m_strTemplateDir, "main-html1", enc);
    for (int i = 1; i <= n; ++i) {
        w.lit("<link id=\"shLink\" href=\"");
        w.text(names.folder);
        w.lit("/sheet");
        w.num(i);
        w.lit(".htm\"> ");
        w.eol();
    }
    w.lit("<link id=\"shLink\">");
    w.eol();
    w.lit("<script language=\"JavaScript\"> ");
    w.eol();
    w.lit("<!--");
    w.eol();
    w.lit("var c_lTabs=");
    w.num(n);
    w.lit(";");
    w.eol();
    w.lit("var c_rgszSh=new Array(c_lTabs);");
    w.eol();
    for (int p = 0; p < n; ++p) {
        w.lit("c_rgszSh[");
        w.num(p);
        w.lit("] = \"");
        w.text(sheetName(m_pages[p], p));
        w.lit("\";");
        w.eol();
    }
    copyTemplate(w, m_strTemplateDir, "main-html2", enc);

    fl.lit("<xml xmlns:o=\"urn:schemas-microsoft-com:office:office\">");
    fl.eol();
    fl.lit(" <o:MainFile HRef=\"../");
    fl.text(names.mainName);
    fl.lit("\"/>");
    fl.eol();
    fl.lit(" <o:File HRef=\"stylesheet.css\"/>");
    fl.eol();
    fl.lit(" <o:File HRef=\"tabstrip.htm\"/>");
    fl.eol();

    copyTemplate(ts, m_strTemplateDir, "tabstrip_1", enc);

    const std::string font = gb("宋体");
    for (int i = 1; i <= n; ++i) {
        const std::string name = sheetName(m_pages[i - 1], i - 1);
        w.lit("<x:ExcelWorksheet>");
        w.eol();
        w.lit("<x:Name>");
        w.text(name);
        w.lit("</x:Name>");
        w.eol();
        w.lit("<x:WorksheetSource HRef=\"");
        w.text(names.folder);
        w.lit("/sheet");
        w.num(i);
        w.lit(".htm\"/>");
        w.eol();

        fl.lit(" <o:File HRef=\"sheet");
        fl.num(i);
        fl.lit(".htm\"/>");
        fl.eol();

        w.lit("</x:ExcelWorksheet>");
        w.eol();

        ts.lit("<td bgcolor=\"#FFFFFF\" nowrap><b><small><small>&nbsp;<a href=\"sheet");
        ts.num(i);
        ts.lit(".htm\" target=\"frSheet\"><font face=\"");
        ts.text(font);
        ts.lit("\" color=\"#000000\">");
        ts.text(name);
        ts.lit("</font></a>&nbsp;</small></small></b></td>");
        ts.eol();
    }

    fl.lit(" <o:File HRef=\"filelist.xml\"/>");
    fl.eol();
    fl.lit("</xml>");
    fl.eol();

    for (const char* line : {"</tr> ", "</table> ", "</body>", "</html>"}) {
        ts.lit(line);
        ts.eol();
    }

    w.lit("</x:ExcelWorksheets>");
    w.eol();
    w.lit("<x:Stylesheet HRef=\"");
    w.text(names.folder);
    w.lit("/stylesheet.css\"/>");
    w.eol();
    for (const char* line :
         {"<x:ProtectStructure>False</x:ProtectStructure>", "<x:ProtectWindows>False</x:ProtectWindows>",
          "</x:ExcelWorkbook>", "</xml><![endif]-->", "</head>"}) {
        w.lit(line);
        w.eol();
    }
    copyTemplate(w, m_strTemplateDir, "main-html3", enc);
    w.lit("</html>");
    w.eol();
}

void RepPortBase::outputRP_html2(int page, OutSink& os) {
    const OutputEncoding enc = m_options.encoding;
    textout::Writer w(os, enc);
    copyTemplate(w, m_strTemplateDir, "sub_html0", enc);
    w.lit("<link rel=Stylesheet href=stylesheet.css>");
    w.eol();
    copyTemplate(w, m_strTemplateDir, "sub_html1", enc);
    outputRP_html(page, os);
    w.lit("</body>");
    w.eol();
    w.lit("</html>");
    w.eol();
}

void RepPortBase::writeWorkbook(OutFileSet& files, const std::string& mainPath) {
    const WorkbookNames names = workbookNames(mainPath);
    m_runHtmlPath = mainPath;
    OutFile& main = files.add(mainPath);
    OutFile& filelist = files.add(names.folderPath + kSep + "filelist.xml");
    OutFile& tabstrip = files.add(names.folderPath + kSep + "tabstrip.htm");
    outputRP_html2_main(main, filelist, tabstrip);
    filelist.finish();
    tabstrip.finish();
    main.finish();
    for (int p = 0; p < int(m_pages.size()); ++p) {
        OutFile& sheet = files.add(names.folderPath + kSep + "sheet" + std::to_string(p + 1) + ".htm");
        outputRP_html2(p, sheet);
        sheet.finish();
    }
    m_runHtmlPath.clear();
}

void RepPortBase::outputRP_html2(const char* path) {
    OutFileSet files;
    beginRun("正在写工作簿");
    writeWorkbook(files, path ? path : "");
    endRun();
    files.finishAll();
    files.renameAll();
}

std::string RepPortBase::htmlPathForRun() const {
    return m_runHtmlPath.empty() ? htmlPath() : m_runHtmlPath;
}

// ---------------------------------------------------------------- folders and stylesheet

bool RepPortBase::makeDirs() {
    const QString temp = textcodec::fromLocal8(m_strTempDir);
    if (!QDir().mkpath(temp)) return false;
    const std::string folder = workbookNames(htmlPath()).folderPath;
    const QString f = textcodec::fromLocal8(folder);
    if (QFileInfo(f).isDir()) {
        screport::logDebug("html dir exist!");
        return true;
    }
    screport::logDebug("html dir does NOT exist!");
    return QDir().mkdir(f);
}

void RepPortBase::writeStylesheet(OutFileSet& files) {
    const std::string target = workbookNames(htmlPath()).folderPath + kSep + "stylesheet.css";
    screport::logDebug("style file is " + target);
    OutFile& css = files.add(target);
    // A missing stylesheet template leaves an empty stylesheet.
    QFile f(textcodec::fromLocal8(m_strTemplateDir + "stylesheet.css"));
    if (f.open(QIODevice::ReadOnly))
        css.write(textout::templateText(f.readAll().toStdString(), m_options.encoding));
    else
        screport::logErrorU("报表模板缺失或为空：", m_strTemplateDir + "stylesheet.css");
    css.finish();
}

bool RepPortBase::prepareDir() {
    const bool ok = makeDirs();
    OutFileSet files;
    writeStylesheet(files);
    files.finishAll();
    files.renameAll();
    return ok;
}
