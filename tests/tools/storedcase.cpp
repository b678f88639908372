#include "storedcase.h"

#include "db/sqldialect.h"

#include <QSqlError>
#include <QUuid>
#include <cmath>
#include <gtest/gtest.h>

namespace {

std::string utf8(const QVariant& v) {
    return v.toString().toStdString();
}
Cplx cplx(const QSqlQuery& q, int re) {
    return Cplx(q.value(re).toDouble(), q.value(re + 1).toDouble());
}
const Cplx kJ(0, 1);

} // namespace

StoredDb::StoredDb(const std::string& dbArg) {
    SqlDialect d(SqlDialect::backendFor(dbArg));
    m_conn = "stored-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_db = QSqlDatabase::addDatabase(d.driverName(), m_conn);
    d.configure(m_db);
    m_db.setDatabaseName(QString::fromStdString(dbArg));
    EXPECT_TRUE(m_db.open()) << dbArg << ": " << m_db.lastError().text().toStdString();
    d.afterOpen(m_db);
}

StoredDb::~StoredDb() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_conn);
}

QSqlQuery StoredDb::query(const std::string& sql) {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    EXPECT_TRUE(q.exec(QString::fromStdString(sql))) << sql << ": " << q.lastError().text().toStdString();
    return q;
}

std::vector<std::string> StoredDb::texts(const std::string& sql) {
    std::vector<std::string> out;
    QSqlQuery q = query(sql);
    while (q.next())
        out.push_back(utf8(q.value(0)));
    return out;
}

double StoredDb::number(const std::string& sql) {
    QSqlQuery q = query(sql);
    return q.next() ? q.value(0).toDouble() : NAN;
}

StoredCase StoredDb::load(int caseNo) {
    StoredCase c;
    c.caseNo = caseNo;
    const std::string no = std::to_string(caseNo);
    QSqlQuery q = query("SELECT Type_Fault, CASE_LF, R_Fault, X_Fault FROM SC_CASE WHERE Case_No=" + no);
    if (q.next()) {
        c.type = q.value(0).toInt();
        c.caseLF = q.value(1).toInt();
        c.zf = cplx(q, 2);
    }
    q = query("SELECT Bus_Name, Vrz, Viz FROM SCR_LPC WHERE Case_No=" + no);
    while (q.next()) {
        c.index[utf8(q.value(0))] = static_cast<int>(c.bus.size());
        c.bus.push_back(utf8(q.value(0)));
        c.vpre.push_back(cplx(q, 1));
    }
    auto busOf = [&](const QVariant& v) {
        auto it = c.index.find(utf8(v));
        EXPECT_NE(it, c.index.end()) << "case " << caseNo << ": bus " << utf8(v)
                                     << " has no pre-fault voltage";
        return it == c.index.end() ? 0 : it->second;
    };
    std::map<std::tuple<int, int, int>, Cplx> z0;
    q = query("SELECT I_Name, J_Name, ID_No, R0, X0 FROM SCR_LINE0 WHERE CASE_NO=" + no);
    while (q.next())
        z0[{busOf(q.value(0)), busOf(q.value(1)), q.value(2).toInt()}] = cplx(q, 3);
    q = query("SELECT I_Name, J_Name, ID_No, R1, X1, B1_half, Tk, Type FROM SCR_LINE1 WHERE CASE_NO=" + no);
    while (q.next()) {
        StoredBranch b;
        b.i = busOf(q.value(0));
        b.j = busOf(q.value(1));
        b.idNo = q.value(2).toInt();
        b.z1 = cplx(q, 3);
        b.bHalf = q.value(5).toDouble();
        b.tk = q.value(6).toDouble();
        b.type = q.value(7).toInt();
        auto it = z0.find({b.i, b.j, b.idNo});
        b.hasZ0 = it != z0.end();
        if (b.hasZ0) b.z0 = it->second;
        c.branches.push_back(b);
    }
    q = query("SELECT flg, I_Name, J_Name, ID_Name, Percent, T, IR1, II1, IR2, II2, IR0, II0 FROM SCR_R120 "
              "WHERE Case_No=" +
              no + " ORDER BY T");
    while (q.next()) {
        const std::array<Cplx, 3> i = {cplx(q, 6), cplx(q, 8), cplx(q, 10)};
        if (q.value(0).toInt() == 1) {
            c.faults.push_back({utf8(q.value(1)), utf8(q.value(2)), utf8(q.value(3)), q.value(4).toInt(),
                                q.value(5).toInt(), i});
        } else {
            StoredGen g;
            g.bus = busOf(q.value(1));
            g.T = q.value(5).toInt();
            g.name = utf8(q.value(3));
            g.i = i;
            c.gens.push_back(g);
        }
    }
    q = query("SELECT bus_Name, T, VR1, VI1, VR2, VI2, VR0, VI0 FROM SCR_B120 WHERE Case_No=" + no);
    while (q.next()) {
        auto& v = c.v[q.value(1).toInt()];
        v.resize(c.bus.size());
        v[busOf(q.value(0))] = {cplx(q, 2), cplx(q, 4), cplx(q, 6)};
    }
    q = query("SELECT ID_Name, R1, X1, R2, X2, R0, X0 FROM CDB_GENERATBAK");
    while (q.next())
        c.genZ[utf8(q.value(0))] = {cplx(q, 1), cplx(q, 3), cplx(q, 5)};
    return c;
}

