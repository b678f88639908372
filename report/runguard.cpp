#include "runguard.h"

#include "db/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

FolderLock::FolderLock(const std::string& dir) {
    const QString d = QDir::cleanPath(textcodec::fromLocal8(dir));
    m_dir = QFile::encodeName(d).toStdString();
}

// Makes the folder when it is missing, remembering what it made.
static void makeFolder(const std::string& native, std::vector<std::string>& made) {
    QString d = QFile::decodeName(QByteArray::fromStdString(native));
    std::vector<std::string> missing;
    while (!d.isEmpty() && !QFileInfo::exists(d)) {
        missing.push_back(QFile::encodeName(d).toStdString());
        const QString up = QFileInfo(d).path();
        if (up == d) break;
        d = up;
    }
    if (missing.empty() || !QDir().mkpath(QFile::decodeName(QByteArray::fromStdString(native)))) return;
    made = missing;
}

#ifdef _WIN32

FolderLock::~FolderLock() {
    if (m_handle) CloseHandle(m_handle); // the lock goes with the handle
    for (const std::string& d : m_made)
        if (!QDir().rmdir(QFile::decodeName(QByteArray::fromStdString(d)))) break;
}

bool FolderLock::tryLock() {
    if (m_locked) return true;
    if (!m_handle) {
        makeFolder(m_dir, m_made);
        const QString p =
            QDir(QFile::decodeName(QByteArray::fromStdString(m_dir))).filePath(".screport.lock");
        HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(p.utf16()), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (h == INVALID_HANDLE_VALUE) return true;
        m_handle = h;
    }
    OVERLAPPED at{};
    if (!LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return false;
    m_locked = true;
    return true;
}

#else

FolderLock::~FolderLock() {
    // Still locked: a run waiting for the folder sees it go and takes the new one.
    for (const std::string& d : m_made)
        if (::rmdir(d.c_str()) != 0) break;
    if (m_fd >= 0) ::close(m_fd); // the lock goes with the descriptor
}

bool FolderLock::tryLock() {
    if (m_locked) return true;
    for (;;) {
        if (m_fd < 0) {
            makeFolder(m_dir, m_made);
            m_fd = ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (m_fd < 0) return true;
        }
        // A lock of the open folder: a second run in this very process waits too.
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) return false;
        struct stat held {
        }, now{};
        if (::fstat(m_fd, &held) == 0 && ::stat(m_dir.c_str(), &now) == 0 && held.st_dev == now.st_dev &&
            held.st_ino == now.st_ino)
            break;
        // The folder went (the holder removed the one it had made): lock the one there now.
        ::close(m_fd);
        m_fd = -1;
    }
    m_locked = true;
    return true;
}

#endif

namespace stoprequest {
namespace {

std::atomic<int> g_signal{0};

#ifdef _WIN32
BOOL WINAPI onConsole(DWORD type) {
    const int sig = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    if (g_signal.exchange(sig)) return FALSE; // the second one: the default, which ends the process
    return TRUE;
}
#else
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_before[3];
bool g_taken[3] = {false, false, false};

void onSignal(int sig) {
    if (g_signal.exchange(sig)) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
}
#endif

} // namespace

void install() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsole, TRUE);
#else
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART; // reads from the server go on; the run looks at the flag between rows
    for (int i = 0; i < 3; ++i) {
        if (g_taken[i]) continue;
        sigaction(kSignals[i], nullptr, &g_before[i]);
        // A signal the caller ignores (nohup, a background job) stays ignored.
        if (g_before[i].sa_handler == SIG_IGN) continue;
        g_taken[i] = sigaction(kSignals[i], &sa, nullptr) == 0;
    }
#endif
}

void uninstall() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsole, FALSE);
#else
    for (int i = 0; i < 3; ++i)
        if (g_taken[i]) {
            sigaction(kSignals[i], &g_before[i], nullptr);
            g_taken[i] = false;
        }
#endif
}

int signal() {
    return g_signal.load();
}

int exitStatus(int sig) {
    return 128 + sig;
}

void clear() {
    g_signal = 0;
}

} // namespace stoprequest
