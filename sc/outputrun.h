#pragma once
// One output run without widgets: build the short-circuit reports of one case and write
// them. The report dialog's "输出" and the batch mode both call runOutput.
#include "db/connection.h"
#include "db/dataproblems.h"
#include "db/export.h"
#include "report/reportoutput.h"
#include "sc/scpos.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

struct OutputRequest {
    std::string projectDir; // GB18030; reports go to its "temp" folder (a missing separator is added)
    std::string outputDir;  // GB18030; when set, the reports go here instead (one case of several)
    int caseNo = 0;
    std::set<std::string> chosenKeys;                           // report keys (GB18030)
    std::map<std::string, std::vector<std::string>> itemLabels; // key -> item labels
    std::map<std::string, std::vector<int>> itemSel;            // key -> chosen items, 0-based
    const SCPosList* faults = nullptr;                          // not owned; may be null (no faults)

    bool grpArea = false;
    bool grpZone = false;
    bool grpST = false;
    bool perUnit = true;

    bool writeText = true;                             // "文件": rep_txt.txt
    bool writeSheet = false;                           // "报表": the workbooks below
    bool sheetHtml = true;                             // sc_report.htm with its folder
    bool sheetXlsx = true;                             // sc_report.xlsx
    OutputEncoding encoding = OutputEncoding::Gb18030; // of the text report and the HTML
    XlsxLayout xlsxLayout = XlsxLayout::Table;
    bool openViewers = true;
    bool strict = false; // any data problem ends the run before anything is written
    // While another run writes the same folder this one waits up to this long, then
    // fails; 0 fails at once.
    int lockWaitSeconds = 600;
    // Stored choices that could not be used as stored, found while reading them before
    // the run (casechoices): they head the run's list.
    std::vector<dataproblems::Problem> choiceProblems;
    // Called with the built reports before they are written (tests, tools); may be empty.
    std::function<void(const RepPortBase&)> inspect;
};

// Rows and cells written for one report kind.
struct ReportCount {
    std::string key; // report key (GB18030)
    long long rows = 0;
    long long cells = 0;
};

// Wall-clock seconds of one stage of the run: "prepare", a report kind's short name, "write".
struct StageTime {
    std::string stage;
    double seconds = 0;
};

struct OutputResult {
    std::string error8; // GB18030; empty on success, otherwise no report was written
    // Values the reports could not use and what was done instead, each once.
    std::vector<dataproblems::Problem> problems;
    std::string problemsFile;       // the list as a file in the temp folder (UTF-8 path), when there is one
    long long rows = 0;             // records written (all pages, all groups)
    long long cells = 0;            // record cells written
    std::vector<std::string> files; // paths written (UTF-8)
    std::vector<std::string> viewerFailures; // viewers that did not open their file (GB18030)
    std::vector<ReportCount> reports;        // per report kind, in report order, when files were written
    std::vector<StageTime> stages;           // the stages completed, in order, also of a failed run

    bool ok() const { return error8.empty(); }
};

// Builds the chosen reports in their fixed order and writes them. An error text ends the
// run; it is returned, never thrown. A request for no report kind, or for no file and no
// inspect, is refused before anything is read or written. Everything is read through `db`.
// One run at a time writes a folder: the others wait. The data problems of a run go to
// "data_problems.txt" in the temp folder (in the reports' encoding), as part of the set of
// files the run replaces as a whole; a run without any removes the list of an earlier one.
SCREPORT_CORE_EXPORT OutputResult runOutput(const DbConnection& db, const OutputRequest& req,
                                            RunObserver* observer = nullptr);
