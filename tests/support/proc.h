#pragma once
// The program's executables as the tests start them, and the files they leave.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <map>
#include <string>

namespace testproc {

struct Outcome {
    int code = -1; // -1 after a crash or a timeout
    bool crashed = false;
    QString out, err;
};

// The test's environment, with no display to wait on, the private server (when there is
// one, as root unless a user is set) and log lines in UTF-8.
QProcessEnvironment env();
// Runs `program` to its end; one that does not end in `timeoutMs` fails the test.
Outcome run(const QString& program, const QStringList& args, const QProcessEnvironment& env = testproc::env(),
            const QString& cwd = QString(), int timeoutMs = 120000);

// A program going on beside the test.
struct Started {
    Started(const QString& program, const QStringList& args);
    // Waits until the error stream holds `text`; false when the program ended first.
    bool waitFor(const QString& text, int timeoutMs = 60000);
    // Its exit code once it ends; -1 after a crash or a kill.
    int finish();
    QProcess p;
    QString err;
};

// A file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString& path);
// Writes `bytes` to `path`, replacing what it held; returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);
// Compares bytes with tests/golden/`golden`; on a difference saves them in the build tree
// and prints the diff command.
void expectGolden(const std::string& golden, const std::string& actual);
// Relative path -> bytes of everything under `dir`; folders as entries without bytes.
std::map<QString, QByteArray> files(const QString& dir);
// The files of files(), each .xlsx replaced by its parts ("x/book.xlsx/xl/styles.xml"),
// less the one part that holds the time of writing.
std::map<QString, QByteArray> reportFiles(const QString& dir);
// Empty when both hold the same; else how many entries differ and, for the first `shown`
// of them, the first line that differs.
std::string differences(const std::map<QString, QByteArray>& want, const std::map<QString, QByteArray>& got,
                        int shown = 4);

} // namespace testproc
