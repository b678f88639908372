// The HTML workbook: a main file listing the sheets, a folder with the file list,
// the tab strip, the stylesheet and one HTML file per page.
#include "pagewriters.h"

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

const std::vector<std::string>& ReportOutput::templateNames() {
    static const std::vector<std::string> names{"main-html1", "main-html2", "main-html3",    "tabstrip_1",
                                                "sub_html0",  "sub_html1",  "stylesheet.css"};
    return names;
}

void ReportOutput::loadTemplates() {
    std::map<std::string, std::string> loaded;
    for (const std::string& name : templateNames()) {
        const std::string path = m_strTemplateDir + name;
        QFile f(textcodec::fromLocal8(path));
        if (!f.exists()) raiseError(gb("报表模板缺失或为空：") + path);
        if (!f.open(QIODevice::ReadOnly)) raiseError(gb("无法读取报表模板：") + path);
        const QByteArray raw = f.readAll();
        if (f.error() != QFileDevice::NoError) raiseError(gb("无法读取报表模板：") + path);
        if (raw.isEmpty()) raiseError(gb("报表模板缺失或为空：") + path);
        loaded[name] = textout::templateText(raw.toStdString(), m_options.encoding);
    }
    m_templates.swap(loaded);
    m_templatesFrom = m_strTemplateDir + (m_options.encoding == OutputEncoding::Utf8 ? "|utf-8" : "|gb18030");
}

const std::string& ReportOutput::templateText(const std::string& name) {
    const std::string from =
        m_strTemplateDir + (m_options.encoding == OutputEncoding::Utf8 ? "|utf-8" : "|gb18030");
    if (from != m_templatesFrom) loadTemplates();
    return m_templates.at(name);
}

namespace {

// Closes one file of the workbook. One that failed or came out empty fails the run
// here, before the next is begun.
void finishPiece(OutFile& f) {
    if (!f.finish() || f.written() == 0) raiseError(gb("无法写入文件：") + f.path());
}

// A template followed by a line end.
void copyTemplate(textout::Writer& w, const std::string& text) {
    w.lit(text);
    w.eol();
}

std::string sheetName(const RepPage& p, int page) {
    return p.titles.empty() ? "Sheet" + std::to_string(page + 1) : p.titles.front();
}

// The sheets as their pages come; the main file, file list and tab strip, which only
// name the sheets, at the end.
class WorkbookWriter : public HtmlTableWriter {
  public:
    WorkbookWriter(OutFileSet& files, const std::string& mainPath, OutputEncoding enc,
                   const std::map<std::string, std::string>& templates, unsigned long long sheetBytes)
        : HtmlTableWriter(enc), m_files(files), m_mainPath(mainPath), m_names(workbookNames(mainPath)),
          m_templates(templates), m_sheetBytes(sheetBytes) {
        m_folder = files.stageFolder(m_names.folderPath) + kSep;
    }

    void beginPage(int page, const RepPage& p) override {
        m_page = sheetName(p, page);
        m_part = 1;
        m_groups = 0;
        openSheet(m_page);
        HtmlTableWriter::beginPage(page, p);
    }

    // Between two groups, a sheet that would pass its size with a group like the last one
    // goes on in the next; each names the other.
    void group(int page, const RepPage& p, const GroupRef& g) override {
        const unsigned long long before = m_sheet->written();
        if (m_groups > 0 && before + m_lastGroup > m_sheetBytes) {
            const std::string from = m_sheetNames.back();
            const std::string next = m_page + " (" + std::to_string(++m_part) + ")";
            note(p, gb("续表见工作表“") + next + gb("”。"));
            closeSheet();
            openSheet(next);
            titles(p, gb("接工作表“") + from + gb("”。"));
            m_groups = 0;
        }
        const unsigned long long start = m_sheet->written();
        HtmlTableWriter::group(page, p, g);
        m_lastGroup = m_sheet->written() - start;
        ++m_groups;
    }

    void endPage(int page, const RepPage& p) override {
        HtmlTableWriter::endPage(page, p);
        closeSheet();
    }

    void finish(const std::deque<RepPage>&) override {
        OutFile& css = m_files.add(m_folder + "stylesheet.css");
        css.write(m_templates.at("stylesheet.css"));
        finishPiece(css);
        OutFile& main = m_files.add(m_mainPath);
        OutFile& filelist = m_files.add(m_folder + "filelist.xml");
        OutFile& tabstrip = m_files.add(m_folder + "tabstrip.htm");
        writeMain(main, filelist, tabstrip);
        finishPiece(filelist);
        finishPiece(tabstrip);
        finishPiece(main);
    }

