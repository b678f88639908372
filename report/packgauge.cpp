#include "packgauge.h"

#ifdef __linux__
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <sys/stat.h>

#include <algorithm>

namespace {

// A file written through a buffer trails its size by a block or two: only a position
// well behind the size is a read.
constexpr long long kSlack = 1 << 20;

// Regular files this process holds open, with how far it has read each one.
struct OpenFile {
    unsigned long long dev, ino;
    long long size, pos;
    QString path;
    unsigned long long fd;
};

template <class F> bool eachOpenFile(F&& f) {
    QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists()) return false;
    for (const QString& n : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        struct stat st {};
        if (::stat(QFile::encodeName(fds.filePath(n)).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        long long pos = 0;
        QFile info(QStringLiteral("/proc/self/fdinfo/") + n);
        if (info.open(QIODevice::ReadOnly))
            for (const QByteArray& line : info.readAll().split('\n'))
                if (line.startsWith("pos:")) pos = line.mid(4).trimmed().toLongLong();
        f(OpenFile{(unsigned long long)st.st_dev, (unsigned long long)st.st_ino, (long long)st.st_size, pos,
                   QFile::symLinkTarget(fds.filePath(n)), n.toULongLong()});
    }
    return true;
}

} // namespace

std::set<PackGauge::File> PackGauge::openNow() {
    std::set<File> out;
    eachOpenFile([&](const OpenFile& f) { out.insert(File{f.dev, f.ino, f.size}); });
    return out;
}

PackGauge::PackGauge(const std::set<File>& before, const std::string& packagePath)
    : m_package(QFileInfo(QFile::decodeName(QByteArray::fromStdString(packagePath)))
                    .absoluteFilePath()
                    .toStdString()) {
    m_works = eachOpenFile([&](const OpenFile& f) {
        const File file{f.dev, f.ino, f.size};
        m_openAtStart.insert(file);
        if (before.count(file)) return;
        m_sheets.insert(file);
        m_sheetFd[file] = f.fd;
        m_total += f.size;
    });
}

bool PackGauge::measure(long long& done, long long& total) const {
    if (!m_works || m_total == 0) return false;
    // A sheet's row file closes once its part is assembled; the part, a new file of about
    // its size, is written, then read back while it is packed. While it is written it
    // is still to be packed whole.
    std::set<File> open;
    long long pending = 0;
    eachOpenFile([&](const OpenFile& f) {
        const File key{f.dev, f.ino, 0};
        if (f.path.toStdString() == m_package) return;
        const auto sheet = m_sheets.find(key);
        if (sheet != m_sheets.end() && !m_gone.count(key)) {
            // A new file may get the inode of a row file just deleted, often with its
            // descriptor number too; it starts out smaller.
            if (m_sheetFd.at(key) == f.fd && f.size + kSlack >= sheet->size) {
                open.insert(key);
                return;
            }
            m_gone.insert(key);
        }
        if (m_openAtStart.count(key) && sheet == m_sheets.end()) return; // other reports, the database
        long long& seen = m_partSize[key];
        if (f.size + kSlack < seen) m_read.erase(key); // a new part in an old one's inode
        seen = f.size;
        if (f.pos + kSlack < f.size) m_read.insert(key);
        pending += m_read.count(key) ? f.size - std::min(f.pos, f.size) : f.size;
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

PackGauge::PackGauge(const std::set<File>&, const std::string&) {}

bool PackGauge::measure(long long&, long long&) const {
    return false;
}

#endif
