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
    // Ignores everything written from now on (what came before stays). Not a failure:
    // the file is still completed.
    void block();
    bool blocked() const { return m_blocked; }

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
    bool m_blocked = false;
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
    // path: GB18030 bytes. Opening failure is kept and reported by commit().
    explicit OutFile(const std::string& path);
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
    // The temporary name, for a library that writes the file itself.
    const std::string& tmpPath() const { return m_tmpPath; }
    void setFailed() { m_failed = true; }

  protected:
    void flushBuffer() override;

  private:
    std::string m_path;
    std::string m_tmpPath;
    int m_fd = -1;
    bool m_finished = false;
    char* m_heap = nullptr;
};

// The files of one output run: written under temporary names, then all renamed over
// the previous run's files once every one of them is complete.
class SCREPORT_CORE_EXPORT OutFileSet {
  public:
    OutFileSet();
    ~OutFileSet();
    OutFileSet(const OutFileSet&) = delete;
    OutFileSet& operator=(const OutFileSet&) = delete;
    OutFile& add(const std::string& path);
    // Flushes and closes every file; throws ErrorText naming the first that failed.
    void finishAll();
    // Renames every file over its target; throws ErrorText naming a failure.
    void renameAll();

  private:
    std::vector<std::unique_ptr<OutFile>> m_files;
};
