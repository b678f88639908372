#pragma once
// What the program learns about a case database when it opens it: how the database holds
// its 8-bit text and the real names and engines of its tables. Shared by every handle of
// the open database; read-only once the database is open.
#include "export.h"

#include <QString>

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class SCREPORT_CORE_EXPORT DbSession {
  public:
    // Unicode: the server (or SQLite's UTF-8) holds characters, converted at the boundary.
    // Gb18030Bytes: the columns hold the package's GB18030 bytes (latin1 columns on the
    // server, TEXT that is not UTF-8 in a file); they pass through unchanged both ways.
    // Gb18030Binary: the name columns are binary ones holding GB18030 bytes: those come as
    // stored, other text is converted by the server, and bound text goes as its bytes.
    enum class Text { Unicode, Gb18030Bytes, Gb18030Binary };

    Text text() const { return m_text; }
    void setText(Text t, std::string why) {
        m_text = t;
        m_textWhy = std::move(why);
    }
    // The server and user of a server database ("服务器 ..., 用户 ..."), for messages.
    const std::string& server() const { return m_server; }
    void setServer(std::string s) { m_server = std::move(s); }
    // What decided the text encoding, for the debug stream.
    const std::string& textWhy() const { return m_textWhy; }
    // The stored text of one value as GB18030. `raw`: the value came as the stored bytes
    // (a binary column).
    void decode(const char* p, size_t n, bool raw, std::string& out) const;
    std::string decode(const char* p, size_t n, bool raw = false) const {
        std::string s;
        decode(p, n, raw, s);
        return s;
    }
    // GB18030 text as the database stores it.
    std::string encode(const std::string& local8) const;
    // Whether bound text goes as a binary string (its bytes, whatever the session speaks).
    bool bindsBinary() const { return m_text == Text::Gb18030Binary; }

    // Tables as the catalogue names them. Without a catalogue (nothing added) names are
    // used as the program writes them.
    void addTable(const std::string& name, const std::string& engine);
    bool hasCatalogue() const { return !m_tables.empty(); }
    // The real name of a table the program names, whatever its letter case; empty when
    // the database has none. Throws the error text when two tables differ only in case.
    std::string tableName(const std::string& programName) const;
    // Whether every one of `tables` that exists keeps transactions (InnoDB, or a file).
    bool transactional(const std::vector<std::string>& tables) const;
    // `sql` with every table the program knows written as the catalogue names it.
    // Throws the error text for a name two tables share.
    QString resolve(const QString& sql) const;
    // The program's tables that a statement names and the database lacks (as the program
    // writes them), for the message of a statement that failed.
    std::vector<std::string> missingTables(const QString& sql) const;

  private:
    struct Table {
        std::vector<std::string> names; // real names; more than one: they differ in case only
        std::string engine;
    };
    const Table* find(const std::string& upper) const;

    Text m_text = Text::Unicode;
    std::string m_textWhy;
    std::string m_server;
    std::map<std::string, Table> m_tables; // by upper-case name
    mutable std::mutex m_mutex;
    mutable std::unordered_map<std::u16string, QString> m_resolved;
};
