#pragma once
// Shared set-up of the dialog tests: a fresh case database per test on each back end,
// captured log lines, and a modal driver that answers dialogs instead of a user.
#include "db/cdbutility.h"
#include "support/testdb.h"
#include "ui/modaldriver.h"

// The widgets the dialogs hand out, the test's own folders and input.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace uitest {

using Handler = std::function<int(QDialog&)>;

// A small network: two areas, three zones, four stations and one line of each
// placement (inside a station, between stations, zones and areas). `sf` is the
// model-table suffix the rows go to.
void addNetwork(const testdb::CaseDb& db, const std::string& sf = "");
// Short-circuit cases for the dialog tests (see uitest.cpp for what each allows).
void addCases(const testdb::CaseDb& db);
// The button of `root` (or its children) showing `utf8`; fails the test when missing.
QAbstractButton* button(QWidget* root, const char* utf8);
QStringList rows(const QListWidget* l);
// The modal dialog as a `T`, or a failure naming what opened instead.
template <class T> T* as(QDialog& d) {
    auto* t = dynamic_cast<T*>(&d);
    if (!t) ADD_FAILURE() << "unexpected dialog " << d.metaObject()->className();
    return t;
}

// The set-up and clean-up of every dialog test, output runner and progress delay included.
class UiTest : public ::testing::TestWithParam<testdb::Backend> {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the case database in `cdb` (the dialogs open it themselves).
    void open();
    // The generated demo case in the database; viewers that open nothing.
    void makeDemo();
    // Runs a query on the program's connection (the test's or a dialog's); every row as its
    // columns joined by ",", in UTF-8.
    std::vector<std::string> column(const std::string& sqlUtf8);
    // Answers the next modal dialogs in turn; a dialog nobody expected fails the test.
    void expectDialogs(std::vector<Handler> handlers) { pending = std::move(handlers); }
    bool logged(bool error, const std::string& line8) const;

    std::unique_ptr<testdb::CaseDb> db;
    CDBUtility cdb;
    testdb::LogCapture log;
    std::vector<Handler> pending;
};

// The dialog cases (addCases), open on case 101.
class CaseTest : public UiTest {
  protected:
    void SetUp() override;
};

} // namespace uitest
