#include "dbsession.h"

#include "errortext.h"
#include "schema.h"
#include "textcodec.h"

#include <algorithm>

namespace {

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

// The tables the program names, in upper case.
const std::set<std::string>& programTables() {
    static const std::set<std::string> names = [] {
        std::set<std::string> s;
        for (const schema::Table& t : schema::tables())
            s.insert(upper(t.name));
        return s;
    }();
    return names;
}

bool identChar(QChar c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Calls `f(start, length)` for every bare word of `sql` outside quotes.
template <class F> void forEachWord(const QString& sql, F&& f) {
    const int n = int(sql.size());
    for (int i = 0; i < n;) {
        const QChar c = sql[i];
        if (c == '\'' || c == '"' || c == '`') {
            int j = i + 1;
            while (j < n && sql[j] != c)
                j += sql[j] == '\\' && c == '\'' ? 2 : 1;
            i = j + 1;
        } else if (identChar(c)) {
            int j = i;
            while (j < n && identChar(sql[j]))
                ++j;
            f(i, j - i);
            i = j;
        } else {
            ++i;
        }
    }
}

} // namespace

void DbSession::decode(const char* p, size_t n, bool raw, std::string& out) const {
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i)
        ascii = static_cast<unsigned char>(p[i]) < 0x80;
    // Text that is not UTF-8 is the package's GB18030, whatever the database says.
    if (ascii || raw || m_text == Text::Gb18030Bytes || !textcodec::isValidUtf8(p, n)) {
        out.assign(p ? p : "", n);
        return;
    }
    out = textcodec::toLocal8(QString::fromUtf8(p, qsizetype(n)));
}

std::string DbSession::encode(const std::string& local8) const {
    if (m_text != Text::Unicode) return local8;
    return textcodec::toUtf8(local8);
}

void DbSession::addTable(const std::string& name, const std::string& engine) {
    Table& t = m_tables[upper(name)];
    t.names.push_back(name);
    if (t.engine.empty()) t.engine = upper(engine);
}

const DbSession::Table* DbSession::find(const std::string& up) const {
    auto it = m_tables.find(up);
    if (it == m_tables.end()) return nullptr;
    if (it->second.names.size() > 1) {
        std::string both;
        for (const std::string& n : it->second.names)
            both += (both.empty() ? "" : ", ") + n;
        raiseError(textcodec::gb("数据库中有名称只差大小写的表，不知道该读哪一个:") + both);
    }
    return &it->second;
}

std::string DbSession::tableName(const std::string& programName) const {
    if (!hasCatalogue()) return programName;
    const Table* t = find(upper(programName));
    return t ? t->names.front() : std::string();
}

bool DbSession::transactional(const std::vector<std::string>& tables) const {
    for (const std::string& name : tables) {
        auto it = m_tables.find(upper(name));
        if (it == m_tables.end()) continue;
        const std::string& e = it->second.engine;
        // SQLite files (no engine) and the server's transactional engines.
        if (!e.empty() && e != "INNODB" && e != "XTRADB") return false;
    }
    return true;
}

QString DbSession::resolve(const QString& sql) const {
    if (!hasCatalogue()) return sql;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_resolved.find(sql.toStdU16String());
        if (it != m_resolved.end()) return it->second;
    }
    QString out;
    int copied = 0;
    forEachWord(sql, [&](int at, int len) {
        const std::string up = upper(sql.mid(at, len).toStdString());
        if (!programTables().count(up)) return;
        const Table* t = find(up);
        if (!t) return; // missing: the database says so when the statement runs
        out += sql.mid(copied, at - copied) + QString::fromStdString(t->names.front());
        copied = at + len;
    });
    out += sql.mid(copied);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_resolved.emplace(sql.toStdU16String(), out);
    return out;
}

std::vector<std::string> DbSession::missingTables(const QString& sql) const {
    std::vector<std::string> out;
    if (!hasCatalogue()) return out;
    forEachWord(sql, [&](int at, int len) {
        const std::string word = sql.mid(at, len).toStdString();
        const std::string up = upper(word);
        if (programTables().count(up) && !m_tables.count(up) &&
            std::find(out.begin(), out.end(), word) == out.end())
            out.push_back(word);
    });
    return out;
}
