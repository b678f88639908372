#include "outsink.h"

#include "db/errortext.h"
#include "db/textcodec.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace {

constexpr size_t kFileBuffer = 1u << 20;

std::string nativeName(const std::string& local8) {
    return QFile::encodeName(textcodec::fromLocal8(local8)).toStdString();
}

// Replaces an existing target in one step where the platform allows it.
bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    const QString f = textcodec::fromLocal8(from), t = textcodec::fromLocal8(to);
    return MoveFileExW(reinterpret_cast<const wchar_t*>(f.utf16()),
                       reinterpret_cast<const wchar_t*>(t.utf16()), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return ::rename(nativeName(from).c_str(), nativeName(to).c_str()) == 0;
#endif
}

} // namespace

void OutSink::fill(char c, size_t n) {
    while (n > 0) {
        if (m_pos == m_end) {
            flushBuffer();
            if (m_pos == m_end) return fail();
        }
        const size_t k = std::min(n, size_t(m_end - m_pos));
        std::memset(m_pos, c, k);
        m_pos += k;
        n -= k;
    }
}

void OutSink::block() {
    if (m_blocked) return;
    flushBuffer();
    m_blocked = true;
}

void OutSink::writeSlow(const char* p, size_t n) {
    while (n > 0) {
        if (m_pos == m_end) {
            flushBuffer();
            if (m_pos == m_end) return fail();
        }
        const size_t k = std::min(n, size_t(m_end - m_pos));
        std::memcpy(m_pos, p, k);
        m_pos += k;
        p += k;
        n -= k;
    }
}

StringSink::StringSink() {
    m_buf = m_pos = m_local;
    m_end = m_local + sizeof m_local;
}

StringSink::~StringSink() = default;

const std::string& StringSink::str() {
    flushBuffer();
    return m_out;
}

void StringSink::flushBuffer() {
    if (!m_blocked) m_out.append(m_buf, size_t(m_pos - m_buf));
    m_pos = m_buf;
}

OutFile::OutFile(const std::string& path) : m_path(path) {
    m_tmpPath = path + ".part" + std::to_string(long(::getpid()));
    m_fd = ::open(nativeName(m_tmpPath).c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC
#ifdef O_BINARY
                      | O_BINARY
#endif
                  ,
                  0644);
    if (m_fd < 0) m_failed = true;
    m_heap = new char[kFileBuffer];
    m_buf = m_pos = m_heap;
    m_end = m_heap + kFileBuffer;
}

OutFile::~OutFile() {
    discard();
    delete[] m_heap;
}

void OutFile::flushBuffer() {
    const char* p = m_buf;
    size_t n = size_t(m_pos - m_buf);
    m_pos = m_buf;
    if (m_fd < 0 || m_failed || m_blocked) return;
    while (n > 0) {
        const ssize_t k = ::write(m_fd, p, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            m_failed = true;
            return;
        }
        p += k;
        n -= size_t(k);
    }
}

bool OutFile::finish() {
    if (m_finished) return !m_failed;
    flushBuffer();
    if (m_fd >= 0 && ::close(m_fd) != 0) m_failed = true;
    m_fd = -1;
    m_finished = true;
    // A run may hold many finished files; their buffers are not needed any more.
    delete[] m_heap;
    m_heap = m_buf = m_pos = m_end = nullptr;
    return !m_failed;
}

bool OutFile::rename() {
    if (!m_finished || m_failed || m_tmpPath.empty()) return false;
    if (!replaceFile(m_tmpPath, m_path)) {
        m_failed = true;
        return false;
    }
    m_tmpPath.clear();
    return true;
}

bool OutFile::commit() {
    return finish() && rename();
}

void OutFile::discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_finished = true;
    if (!m_tmpPath.empty()) {
        ::unlink(nativeName(m_tmpPath).c_str());
        m_tmpPath.clear();
    }
    m_pos = m_buf;
}

OutFileSet::OutFileSet() = default;
OutFileSet::~OutFileSet() = default;

OutFile& OutFileSet::add(const std::string& path) {
    m_files.push_back(std::make_unique<OutFile>(path));
    return *m_files.back();
}

void OutFileSet::finishAll() {
    for (auto& f : m_files)
        if (!f->finish()) raiseError(textcodec::gb("无法写入文件：") + f->path());
}

void OutFileSet::renameAll() {
    for (auto& f : m_files)
        if (!f->rename()) raiseError(textcodec::gb("无法写入文件：") + f->path());
}
