#pragma once
// Reading an .xlsx package back as the tests see it: unzip and the parts' XML.
#include <map>
#include <string>
#include <vector>

namespace xlsxread {

// One part of the package; empty (and a test failure) when it is missing.
std::string member(const std::string& zip, const std::string& part);
// Names of the package's parts.
std::vector<std::string> members(const std::string& zip);

struct Cell {
    std::string type;  // "" number, "inlineStr" or "s" text
    std::string value; // number as written, or the UTF-8 text
    int style = 0;
};

struct Sheet {
    std::map<std::string, Cell> cells; // by reference, "B7"
    std::vector<std::string> merges;
    std::string pane;       // topLeftCell of a frozen pane, empty without one
    std::string autoFilter; // its ref
    std::map<std::string, std::string> pageSetup, printOptions, sheetPr;
    std::string header, footer;   // oddHeader, oddFooter
    std::map<int, double> widths; // column (from 0) -> width
    // Text of a cell ("" when missing), and the number format of its style.
    std::string text(const std::string& ref) const;
};

Sheet sheet(const std::string& xml);

// The workbook's sheets in order, and its defined names (name -> formula).
struct Workbook {
    std::vector<std::string> sheets;
    std::map<std::string, std::string> names; // "_xlnm.Print_Titles/2" for local ones: name/sheet index
};
Workbook workbook(const std::string& xml);

// Number format code of each cell style index.
std::vector<std::string> styleFormats(const std::string& stylesXml);

// The data ranges of a chart part: per series its category and value formulas.
struct Chart {
    std::string kind; // barChart, lineChart, ...
    std::vector<std::pair<std::string, std::string>> series;
};
Chart chart(const std::string& xml);

// Column letters of a 0-based column and the reference of a cell.
std::string col(int c);
std::string ref(int c, int row1);

} // namespace xlsxread
