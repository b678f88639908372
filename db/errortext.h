#pragma once
#include "export.h"

#include <exception>
#include <string>

// An operation that cannot go on throws its user-facing message (GB18030 bytes).
// Caught at the entry and around each output run.
class SCREPORT_CORE_EXPORT ErrorText : public std::exception {
  public:
    explicit ErrorText(std::string text) : m_text(std::move(text)) {}
    const std::string& text() const noexcept { return m_text; }
    const char* what() const noexcept override { return m_text.c_str(); }

  private:
    std::string m_text;
};

// Writes the text to the error stream, then throws it.
[[noreturn]] SCREPORT_CORE_EXPORT void raiseError(const std::string& local8);