  private:
    void openSheet(const std::string& name) {
        m_sheetNames.push_back(name);
        m_sheet = &m_files.add(m_folder + "sheet" + std::to_string(m_sheetNames.size()) + ".htm");
        m_out = m_sheet;
        textout::Writer w(*m_sheet, m_enc);
        copyTemplate(w, m_templates.at("sub_html0"));
        w.lit("<link rel=Stylesheet href=stylesheet.css>");
        w.eol();
        copyTemplate(w, m_templates.at("sub_html1"));
    }

    void closeSheet() {
        textout::Writer w(*m_sheet, m_enc);
        w.lit("</body>");
        w.eol();
        w.lit("</html>");
        w.eol();
        finishPiece(*m_sheet);
    }

    void writeMain(OutSink& os, OutSink& filelist, OutSink& tabstrip) {
        textout::Writer w(os, m_enc), fl(filelist, m_enc), ts(tabstrip, m_enc);
        const int n = int(m_sheetNames.size());

        copyTemplate(w, m_templates.at("main-html1"));
        for (int i = 1; i <= n; ++i) {
            w.lit("<link id=\"shLink\" href=\"");
            w.html(m_names.folder);
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
            w.js(m_sheetNames[size_t(p)]);
            w.lit("\";");
            w.eol();
        }
        copyTemplate(w, m_templates.at("main-html2"));

        fl.lit("<xml xmlns:o=\"urn:schemas-microsoft-com:office:office\">");
        fl.eol();
        fl.lit(" <o:MainFile HRef=\"../");
        fl.html(m_names.mainName);
        fl.lit("\"/>");
        fl.eol();
        fl.lit(" <o:File HRef=\"stylesheet.css\"/>");
        fl.eol();
        fl.lit(" <o:File HRef=\"tabstrip.htm\"/>");
        fl.eol();

        copyTemplate(ts, m_templates.at("tabstrip_1"));

        const std::string font = gb("宋体");
        for (int i = 1; i <= n; ++i) {
            const std::string& name = m_sheetNames[size_t(i - 1)];
            w.lit("<x:ExcelWorksheet>");
            w.eol();
            w.lit("<x:Name>");
            w.html(name);
            w.lit("</x:Name>");
            w.eol();
            w.lit("<x:WorksheetSource HRef=\"");
            w.html(m_names.folder);
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
            ts.html(name);
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
        w.html(m_names.folder);
        w.lit("/stylesheet.css\"/>");
        w.eol();
        for (const char* line :
             {"<x:ProtectStructure>False</x:ProtectStructure>", "<x:ProtectWindows>False</x:ProtectWindows>",
              "</x:ExcelWorkbook>", "</xml><![endif]-->", "</head>"}) {
            w.lit(line);
            w.eol();
        }
        copyTemplate(w, m_templates.at("main-html3"));
        w.lit("</html>");
        w.eol();
    }

    OutFileSet& m_files;
    std::string m_mainPath;
    WorkbookNames m_names;
    const std::map<std::string, std::string> m_templates; // a copy: the model may go first
    unsigned long long m_sheetBytes;
    std::string m_folder;
    OutFile* m_sheet = nullptr;
    std::vector<std::string> m_sheetNames; // one per sheet file, in order
    std::string m_page;                    // the name of the page being written
    int m_part = 1;                        // its sheet files so far
    int m_groups = 0;                      // groups in the current sheet file
    unsigned long long m_lastGroup = 0;    // bytes of the last group written
};

} // namespace

std::unique_ptr<PageWriter> makeWorkbookWriter(OutFileSet& files, const std::string& mainPath,
                                               OutputEncoding enc,
                                               const std::map<std::string, std::string>& templates,
                                               unsigned long long sheetBytes) {
    return std::make_unique<WorkbookWriter>(files, mainPath, enc, templates, sheetBytes);
}

// ---------------------------------------------------------------- folders and stylesheet

bool ReportOutput::makeDirs() {
    return QDir().mkpath(textcodec::fromLocal8(m_strTempDir));
}

bool ReportOutput::prepareDir() {
    loadTemplates();
    const bool ok = makeDirs();
    const std::string folder = workbookNames(htmlPath()).folderPath;
    const QString f = textcodec::fromLocal8(folder);
    if (QFileInfo(f).isDir()) {
        screport::logDebug("html dir exist!");
    } else {
        screport::logDebug("html dir does NOT exist!");
        QDir().mkdir(f);
    }
    const std::string target = folder + kSep + "stylesheet.css";
    screport::logDebug("style file is " + target);
    OutFile css(target);
    css.write(templateText("stylesheet.css"));
    if (!css.commit()) raiseError(gb("无法写入文件：") + target);
    return ok;
}
