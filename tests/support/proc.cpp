#include "proc.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
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

Started::Started(const QString& program, const QStringList& args) {
    p.setProcessEnvironment(env());
    p.start(program, args);
    EXPECT_TRUE(p.waitForStarted(10000)) << program.toStdString();
}

bool Started::waitFor(const QString& text, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!err.contains(text) && t.elapsed() < timeoutMs && p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(50);
        err += QString::fromUtf8(p.readAllStandardError());
        p.readAllStandardOutput();
    }
    return err.contains(text);
}

int Started::finish() {
    EXPECT_TRUE(p.waitForFinished(120000));
    err += QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
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

void expectGolden(const std::string& golden, const std::string& actual) {
    const QString path = SCREPORT_SOURCE_DIR "/tests/golden/" + QString::fromStdString(golden);
    if (fileBytes(path).toStdString() == actual) return;
    QDir().mkpath(SCREPORT_BINARY_DIR "/test-report/golden-actual");
    const QString out = SCREPORT_BINARY_DIR "/test-report/golden-actual/" + QString::fromStdString(golden);
    writeFile(out, QByteArray::fromStdString(actual));
    ADD_FAILURE() << golden << " differs; see it with:\n  diff -u " << path.toStdString() << " "
                  << out.toStdString() << " | cat -A";
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

std::map<QString, QByteArray> reportFiles(const QString& dir) {
    std::map<QString, QByteArray> out;
    for (const auto& [name, bytes] : files(dir)) {
        const QString path = dir + "/" + name;
        if (QFileInfo(path).isDir()) continue;
        if (!name.endsWith(".xlsx")) {
            out[name] = bytes;
            continue;
        }
        QTemporaryDir parts;
        EXPECT_EQ(QProcess::execute("unzip", {"-q", path, "-d", parts.path()}), 0) << path.toStdString();
        for (const auto& [part, partBytes] : files(parts.path()))
            if (part != "docProps/core.xml" && !QFileInfo(parts.path() + "/" + part).isDir())
                out[name + "/" + part] = partBytes;
    }
    return out;
}

namespace {

// Reports are GB18030 unless written as UTF-8.
QString readable(const QByteArray& line) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString s = utf8.decode(line);
    return utf8.hasError() ? QStringDecoder("GB18030").decode(line) : s;
}

} // namespace

std::string differences(const std::map<QString, QByteArray>& want, const std::map<QString, QByteArray>& got,
                        int shown) {
    std::map<QString, std::pair<const QByteArray*, const QByteArray*>> all;
    for (const auto& [k, v] : want)
        all[k].first = &v;
    for (const auto& [k, v] : got)
        all[k].second = &v;
    QString out;
    int n = 0;
    for (const auto& [k, p] : all) {
        if (p.first && p.second && *p.first == *p.second) continue;
        if (n++ >= shown) continue;
        if (!p.first || !p.second) {
            out += k + (p.first ? ": missing\n" : ": not expected\n");
            continue;
        }
        const QList<QByteArray> a = p.first->split('\n'), b = p.second->split('\n');
        qsizetype i = 0, c = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i])
            ++i;
        while (i < a.size() && i < b.size() && c < a[i].size() && c < b[i].size() && a[i][c] == b[i][c])
            ++c;
        // Long lines (XML parts) from a little before the first difference.
        const qsizetype from = c > 120 ? c - 60 : 0;
        auto part = [&](const QList<QByteArray>& l) {
            return i < l.size() ? readable(l[i].mid(from, 240)) : "<end>";
        };
        out += QString("%1 line %2 (byte %3):\n  want %4\n  got  %5\n")
                   .arg(k)
                   .arg(i + 1)
                   .arg(c)
                   .arg(part(a), part(b));
    }
    return n ? QString("%1 of %2 entries differ\n%3").arg(n).arg(all.size()).arg(out).toStdString()
             : std::string();
}

} // namespace testproc
