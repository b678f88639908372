#pragma once
// Opening the written reports for the user. One implementation per platform, each in
// its own file; viewers are started detached, and a viewer that cannot be started is
// logged and kept in failures(), never raised.
#include "db/export.h"

#include <memory>
#include <string>
#include <vector>

class SCREPORT_CORE_EXPORT Viewer {
  public:
    virtual ~Viewer() = default;
    // path: GB18030 bytes of the text report.
    virtual void openText(const std::string& path) = 0;
    // The workbooks that were written this run; either may be empty.
    virtual void openSheet(const std::string& htmlPath, const std::string& xlsxPath) = 0;

    // The platform's viewers (SCREPORT_TEXT_VIEWER / SCREPORT_SHEET_VIEWER override them).
    static std::unique_ptr<Viewer> platform();

    // The viewers that did not open their file, one GB18030 line each, for the user.
    const std::vector<std::string>& failures() const { return m_failures; }
    void clearFailures() { m_failures.clear(); }

  protected:
    void failed(const std::string& line8) { m_failures.push_back(line8); }

  private:
    std::vector<std::string> m_failures;
};
