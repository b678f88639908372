#include "dataproblems.h"

#include "log.h"
#include "textcodec.h"

#include <QMetaType>

using textcodec::gb;

namespace dataproblems {

namespace {

// Per thread: a report built on a thread of its own collects its problems apart.
thread_local List* g_current = nullptr;

bool numericType(int id) {
    switch (id) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

} // namespace

void List::add(Problem p) {
    const std::string id = p.table + '\x1f' + p.column + '\x1f' + p.key;
    if (!m_seen.emplace(id, m_entries.size()).second) return;
    m_entries.push_back(std::move(p));
}

std::map<Kind, size_t> List::counts() const {
    std::map<Kind, size_t> n;
    for (const Problem& p : m_entries)
        ++n[p.kind];
    return n;
}

std::string kindText(Kind k) {
    switch (k) {
    case Kind::Null:
        return gb("空值(NULL)");
    case Kind::NotNumber:
        return gb("不是数字");
    case Kind::NotFinite:
        return gb("不是有限数");
    case Kind::OutOfDomain:
        return gb("超出取值范围");
    case Kind::Missing:
        return gb("缺少数据");
    case Kind::Duplicate:
        return gb("重复的行");
    case Kind::Conflict:
        return gb("互相矛盾的重复行");
    case Kind::Mismatch:
        return gb("与计算结果不符");
    case Kind::Overflow:
        return gb("计算结果溢出");
    case Kind::BadText:
        return gb("无法识别的文字");
    }
    return std::string();
}

std::string actionText(Action a) {
    switch (a) {
    case Action::CellsEmpty:
        return gb("相关单元格留空");
    case Action::RowLeftOut:
        return gb("该行未输出");
    case Action::FaultLeftOut:
        return gb("该故障点未输出");
    case Action::UsedOnce:
        return gb("只用一次");
    case Action::ItemLeftOut:
        return gb("该项未输出");
    case Action::PerUnitUsed:
        return gb("按标幺值输出");
    case Action::FirstRowUsed:
        return gb("用第一行的值");
    }
    return std::string();
}

std::string lineText(const Problem& p) {
    std::string s = p.table + "." + p.column + "  " + p.key + "  ";
    if (!p.value.empty()) s += gb("存储值 ") + p.value + "  ";
    return s + kindText(p.kind) + gb("，") + actionText(p.action);
}

std::string countsText(const List& l) {
    std::string s = std::to_string(l.size()) + gb(" 个数据问题：");
    bool first = true;
    for (const auto& [kind, n] : l.counts()) {
        s += (first ? "" : gb("，")) + kindText(kind) + " " + std::to_string(n);
        first = false;
    }
    return s;
}

void setCurrent(List* list) {
    g_current = list;
}

List* current() {
    return g_current;
}

void report(Problem p) {
    if (g_current)
        g_current->add(std::move(p));
    else
        screport::logError(gb("数据错误：") + lineText(p));
}

Checked readNumber(const QVariant& v, Domain d) {
    if (!v.isValid() || v.isNull()) return nullValue();
    if (!numericType(v.typeId())) return readNumberText(v.toString(), d);
    bool ok = false;
    const double x = v.toDouble(&ok);
    if (!ok) {
        Checked c;
        c.kind = Kind::NotNumber;
        return c;
    }
    return readNumber(x, d);
}

Checked readNumberText(const QString& s, Domain d) {
    bool ok = false;
    const double x = s.trimmed().toDouble(&ok);
    if (!ok) {
        Checked c;
        c.kind = Kind::NotNumber;
        return c;
    }
    return readNumber(x, d);
}

Checked readNumber(double x, Domain d) {
    Checked c;
    if (!std::isfinite(x)) {
        c.kind = Kind::NotFinite;
        return c;
    }
    bool inDomain = true;
    switch (d) {
    case Domain::Finite:
        inDomain = std::fabs(x) <= kMaxStored;
        break;
    case Domain::Positive:
        inDomain = x >= 1.0 / kMaxStored && x <= kMaxStored;
        break;
    case Domain::Integer:
        inDomain = x == std::floor(x) && x >= -2147483648.0 && x <= 2147483647.0;
        break;
    case Domain::FaultType:
        inDomain = x == std::floor(x) && x >= 1.0 && x <= 4.0;
        break;
    }
    if (!inDomain) {
        c.kind = Kind::OutOfDomain;
        return c;
    }
    c.value = x;
    c.ok = true;
    return c;
}

std::string storedText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return std::string();
    if (numericType(v.typeId())) return storedText(v.toDouble());
    return storedText(v.toString());
}

std::string storedText(double x) {
    return textcodec::toLocal8(QString::number(x, 'g', 17));
}

std::string storedText(const QString& s) {
    // A long value is named by its start.
    return "'" + textcodec::toLocal8(s.size() > 40 ? s.left(40) + "..." : s) + "'";
}

} // namespace dataproblems
