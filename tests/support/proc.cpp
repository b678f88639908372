#include "proc.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace testproc {

QProcessEnvironment env() {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("QT_QPA_PLATFORM", "offscreen");
    e.remove("SCREPORT_LOG_ENCODING");
    if (e.contains("SCREPORT_TEST_MYSQL_SOCKET")) {
        e.insert("SCREPORT_DB_SOCKET", e.value("SCREPORT_TEST_MYSQL_SOCKET"));
        if (!e.contains("SCREPORT_DB_USER")) e.insert("SCREPORT_DB_USER", "root");
    }
    return e;
}

Outcome run(const QString& program, const QStringList& args, const QProcessEnvironment& env,
            const QString& cwd, int timeoutMs) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(cwd);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(timeoutMs)) {
        ADD_FAILURE() << program.toStdString() << " did not end: " << args.join(' ').toStdString();
        p.kill();
        p.waitForFinished();
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.code = r.crashed ? -1 : p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
    return path;
}

std::map<QString, QByteArray> files(const QString& dir) {
    std::map<QString, QByteArray> out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out[QDir(dir).relativeFilePath(path)] = it.fileInfo().isDir() ? QByteArray() : fileBytes(path);
    }
    return out;
}

} // namespace testproc
