#pragma once
// Byte sinks the writers stream into. A file sink writes to a temporary name in the
// target's folder and replaces the target only on commit(), so a failed or
// interrupted run leaves the previous output intact.
#include "db/export.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class SCREPORT_CORE_EXPORT OutSink {
  public:
    virtual ~OutSink() = default;
    void write(const char* p, size_t n) {
        if (n <= size_t(m_end - m_pos)) {
            if (n) std::memcpy(m_pos, p, n); // p may be null for an empty text
            m_pos += n;
        } else {
            writeSlow(p, n);
        }
    }
    void write(std::string_view s) { write(s.data(), s.size()); }
    void put(char c) {
        if (m_pos == m_end) {
            flushBuffer();
            if (m_pos == m_end) return fail();
        }
        *m_pos++ = c;
    }
    // n copies of c (field padding, dash runs).
    void fill(char c, size_t n);
    void crlf() { write("\r\n", 2); }
    bool failed() const { return m_failed; }

  protected:
    OutSink() = default;
    OutSink(const OutSink&) = delete;
    OutSink& operator=(const OutSink&) = delete;
    // Hands the buffered bytes [m_buf, m_pos) to the target and resets m_pos.
    virtual void flushBuffer() = 0;
    void writeSlow(const char* p, size_t n);
    void fail() { m_failed = true; }

    char* m_buf = nullptr;
    char* m_pos = nullptr;
    char* m_end = nullptr;
    bool m_failed = false;
};

// Collects the bytes in memory (tests, small fragments).
class SCREPORT_CORE_EXPORT StringSink : public OutSink {
  public:
    StringSink();
    ~StringSink() override;
    // Everything written so far.
    const std::string& str();

  protected:
    void flushBuffer() override;

  private:
    std::string m_out;
    char m_local[4096];
};

// A file written under a temporary name beside the target. The destructor removes the
// temporary file unless commit() succeeded.
class SCREPORT_CORE_EXPORT OutFile : public OutSink {
  public:
    // path: GB18030 bytes. Opening failure is kept and reported by commit(). A direct
    // file is written under its own name: it lies in a folder that is itself temporary.
    explicit OutFile(const std::string& path, bool direct = false);
    ~OutFile() override;
    const std::string& path() const { return m_path; }
    bool isOpen() const { return m_fd >= 0; }
    // Flushes, closes and renames over the target; false on any write, close or rename
    // failure (the target is then untouched).
    bool commit();
    // Closes and removes the temporary file.
    void discard();
    // Flush and close without renaming yet (so several files can be renamed together).
    bool finish();
    // Rename after finish().
    bool rename();
    // The temporary file now stands under its target's name, or went: nothing to remove.
    void release() { m_tmpPath.clear(); }
    // The temporary name, for a library that writes the file itself.
    const std::string& tmpPath() const { return m_tmpPath; }
    void setFailed() { m_failed = true; }
    bool isDirect() const { return m_direct; }
    // Bytes handed to the file so far.
    unsigned long long written() const { return m_written + (unsigned long long)(m_pos - m_buf); }

  protected:
    void flushBuffer() override;

  private:
    std::string m_path;
    std::string m_tmpPath;
    bool m_direct = false;
    unsigned long long m_written = 0;
    int m_fd = -1;
    bool m_finished = false;
    char* m_heap = nullptr;
};

// The files of one output run, a set: written under temporary names, then put in the
// place of the previous run's files all together, or not at all. A folder is replaced
// as a whole, so no file of an earlier run survives in it.
class SCREPORT_CORE_EXPORT OutFileSet {
  public:
    OutFileSet();
    ~OutFileSet();
    OutFileSet(const OutFileSet&) = delete;
    OutFileSet& operator=(const OutFileSet&) = delete;
    OutFile& add(const std::string& path);
    // Makes a new empty folder beside `path` (GB18030, no trailing separator) and
    // returns its name; files added inside it take the place of the folder's content
    // in renameAll(). Throws ErrorText when it cannot be made.
    std::string stageFolder(const std::string& path);
    // A file of an earlier run that has no successor in this set: it goes with the rest.
    void removeWithSet(const std::string& path);
    // Flushes and closes every file; throws ErrorText naming the first that failed.
    void finishAll();
    // Puts every folder and file in place of what stood there; throws ErrorText naming
    // the one that could not be replaced, with everything of the previous set back. A
    // folder where a file goes (or the reverse) is never moved: the run fails.
    void renameAll();

  private:
    struct Staged {
        std::string target, staged;
    };
    // One path of the set while it is put in place.
    struct Entry {
        std::string target;
        std::string fresh; // the new content's name; empty: the target just goes
        bool folder = false;
        OutFile* file = nullptr;
        std::string aside; // where the previous content waits until the set is in
        bool in = false, exchanged = false;
    };
    static bool putIn(Entry& e);
    static void takeOut(Entry& e);
    std::vector<std::unique_ptr<OutFile>> m_files;
    std::vector<Staged> m_folders;
    std::vector<std::string> m_removed;
    bool m_committed = false;
};

// ".part<pid>": what this process appends to the names it writes under.
SCREPORT_CORE_EXPORT std::string partSuffix();

// Removes from `dir` what killed runs left: "<name>.part<pid>" and "<name>.old<pid>"
// files and folders whose process no longer runs (a live one may be a run in progress).
// What a run killed while it put its set in place had set aside goes back when its
// name is free. Returns how many were removed or put back.
SCREPORT_CORE_EXPORT int removeStaleParts(const std::string& dir);

// Whether a process with this id runs on this machine.
SCREPORT_CORE_EXPORT bool processAlive(long long pid);