Cplx branchCurrent(const StoredBranch& b, int from, Cplx vi, Cplx vj) {
    if (b.i == b.j) return vi / b.z1;
    if (from == b.i) return (vi - vj / b.tk) / b.z1 + kJ * b.bHalf * vi; // the branch current report's I side
    return (vj / b.tk - vi) / (b.tk * b.z1) + kJ * b.bHalf * vj;
}

double maxImbalance(const StoredCase& c, int T, int seq, const std::set<int>& skip) {
    const size_t n = c.bus.size();
    std::vector<Cplx> v(n, 0.0), net(n, 0.0);
    if (T == 0) {
        if (seq == 0) v = c.vpre;
    } else {
        for (size_t k = 0; k < n; ++k)
            v[k] = c.v.at(T)[k][seq];
    }
    for (const StoredGen& g : c.gens) {
        if (T > 0 && g.T == T) net[g.bus] += g.i[seq];
        if (T == 0 && g.T == 1 && seq == 0) {
            // Before the fault the generator drives its EMF, which fault 1 reveals.
            const Cplx z = c.genZ.at(g.name)[0];
            const Cplx e = c.v.at(1)[g.bus][0] + z * g.i[0];
            net[g.bus] += (e - c.vpre[g.bus]) / z;
        }
    }
    for (const StoredBranch& b : c.branches) {
        if (seq == 2) {
            if (!b.hasZ0) continue;
            const Cplx i = b.i == b.j ? v[b.i] / b.z0 : (v[b.i] - v[b.j]) / b.z0;
            net[b.i] -= i;
            if (b.i != b.j) net[b.j] += i;
            continue;
        }
        net[b.i] -= branchCurrent(b, b.i, v[b.i], v[b.j]);
        if (b.i != b.j) net[b.j] -= branchCurrent(b, b.j, v[b.i], v[b.j]);
    }
    for (const StoredFault& f : c.faults)
        if (T > 0 && f.T == T && f.iName == f.jName) net[c.index.at(f.iName)] -= f.i[seq];
    double worst = 0;
    for (size_t k = 0; k < n; ++k)
        if (!skip.count(static_cast<int>(k))) worst = std::max(worst, std::abs(net[k]));
    return worst;
}

std::array<Cplx, 3> phases(const std::array<Cplx, 3>& s) {
    const Cplx a = std::polar(1.0, 2.0943951023931953);
    return {s[0] + s[1] + s[2], a * a * s[0] + a * s[1] + s[2], a * s[0] + a * a * s[1] + s[2]};
}
