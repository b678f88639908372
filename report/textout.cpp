#include "textout.h"

#include "db/textcodec.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace textout {

void Writer::num(long v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    m_os.write(buf, size_t(r.ptr - buf));
}

void Writer::writeConverted(std::string_view s) {
    m_os.write(textcodec::toUtf8(std::string(s)));
}

void Writer::writeHtmlEscaped(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 16);
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        out += c == '&'   ? "&amp;"
               : c == '<' ? "&lt;"
               : c == '>' ? "&gt;"
               : c == '"' ? "&quot;"
                          : s.substr(i, 1);
    }
    text(out);
}

namespace {

void jsChar(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789ABCDEF";
    const char* esc = c == '\\'   ? "\\\\"
                      : c == '"'  ? "\\\""
                      : c == '\n' ? "\\n"
                      : c == '\r' ? "\\r"
                                  : nullptr;
    if (esc) {
        out += esc;
    } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == '&') {
        // < > & as hex escapes: no "</script", "<!--" or "-->" can form.
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    } else {
        out += char(c);
    }
}

} // namespace

void Writer::js(std::string_view s) {
    // Converted to UTF-8 first, where every byte of a multi-byte character is above 0x7F.
    // A GB18030 trail byte may be a backslash: that text is walked by whole characters,
    // and a lead byte without its trail replaced, lest it join an escape's backslash.
    const std::string u = m_utf8 ? textcodec::toUtf8(std::string(s)) : std::string();
    if (m_utf8) s = u;
    // Line and paragraph separators end a line in older script engines.
    const std::string_view lineSep = m_utf8 ? "\xE2\x80\xA8" : "\x81\x36\xA6\x35",
                           paraSep = m_utf8 ? "\xE2\x80\xA9" : "\x81\x36\xA6\x36";
    std::string out;
    for (size_t i = 0, len = 0; i < s.size(); i += std::max<size_t>(len, 1)) {
        const auto c = static_cast<unsigned char>(s[i]);
        len = !m_utf8    ? textcodec::gb18030CharLength(s.data() + i, s.size() - i)
              : c < 0x80 ? 1
              : c < 0xE0 ? 2
              : c < 0xF0 ? 3
                         : 4;
        const std::string_view ch = s.substr(i, len);
        if (len == 1)
            jsChar(out, c);
        else if (len == 0)
            out += "\\uFFFD";
        else if (ch == lineSep || ch == paraSep)
            out += ch == lineSep ? "\\u2028" : "\\u2029";
        else
            out += ch;
    }
    m_os.write(out);
}

size_t Writer::displayWidth(std::string_view s) {
    return size_t(textcodec::displayWidth(std::string(s)));
}

const char* charsetName(OutputEncoding enc) {
    return enc == OutputEncoding::Utf8 ? "utf-8" : "gb18030";
}

std::string templateText(const std::string& raw, OutputEncoding enc) {
    std::string s;
    s.reserve(raw.size() + raw.size() / 16);
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') {
            s += "\r\n";
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            s += "\r\n";
        } else {
            s += c;
        }
    }
    if (enc == OutputEncoding::Utf8 && !isAscii(s)) s = textcodec::toUtf8(s);
    // A template of one's own may still name gb2312, a subset of what is written.
    const std::string to = std::string("charset=") + charsetName(enc);
    for (const char* from : {"charset=gb2312", "charset=gb18030"}) {
        const size_t n = std::strlen(from);
        for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
            s.replace(at, n, to);
    }
    return s;
}

} // namespace textout
