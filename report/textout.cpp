#include "textout.h"

#include "db/textcodec.h"

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
