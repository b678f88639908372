#include "outsink.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
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

// Renames a file or folder to a name that is free.
bool movePath(const std::string& from, const std::string& to) {
#ifdef _WIN32
    const QString f = textcodec::fromLocal8(from), t = textcodec::fromLocal8(to);
    return MoveFileExW(reinterpret_cast<const wchar_t*>(f.utf16()),
                       reinterpret_cast<const wchar_t*>(t.utf16()), 0) != 0;
#else
    return ::rename(nativeName(from).c_str(), nativeName(to).c_str()) == 0;
#endif
}

bool removePath(const QString& path) {
    const QFileInfo fi(path);
    if (fi.isDir() && !fi.isSymLink()) return QDir(path).removeRecursively();
    return QFile::remove(path);
}

// Swaps two existing paths in one step where the system can; false elsewhere.
bool exchangePaths(const std::string& a, const std::string& b) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    return ::renameat2(AT_FDCWD, nativeName(a).c_str(), AT_FDCWD, nativeName(b).c_str(), RENAME_EXCHANGE) ==
           0;
#else
    (void)a;
    (void)b;
    return false;
#endif
}

std::string asideName(const std::string& target) {
    return target + ".old" + std::to_string(long(::getpid()));
}

} // namespace

std::string partSuffix() {
    return ".part" + std::to_string(long(::getpid()));
}

bool processAlive(long long pid) {
    if (pid <= 0) return false;
#ifdef _WIN32
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    CloseHandle(h);
    return alive;
#else
    if (pid > 0x7fffffffLL) return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

int removeStaleParts(const std::string& dir) {
    static const QRegularExpression leftover(QStringLiteral("^(.+)\\.(part|old)([0-9]{1,18})$"));
    const QString d = textcodec::fromLocal8(dir);
    int n = 0;
    const QDir::Filters filter = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    for (const QFileInfo& fi : QDir(d).entryInfoList(filter)) {
        const QRegularExpressionMatch m = leftover.match(fi.fileName());
        if (!m.hasMatch() || processAlive(m.captured(3).toLongLong())) continue;
        const QString path = fi.absoluteFilePath();
        if (m.captured(2) == QLatin1String("old")) {
            const QString base = fi.absolutePath() + QLatin1Char('/') + m.captured(1);
            if (!QFileInfo::exists(base)) {
                if (movePath(textcodec::toLocal8(path), textcodec::toLocal8(base))) {
                    screport::logDebugU("恢复被中断的输出移开的文件：", textcodec::toLocal8(base));
                    ++n;
                }
                continue;
            }
        }
        if (removePath(path)) {
            screport::logDebugU("删除被中断的输出留下的文件：", textcodec::toLocal8(path));
            ++n;
        }
    }
    return n;
}

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
    m_out.append(m_buf, size_t(m_pos - m_buf));
    m_pos = m_buf;
}

OutFile::OutFile(const std::string& path, bool direct) : m_path(path), m_direct(direct) {
    m_tmpPath = direct ? path : path + partSuffix();
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
    if (m_fd < 0 || m_failed) return;
    while (n > 0) {
        const ssize_t k = ::write(m_fd, p, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            m_failed = true;
            return;
        }
        p += k;
        n -= size_t(k);
        m_written += (unsigned long long)k;
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
    if (!m_direct && !replaceFile(m_tmpPath, m_path)) {
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

OutFileSet::~OutFileSet() {
    m_files.clear(); // removes the temporary files first
    if (!m_committed)
        for (const Staged& f : m_folders)
            removePath(textcodec::fromLocal8(f.staged));
}

OutFile& OutFileSet::add(const std::string& path) {
    bool inStaged = false;
    for (const Staged& f : m_folders)
        if (path.size() > f.staged.size() && path.compare(0, f.staged.size(), f.staged) == 0 &&
            (path[f.staged.size()] == '/' || path[f.staged.size()] == '\\'))
            inStaged = true;
    m_files.push_back(std::make_unique<OutFile>(path, inStaged));
    return *m_files.back();
}

std::string OutFileSet::stageFolder(const std::string& path) {
    const std::string staged = path + partSuffix();
    const QString s = textcodec::fromLocal8(staged);
    removePath(s); // left by this process id before: not a run in progress
    if (!QDir().mkdir(s)) raiseError(textcodec::gb("无法写入文件：") + path);
    m_folders.push_back(Staged{path, staged});
    return staged;
}

void OutFileSet::removeWithSet(const std::string& path) {
    m_removed.push_back(path);
}

void OutFileSet::finishAll() {
    for (auto& f : m_files)
        if (!f->finish()) raiseError(textcodec::gb("无法写入文件：") + f->path());
}

// The previous content goes aside (or is exchanged with the new in one step), the new
// content takes its place.
bool OutFileSet::putIn(Entry& e) {
    const QFileInfo fi(textcodec::fromLocal8(e.target));
    if (fi.exists() || fi.isSymLink()) {
        if ((fi.isDir() && !fi.isSymLink()) != e.folder) return false;
        if (!e.fresh.empty() && exchangePaths(e.fresh, e.target)) {
            e.aside = e.fresh;
            e.in = e.exchanged = true;
            return true;
        }
        const std::string aside = asideName(e.target);
        removePath(textcodec::fromLocal8(aside)); // this process id's: no run in progress
        if (!movePath(e.target, aside)) return false;
        e.aside = aside;
    }
    if (e.fresh.empty()) return true;
    if (!movePath(e.fresh, e.target)) return false;
    e.in = true;
    return true;
}

// Undoes putIn: the new content back under its temporary name, the previous in place.
void OutFileSet::takeOut(Entry& e) {
    bool ok = true;
    if (e.exchanged) {
        ok = exchangePaths(e.fresh, e.target);
    } else {
        if (e.in) ok = movePath(e.target, e.fresh);
        if (ok && !e.aside.empty()) ok = movePath(e.aside, e.target);
    }
    if (!ok) screport::logErrorU("无法恢复之前输出的文件：", e.target);
    e.in = e.exchanged = false;
    e.aside.clear();
}

void OutFileSet::renameAll() {
    std::vector<Entry> set;
    auto entry = [&set](const std::string& target, const std::string& fresh, bool folder) -> Entry& {
        set.emplace_back();
        set.back().target = target;
        set.back().fresh = fresh;
        set.back().folder = folder;
        return set.back();
    };
    for (const Staged& f : m_folders)
        entry(f.target, f.staged, true);
    for (auto& f : m_files) {
        if (f->isDirect()) continue; // inside a staged folder
        if (f->failed() || f->tmpPath().empty()) raiseError(textcodec::gb("无法写入文件：") + f->path());
        entry(f->path(), f->tmpPath(), false).file = f.get();
    }
    for (const std::string& r : m_removed)
        entry(r, std::string(), false);
    for (size_t i = 0; i < set.size(); ++i) {
        if (putIn(set[i])) continue;
        for (size_t k = i + 1; k-- > 0;)
            takeOut(set[k]);
        raiseError(textcodec::gb("无法替换文件：") + set[i].target +
                   textcodec::gb("，之前输出的文件都已恢复"));
    }
    m_committed = true;
    for (Entry& e : set) {
        if (!e.aside.empty()) removePath(textcodec::fromLocal8(e.aside));
        if (e.file) e.file->release();
    }
}
