#include "packgauge.h"

#ifdef __linux__
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>

#include <algorithm>

namespace {

// Deleted files this process holds open, with how far it has read each one.
struct OpenFile {
    unsigned long long dev, ino;
    long long size, pos;
};

template <class F> bool eachDeletedFile(F&& f) {
    QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists()) return false;
    for (const QString& n : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString link = QFile::symLinkTarget(fds.filePath(n));
        if (!link.endsWith(QLatin1String(" (deleted)"))) continue;
        struct stat st {};
        if (::stat(QFile::encodeName(fds.filePath(n)).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        long long pos = 0;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + n);
        if (info.open(QIODevice::ReadOnly))
            for (const QByteArray& line : info.readAll().split('\n'))
                if (line.startsWith("pos:")) pos = line.mid(4).trimmed().toLongLong();
        f(OpenFile{(unsigned long long)st.st_dev, (unsigned long long)st.st_ino, (long long)st.st_size, pos});
    }
    return true;
}

} // namespace

std::set<PackGauge::File> PackGauge::openNow() {
    std::set<File> out;
    eachDeletedFile([&](const OpenFile& f) { out.insert(File{f.dev, f.ino, f.size}); });
    return out;
}

PackGauge::PackGauge(const std::set<File>& before) {
    m_works = eachDeletedFile([&](const OpenFile& f) {
        const File file{f.dev, f.ino, f.size};
        if (before.count(file)) return;
        m_sheets.insert(file);
        m_total += f.size;
    });
}

bool PackGauge::measure(long long& done, long long& total) const {
    if (!m_works || m_total == 0) return false;
    // A sheet's row file closes once its part is assembled; the part, a new file of about
    // its size, is then read while it is packed.
    std::set<File> open;
    long long pending = 0;
    eachDeletedFile([&](const OpenFile& f) {
        const File key{f.dev, f.ino, 0};
        if (m_sheets.count(key))
            open.insert(key);
        else
            pending += f.size > f.pos ? f.size - f.pos : 0;
    });
    long long packed = 0;
    for (const File& s : m_sheets)
        if (!open.count(s)) packed += s.size;
    m_done = std::max(m_done, std::min(m_total, packed - pending));
    done = m_done;
    total = m_total;
    return true;
}

#else

std::set<PackGauge::File> PackGauge::openNow() {
    return {};
}

PackGauge::PackGauge(const std::set<File>&) {}

bool PackGauge::measure(long long&, long long&) const {
    return false;
}

#endif
