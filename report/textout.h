#pragma once
// Writing model text into a sink in the chosen output encoding: the model's GB18030
// bytes unchanged, or converted to UTF-8 with fields aligned by display width.
#include "report/outsink.h"
#include "report/reportoutput.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace textout {

inline bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Whether s holds & < > or ", none of which is part of a multi-byte GB18030 character.
// Record cells come by the million: eight bytes at a time, in overlapping loads. A byte
// is < or > when (b | 2) == '>', " or & when (b | 4) == '&'.
inline bool holdsMarkup(std::string_view s) {
    constexpr uint64_t ones = 0x0101010101010101ull;
    const auto found = [](uint64_t x) {
        const uint64_t a = (x | 0x02 * ones) ^ 0x3E * ones, b = (x | 0x04 * ones) ^ 0x26 * ones;
        return (((a - ones) & ~a) | ((b - ones) & ~b)) & 0x80 * ones; // a zero byte in a or b
    };
    const char* p = s.data();
    const size_t n = s.size();
    uint64_t x = 0, y = 0;
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&x, p + i, 8);
            if (found(x)) return true;
        }
        std::memcpy(&x, p + n - 8, 8);
        return found(x);
    }
    if (n >= 4) {
        std::memcpy(&x, p, 4);
        std::memcpy(&y, p + n - 4, 4);
        return found(x << 32 | y);
    }
    x = ~uint64_t(0); // no byte of it is found
    for (size_t i = 0; i < n; ++i)
        x = x << 8 | static_cast<unsigned char>(p[i]);
    return found(x);
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
    // Model text as HTML or XML text, or as a double-quoted attribute value. Text without
    // & < > " is written as it is, in one piece.
    void html(std::string_view s) {
        if (holdsMarkup(s))
            writeHtmlEscaped(s);
        else
            text(s);
    }
    // Model text inside a double-quoted JavaScript string in a script element: nothing in
    // it ends the string, the line, the element or opens a comment.
    void js(std::string_view s);
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
    void writeHtmlEscaped(std::string_view s);
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
