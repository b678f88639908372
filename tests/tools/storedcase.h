#pragma once
// One short-circuit case as the database holds it, read with plain SQL and nothing of
// the generator, and the physics the stored numbers must obey.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <array>
#include <complex>
#include <map>
#include <set>
#include <string>
#include <vector>

using Cplx = std::complex<double>;

struct StoredBranch {
    int i = 0, j = 0; // bus indices
    int idNo = 0, type = 0;
    Cplx z1;
    double bHalf = 0, tk = 1;
    bool hasZ0 = false;
    Cplx z0;
};

struct StoredFault {
    std::string iName, jName, idName;
    int percent = 0, T = 0;
    std::array<Cplx, 3> i; // I1, I2, I0
};

struct StoredGen {
    int bus = 0, T = 0;
    std::string name;
    std::array<Cplx, 3> i;
};

struct StoredCase {
    int caseNo = 0, type = 0, caseLF = 0;
    Cplx zf;
    std::vector<std::string> bus; // UTF-8
    std::map<std::string, int> index;
    std::vector<StoredBranch> branches;
    std::vector<Cplx> vpre;                            // SCR_LPC
    std::vector<StoredFault> faults;                   // flg 1
    std::map<int, std::vector<std::array<Cplx, 3>>> v; // T -> bus -> V1, V2, V0
    std::vector<StoredGen> gens;                       // flg 2
    std::map<std::string, std::array<Cplx, 3>> genZ;   // CDB_GENERAT: Z1, Z2, Z0
};

class StoredDb {
  public:
    explicit StoredDb(const std::string& dbArg);
    ~StoredDb();
    StoredDb(const StoredDb&) = delete;
    StoredDb& operator=(const StoredDb&) = delete;

    // Runs a statement (UTF-8); a failure fails the test and gives an inactive query.
    QSqlQuery query(const std::string& sql);
    // Column 0 of every row, as UTF-8 text.
    std::vector<std::string> texts(const std::string& sql);
    double number(const std::string& sql);
    StoredCase load(int caseNo);

  private:
    QString m_conn;
    QSqlDatabase m_db;
};

// The largest current imbalance over the buses not in `skip`, for one sequence (0 positive,
// 1 negative, 2 zero) of fault T, or of the pre-fault state for T = 0: generator currents in
// minus branch currents out minus the fault current.
double maxImbalance(const StoredCase& c, int T, int seq, const std::set<int>& skip = {});
// Current leaving bus `from` into branch b in the positive or negative sequence.
Cplx branchCurrent(const StoredBranch& b, int from, Cplx vi, Cplx vj);
// Phase A, B, C of sequence components (1, 2, 0).
std::array<Cplx, 3> phases(const std::array<Cplx, 3>& seq);
