#pragma once
// Shared pieces of the report model tests.
#include "report/reportoutput.h"
#include "support/proc.h"
#include "support/testdb.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace reporttest {

// A model with no database behind it, and its output run; the builder's members are reachable.
class Model : public RepPortBase {
  public:
    explicit Model(const std::string& projectDir = "/nonexistent/");
    ReportOutput out; // goes before the model it writes
    using RepPortBase::m_pages;
    using RepPortBase::m_strCaseName;
    // Leading cells of record `row`: the writers lay them out, though no report makes them.
    void addRecID(int page, int row, const char* text, int colspan, int rowspan, bool headStyle);
};

// A page titled `title` with one header row and a record in group 0 per entry of `rows`.
struct Col {
    std::string name;
    int width;
    bool id = false;
};
int addPage(Model& m, const std::string& title, const std::vector<Col>& cols,
            const std::vector<std::vector<std::string>>& rows = {});

using testdb::gb;
using testdb::LogCapture;

std::string goldenDir();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// A fresh empty folder under the build tree, ending in '/'.
std::string freshDir(const std::string& name);
// Writes the model as a run does into `dir`: the text report (rep_txt.txt), the HTML
// workbook (sc_report.htm and its folder), the .xlsx workbook (sc_report.xlsx). Returns dir.
std::string writeRun(Model& m, const std::string& dir, bool text, bool html, bool xlsx);
// The text report of the model.
std::string text(Model& m);
using testproc::expectGolden;

} // namespace reporttest
