#pragma once
// The writers of the report stream: the text report, the HTML table of a workbook's
// sheets and the native .xlsx workbook.
#include "report/outsink.h"
#include "report/reportoutput.h"
#include "report/reportstream.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

// The fixed-width text report into os.
SCREPORT_CORE_EXPORT std::unique_ptr<PageWriter> makeTextWriter(OutSink& os, OutputEncoding enc);

// Every page as one HTML table, into a sink the derived writer sets per page.
class SCREPORT_CORE_EXPORT HtmlTableWriter : public PageWriter {
  public:
    void beginPage(int page, const RepPage& p) override;
    void group(int page, const RepPage& p, const GroupRef& g) override;
    void endPage(int page, const RepPage& p) override;

  protected:
    explicit HtmlTableWriter(OutputEncoding enc) : m_enc(enc) {}
    // The page's titles, then note (if any), as a table of their own.
    void titles(const RepPage& p, const std::string& note);
    void note(const RepPage& p, const std::string& text); // a line of its own
    OutSink* m_out = nullptr;
    OutputEncoding m_enc;

  private:
    std::vector<char> m_isID;
};

// The HTML workbook: mainPath and the folder beside it, built anew in `files`. The
// templates are the loaded set, in the output encoding. A page whose sheet file passes
// sheetBytes goes on in the next file, named "<name> (2)", at the next group.
SCREPORT_CORE_EXPORT std::unique_ptr<PageWriter>
makeWorkbookWriter(OutFileSet& files, const std::string& mainPath, OutputEncoding enc,
                   const std::map<std::string, std::string>& templates, unsigned long long sheetBytes);

// How the native workbook is written.
struct XlsxSetup {
    long rowLimit = ReportOutput::kMaxSheetRows;
    bool zip64 = false;
    XlsxLayout layout = XlsxLayout::Table;
    std::shared_ptr<const BusLocations> where; // the tables' location columns; may be null
    std::string caseName8, caseNo;             // file properties, page headers
};

// The native workbook, written row by row; packed into its file by pack() once the
// stream has ended.
class SCREPORT_CORE_EXPORT XlsxWriter : public PageWriter {
  public:
    static std::unique_ptr<XlsxWriter> create(OutFileSet& files, const std::string& path,
                                              const XlsxSetup& setup);
    // `poll` is called about every 20 ms while the package is packed, with the bytes of
    // the sheets packed and in all (0 and 0 when unknown); it may throw to abandon the file.
    virtual void pack(const std::function<void(long long done, long long total)>& poll) = 0;
};

// Cells past which the .xlsx parts may exceed 4 GB.
constexpr size_t kZip64Cells = 40'000'000;
