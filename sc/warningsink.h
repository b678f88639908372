#pragma once
// Warnings about missing data that do not stop a report run. The dialogs show them in
// a modal box; batch runs and tests must never block, so by default a warning is one
// line on the error stream. Every warning is counted, whoever shows it.
#include "db/export.h"

#include <string>

class SCREPORT_CORE_EXPORT WarningSink {
  public:
    virtual ~WarningSink() = default;
    // title8 and text8 are GB18030.
    virtual void warn(const std::string& title8, const std::string& text8) = 0;
};

// Installs the process-wide sink; nullptr restores the default (error-stream line).
// The sink is not owned.
SCREPORT_CORE_EXPORT void setWarningSink(WarningSink* sink);
SCREPORT_CORE_EXPORT WarningSink* warningSink();

// Counts the warning and hands it to the current sink.
SCREPORT_CORE_EXPORT void dataWarning(const std::string& title8, const std::string& text8);
// Warnings given since the process started; a run takes the difference.
SCREPORT_CORE_EXPORT long long warningCount();
