#pragma once
// The case's row of SC_CASE, read with one statement: everything the reports and the
// rule that enables the report kinds take from it. Values as stored; who reads one
// checks it.
#include "db/connection.h"
#include "db/export.h"

#include <QVariant>

#include <string>

struct CaseRow {
    bool found = false;        // false also when the statement failed
    QVariant name;             // Case_Name
    QVariant note, date, time; // the summary's heading
    QVariant calDate, calTime; // the calculation's date and time in the other titles
    QVariant typeFault;        // fault type code
    QVariant caseLF;           // load-flow case of the pre-fault state
    QVariant function, simple; // what the calculation covered
};

SCREPORT_CORE_EXPORT CaseRow readCaseRow(const DbConnection& db, const std::string& caseNo);
