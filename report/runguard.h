#pragma once
// What keeps output runs from spoiling each other's files: one run at a time per
// folder, and stop signals that cancel a run instead of cutting it off.
#include "db/export.h"

#include <string>
#include <vector>

// An advisory lock on an output folder itself (on Windows, on a file in it). The system
// drops it when the holder's process ends, however it ends, so a dead run never blocks
// the next one.
class SCREPORT_CORE_EXPORT FolderLock {
  public:
    // dir: GB18030. A missing folder is made to be locked, and removed again with the
    // lock if the run left it empty.
    explicit FolderLock(const std::string& dir);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Takes the lock when it is free. A folder that takes no lock file counts as free:
    // the run then fails on its own files, naming them.
    bool tryLock();

  private:
    std::string m_dir;               // native
    std::vector<std::string> m_made; // folders made for the lock, innermost first
    bool m_locked = false;
#ifdef _WIN32
    void* m_handle = nullptr;
#else
    int m_fd = -1;
#endif
};

namespace stoprequest {

// From here on SIGINT, SIGTERM and SIGHUP (Ctrl+C and a closed console on Windows) ask
// the run to stop, which it does as if cancelled; a second one ends the process at once.
SCREPORT_CORE_EXPORT void install();
// Back to the handling before install().
SCREPORT_CORE_EXPORT void uninstall();
// The signal that asked, 0 when none did.
SCREPORT_CORE_EXPORT int signal();
// What a process stopped by `sig` exits with: 128 + its number.
SCREPORT_CORE_EXPORT int exitStatus(int sig);
// Forgets a request (tests).
SCREPORT_CORE_EXPORT void clear();

} // namespace stoprequest
