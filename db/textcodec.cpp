#include "textcodec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

bool isAscii(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
    return true;
}

// One converter per direction and thread; iconv handles are not thread-safe.
class Converter {
  public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts, replacing undecodable input bytes by `bad`.
    std::string run(const char* in, size_t n, const char* bad) {
        std::string out;
        out.resize(n * 2 + 16);
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in);
        size_t srcLeft = n;
        size_t done = 0;
        while (srcLeft > 0) {
            char* dst = &out[done];
            size_t dstLeft = out.size() - done;
            size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            done = out.size() - dstLeft;
            if (r != static_cast<size_t>(-1)) break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
            } else { // EILSEQ or EINVAL: skip one byte, mark it
                out.resize(done);
                out += bad;
                done = out.size();
                out.resize(done + srcLeft * 2 + 16);
                ++src;
                --srcLeft;
            }
        }
        out.resize(done);
        return out;
    }

  private:
    iconv_t m_cd;
};

Converter& toGb() {
    thread_local Converter c("GB18030", "UTF-8");
    return c;
}
Converter& toU8() {
    thread_local Converter c("UTF-8", "GB18030");
    return c;
}

} // namespace

namespace textcodec {

std::string toLocal8(const QString& s) {
    QByteArray u = s.toUtf8();
    if (isAscii(u.constData(), size_t(u.size()))) return std::string(u.constData(), size_t(u.size()));
    return toGb().run(u.constData(), size_t(u.size()), "?");
}

QString fromLocal8(const std::string& s) {
    if (isAscii(s.data(), s.size())) return QString::fromLatin1(s.data(), qsizetype(s.size()));
    std::string u = toU8().run(s.data(), s.size(), "\xEF\xBF\xBD");
    return QString::fromUtf8(u.data(), qsizetype(u.size()));
}

QString fromLocal8(const char* s) {
    return fromLocal8(std::string(s ? s : ""));
}

std::string gb(const char* utf8) {
    size_t n = std::char_traits<char>::length(utf8);
    if (isAscii(utf8, n)) return std::string(utf8, n);
    return toGb().run(utf8, n, "?");
}

std::string toUtf8(const std::string& local8) {
    if (isAscii(local8.data(), local8.size())) return local8;
    return toU8().run(local8.data(), local8.size(), "\xEF\xBF\xBD");
}

bool isValidUtf8(const char* p, size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len;
        unsigned lo = 0x80, hi = 0xBF; // range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F; // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + len > n || s[i + 1] < lo || s[i + 1] > hi) return false;
        for (size_t k = 2; k < len; ++k)
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        i += len;
    }
    return true;
}

size_t gb18030CharLength(const char* p, size_t n) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    if (n == 0) return 0;
    if (s[0] < 0x80) return 1;
    if (s[0] == 0x80 || s[0] == 0xFF || n < 2) return 0;
    const unsigned char d = s[1];
    if (d >= 0x30 && d <= 0x39) // four bytes
        return n >= 4 && s[2] >= 0x81 && s[2] <= 0xFE && s[3] >= 0x30 && s[3] <= 0x39 ? 4 : 0;
    return (d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xFE) ? 2 : 0;
}

bool isValidGb18030(const char* p, size_t n) {
    for (size_t i = 0; i < n;) {
        const size_t len = gb18030CharLength(p + i, n - i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

int displayWidth(const std::string& s) {
    int w = 0;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++w;
            ++i;
        } else if (i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x30 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x39) {
            w += 2; // four-byte sequence
            i += 4;
        } else {
            w += 2;
            i += 2;
        }
    }
    return w;
}

} // namespace textcodec
