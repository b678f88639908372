#pragma once
// The two streams: progress lines to standard output, failures to standard error.
// Messages are GB18030 inside the program; the terminal gets UTF-8 unless
// SCREPORT_LOG_ENCODING=gb18030 asks for the raw bytes.
#include "export.h"

#include <functional>
#include <string>

namespace screport {

SCREPORT_CORE_EXPORT void logDebug(const std::string& local8);
SCREPORT_CORE_EXPORT void logError(const std::string& local8);
// UTF-8 literal convenience.
SCREPORT_CORE_EXPORT void logDebugU(const char* utf8, const std::string& tailLocal8 = std::string());
SCREPORT_CORE_EXPORT void logErrorU(const char* utf8, const std::string& tailLocal8 = std::string());

// Whether debug lines are written (off unless --debug turns them on, in the batch and in
// the dialog). Off, a debug line costs no conversion and no flush; a hook still sees it.
SCREPORT_CORE_EXPORT void setDebugEnabled(bool on);

// Tests capture the lines; a null hook restores the streams.
using LogHook = std::function<void(bool isError, const std::string& local8)>;
SCREPORT_CORE_EXPORT void setLogHook(LogHook hook);

} // namespace screport
