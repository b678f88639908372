#pragma once
// How far the .xlsx library has come packing its sheets. It writes each sheet's rows to a
// temporary file of its own and packs them one by one: the bytes it has read of them,
// against their sizes when packing began, are the packing's progress.
#include <map>
#include <set>
#include <string>
#include <utility>

class PackGauge {
  public:
    struct File {
        unsigned long long dev = 0, ino = 0;
        long long size = 0;
        bool operator<(const File& o) const { return std::pair(dev, ino) < std::pair(o.dev, o.ino); }
    };
    // Regular files the process holds open (none where the system does not tell).
    static std::set<File> openNow();
    // The sheets' files: those open now that were not open `before` (when the workbook
    // was begun), but for the package itself. Call just before packing starts.
    PackGauge(const std::set<File>& before, const std::string& packagePath);
    // Bytes packed so far and in all; false where the system does not show open files.
    bool measure(long long& done, long long& total) const;

  private:
    std::set<File> m_sheets; // the sheets' row files, still to be packed
    long long m_total = 0;
    mutable long long m_done = 0;  // never goes back
    mutable std::set<File> m_read; // parts seen being read back: written whole
    mutable std::set<File> m_gone; // sheets whose inode a new file has taken
    std::set<File> m_openAtStart;  // open when packing began: only the sheets count
    std::map<File, unsigned long long> m_sheetFd;
    mutable std::map<File, long long> m_partSize; // last size seen of each part
    bool m_works = false;
    std::string m_package; // as the system names open files
};
