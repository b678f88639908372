#pragma once
// All 8-bit text inside the program is GB18030. These are the only places where
// text changes encoding: database, widgets, files and the terminal call them.
#include <QString>
#include <string>

namespace textcodec {

// QString -> GB18030 bytes.
std::string toLocal8(const QString& s);
// GB18030 bytes -> QString. Invalid sequences become U+FFFD.
QString fromLocal8(const std::string& s);
QString fromLocal8(const char* s);
// UTF-8 source literal -> GB18030 bytes (for the program's own messages).
std::string gb(const char* utf8);
// GB18030 bytes -> UTF-8 bytes (terminal, UTF-8 output files).
std::string toUtf8(const std::string& local8);
// Whether `s` is well-formed UTF-8 / GB18030 (one-, two- and four-byte sequences).
bool isValidUtf8(const char* s, size_t n);
bool isValidGb18030(const char* s, size_t n);
// Bytes of the GB18030 character at s[0] (1, 2 or 4), or 0 when they are not a whole
// character: a browser then shows one replacement and reads the next byte on its own.
size_t gb18030CharLength(const char* s, size_t n);
// Number of display columns of GB18030 text: a double- or four-byte character counts two.
int displayWidth(const std::string& local8);

} // namespace textcodec
