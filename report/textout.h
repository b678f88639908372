#pragma once
// Writing model text into a sink in the chosen output encoding: the model's GB18030
// bytes unchanged, or converted to UTF-8 with fields aligned by display width.
#include "report/outsink.h"
#include "report/repportbase.h"

#include <string_view>

namespace textout {

inline bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

class Writer {
  public:
    Writer(OutSink& os, OutputEncoding enc) : m_os(os), m_utf8(enc == OutputEncoding::Utf8) {}
    OutSink& sink() { return m_os; }
    bool utf8() const { return m_utf8; }

    // Model text.
    void text(std::string_view s) {
        if (!m_utf8 || isAscii(s))
            m_os.write(s);
        else
            writeConverted(s);
    }
    // The program's own ASCII pieces.
    void lit(std::string_view s) { m_os.write(s); }
    void num(long v);
    void eol() { m_os.crlf(); }
    // Columns a text takes: bytes, or display width in UTF-8 output.
    size_t width(std::string_view s) const { return (!m_utf8 || isAscii(s)) ? s.size() : displayWidth(s); }
    // Right-aligned in a field of w columns; never cut.
    void field(std::string_view s, int w) {
        const size_t n = width(s);
        if (w > 0 && n < size_t(w)) m_os.fill(' ', size_t(w) - n);
        text(s);
    }

  private:
    void writeConverted(std::string_view s);
    static size_t displayWidth(std::string_view s);
    OutSink& m_os;
    bool m_utf8;
};

// The charset an HTML file of this encoding declares.
const char* charsetName(OutputEncoding enc);

// A template's text with CR LF line ends, in the output encoding, its charset
// declaration naming that encoding.
std::string templateText(const std::string& raw, OutputEncoding enc);

} // namespace textout
