// One of two programs saving a case's choices at the same time: writes its own
// signature (options, items, fault points) again and again. Exit code = saves refused.
#include "signature.h"

#include "db/cdbutility.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: saver DATABASE CASE_NO WRITER(0|1) ROUNDS\n");
        return 100;
    }
    CDBUtility db;
    if (!db.opendb(argv[1])) return 101;
    db.setDBType(DB_SC);
    db.setCaseNo(std::atoi(argv[2]));
    const int w = std::atoi(argv[3]), rounds = std::atoi(argv[4]);
    casechoices::ObjectChoices c;
    casechoices::OutputOptions o;
    SCPosList faults;
    saver::fill(w, c, o, faults);
    int refused = 0;
    for (int r = 0; r < rounds; ++r) {
        if (!casechoices::saveOutputOptions(db, "SCR_OUT", o, c)) ++refused;
        // Writer 0 empties the list every other round: deletes on an empty table are
        // where two transactions can deadlock.
        if (!casechoices::saveFaultList(db, w == 0 && r % 2 ? SCPosList() : faults)) ++refused;
    }
    db.closedb();
    return refused;
}
