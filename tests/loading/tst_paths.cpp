// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void pathRules_data();
    void pathRules();
    void randomNameForm();
    void tempFilePathForm();
    void privateDirectory();
    void deleteFileResult_data();
    void deleteFileResult();
    void copyFileMakesIdenticalCopy_data();
    void copyFileMakesIdenticalCopy();
    void copyFileRefuses_data();
    void copyFileRefuses();
    void reservationsAreDistinct();
    void reservationKeepsDirectoryCase();
    void releaseRemovesLeftovers();
};

namespace {

QString applyRule(const QString &function, const QString &input, const QString &suffix)
{
    if (function == QLatin1String("pathDirectory"))
        return pathDirectory(input);
    if (function == QLatin1String("pathFileName"))
        return pathFileName(input);
    if (function == QLatin1String("pathExtension"))
        return pathExtension(input);
    if (function == QLatin1String("pathBaseName"))
        return pathBaseName(input);
    return pathWithSuffix(input, suffix);
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestPaths::pathRules_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expected");

    QTest::newRow("directory of a full path") << "pathDirectory"
                                              << "/photos/IMG_1.CR2"
                                              << ""
                                              << "/photos";
    QTest::newRow("directory of a file at the root is empty") << "pathDirectory"
                                                              << "/IMG_1.CR2"
                                                              << ""
                                                              << "";
    QTest::newRow("directory of a bare name is empty") << "pathDirectory"
                                                       << "IMG_1.CR2"
                                                       << ""
                                                       << "";
    QTest::newRow("directory of a folder path drops the last separator") << "pathDirectory"
                                                                         << "/photos/"
                                                                         << ""
                                                                         << "/photos";
    QTest::newRow("file name of a full path") << "pathFileName"
                                              << "/photos/IMG_1.CR2"
                                              << ""
                                              << "IMG_1.CR2";
    QTest::newRow("file name of a bare name") << "pathFileName"
                                              << "IMG_1.CR2"
                                              << ""
                                              << "IMG_1.CR2";
    QTest::newRow("file name of a folder path is the argument") << "pathFileName"
                                                                << "/photos/"
                                                                << ""
                                                                << "/photos/";
    QTest::newRow("file name of a dot is empty") << "pathFileName"
                                                 << "."
                                                 << ""
                                                 << "";
    QTest::newRow("extension after the last dot") << "pathExtension"
                                                  << "A.B.NEF"
                                                  << ""
                                                  << "NEF";
    QTest::newRow("no extension for a leading dot") << "pathExtension"
                                                    << ".cr2"
                                                    << ""
                                                    << "";
    QTest::newRow("no extension for a trailing dot") << "pathExtension"
                                                     << "photo."
                                                     << ""
                                                     << "";
    QTest::newRow("no extension without a dot") << "pathExtension"
                                                << "/photos/readme"
                                                << ""
                                                << "";
    QTest::newRow("a dot in a folder name counts") << "pathExtension"
                                                   << "/album.old/readme"
                                                   << ""
                                                   << "old/readme";
    QTest::newRow("base name of a full path") << "pathBaseName"
                                              << "/photos/IMG_1.CR2"
                                              << ""
                                              << "IMG_1";
    QTest::newRow("base name keeps inner dots") << "pathBaseName"
                                                << "/photos/a.b.cr2"
                                                << ""
                                                << "a.b";
    QTest::newRow("base name when the dot is in a folder name") << "pathBaseName"
                                                                << "/album.old/readme"
                                                                << ""
                                                                << "readme";
    QTest::newRow("suffix for the preview") << "pathWithSuffix"
                                            << "/tmp/17.cr2"
                                            << ".thumb.jpg"
                                            << "/tmp/17.thumb.jpg";
    QTest::newRow("suffix for the conversion") << "pathWithSuffix"
                                               << "/tmp/17.cr2"
                                               << ".tiff"
                                               << "/tmp/17.tiff";
    QTest::newRow("suffix for a bare name starts at the root") << "pathWithSuffix"
                                                               << "17.cr2"
                                                               << ".tiff"
                                                               << "/17.tiff";
}

void TestPaths::pathRules()
{
    QFETCH(QString, function);
    QFETCH(QString, input);
    QFETCH(QString, suffix);
    QFETCH(QString, expected);
    QCOMPARE(applyRule(function, input, suffix), expected);
}

void TestPaths::randomNameForm()
{
    const QRegularExpression form(QStringLiteral("^(0|[1-9][0-9]{0,5})$"));
    // The name depends on the second alone; retry when a second boundary falls between calls.
    QString first;
    QString second;
    for (int attempt = 0; attempt < 3; ++attempt) {
        first = randomName();
        second = randomName();
        if (first == second)
            break;
    }
    QVERIFY2(form.match(first).hasMatch(), qPrintable(first));
    QCOMPARE(second, first);
}

void TestPaths::tempFilePathForm()
{
    const QString path = tempFilePath(QStringLiteral("cr2"));
    QCOMPARE(pathDirectory(path), privateTempDirectory());
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]{1,6}\\.cr2$"))
                 .match(pathFileName(path))
                 .hasMatch(),
             qPrintable(path));
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(tempFilePath(QString()).endsWith(QLatin1Char('.')));
}

void TestPaths::privateDirectory()
{
    const QString dir = privateTempDirectory();
    QVERIFY(!dir.isEmpty());
    QCOMPARE(QFileInfo(dir).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(dir).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_mode & 0777, mode_t(0700));
    QCOMPARE(privateTempDirectory(), dir);
}

void TestPaths::deleteFileResult_data()
{
    QTest::addColumn<bool>("exists");
    QTest::newRow("an existing file is removed") << true;
    QTest::newRow("a missing file reports failure") << false;
}

void TestPaths::deleteFileResult()
{
    QFETCH(bool, exists);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.tiff"));
    if (exists)
        QVERIFY(writeFile(path, "x"));
    QCOMPARE(deleteFile(path), exists);
    QVERIFY(!QFileInfo::exists(path));
}

void TestPaths::copyFileMakesIdenticalCopy_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QByteArray>("content");

    QByteArray large(20 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char((i * 7919) >> 3);
    QTest::newRow("20 MB file") << "big.nef" << large;
    QTest::newRow("empty file") << "empty.nef" << QByteArray();
    QTest::newRow("link to a picture in another folder") << "link" << large;
}

void TestPaths::copyFileMakesIdenticalCopy()
{
    QFETCH(QString, source);
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    const bool link = source == QLatin1String("link");
    QVERIFY(writeFile((link ? elsewhere : dir).filePath(source), content));
    QVERIFY(!link || QFile::link(elsewhere.filePath(source), dir.filePath(source)));
    source = dir.filePath(source);
    const QString target = dir.filePath(QStringLiteral("17.nef"));
    QVERIFY(copyFile(source, target));
    QVERIFY(readFile(target) == content);
}

void TestPaths::copyFileRefuses_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("missing source") << "missing source";
    QTest::newRow("source is a folder") << "source folder";
    QTest::newRow("target folder missing") << "no target folder";
    QTest::newRow("target name taken") << "target exists";
    QTest::newRow("link planted under the target name") << "target link";
    // What the kernel shows of a process: its environment, memory and page table, which never
    // ends; and a file larger than the copy's bound.
    QTest::newRow("source is a link to /proc/self/environ") << "/proc/self/environ";
    QTest::newRow("source is a link to /proc/self/mem") << "/proc/self/mem";
    QTest::newRow("source is a link to /proc/self/pagemap") << "/proc/self/pagemap";
    QTest::newRow("source is larger than the bound") << "larger";
}

void TestPaths::copyFileRefuses()
{
    QFETCH(QString, situation);
    QTemporaryDir dir;
    QString source = dir.filePath(QStringLiteral("photo.nef"));
    QString target = dir.filePath(QStringLiteral("17.nef"));
    const QString victim = dir.filePath(QStringLiteral("victim"));
    QVERIFY(writeFile(source, "raw data"));
    QVERIFY(writeFile(victim, "precious"));
    if (situation == QLatin1String("missing source"))
        source = dir.filePath(QStringLiteral("gone.nef"));
    if (situation.startsWith(QLatin1String("/proc/"))) {
        source = dir.filePath(QStringLiteral("linked.nef"));
        QVERIFY(QFile::link(situation, source));
    }
    if (situation == QLatin1String("source folder")) {
        source = dir.filePath(QStringLiteral("folder.nef"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.nef")));
    }
    if (situation == QLatin1String("no target folder"))
        target = dir.filePath(QStringLiteral("absent/17.nef"));
    if (situation == QLatin1String("target exists"))
        QVERIFY(writeFile(target, "someone else's"));
    if (situation == QLatin1String("target link"))
        QVERIFY(QFile::link(victim, target));

    QVERIFY(!copyFile(source, target, situation == QLatin1String("larger") ? 7 : kMostCopiedBytes));
    QCOMPARE(readFile(victim), QByteArray("precious"));
    if (situation == QLatin1String("target exists"))
        QCOMPARE(readFile(target), QByteArray("someone else's"));
    else if (situation != QLatin1String("target link"))
        QVERIFY(!QFileInfo::exists(target));
}

void TestPaths::reservationsAreDistinct()
{
    // Many loads in the same second, on several threads: each gets a number of its own.
    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    QList<QStringList> reserved(kThreads);
    QList<QThread *> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.append(QThread::create([&reserved, t] {
            for (int i = 0; i < kPerThread; ++i)
                reserved[t].append(
                    reserveTempFilePath(i % 2 ? QStringLiteral("NEF") : QStringLiteral("cr2")));
        }));
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait());
        delete thread;
    }
    QSet<QString> numbers;
    const QRegularExpression form(QStringLiteral("^(0|[1-9][0-9]{0,5})\\.(nef|cr2)$"));
    for (const QStringList &paths : reserved) {
        for (const QString &path : paths) {
            const QString name = pathFileName(path);
            QVERIFY2(form.match(name).hasMatch(), qPrintable(path));
            numbers.insert(name.section(QLatin1Char('.'), 0, 0));
            releaseTempFilePath(path);
        }
    }
    QCOMPARE(numbers.size(), kThreads * kPerThread);
}

void TestPaths::reservationKeepsDirectoryCase()
{
    const QString path = reserveTempFilePath(QStringLiteral("CR2"));
    releaseTempFilePath(path);
    QCOMPARE(pathDirectory(pathDirectory(path)), privateTempDirectory());
    QVERIFY(path.endsWith(QLatin1String(".cr2")));
}

void TestPaths::releaseRemovesLeftovers()
{
    const QString path = reserveTempFilePath(QStringLiteral("dng"));
    const QString preview = pathWithSuffix(path, QStringLiteral(".thumb.ppm"));
    QVERIFY(writeFile(path, "copy"));
    QVERIFY(writeFile(preview, "preview"));
    // Another load's files, whose number starts with the same digits, stay.
    const QString other =
        privateTempDirectory() + QLatin1Char('/') + pathBaseName(path) + QStringLiteral("0.tiff");
    QVERIFY(writeFile(other, "other"));
    releaseTempFilePath(path);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(preview));
    QVERIFY(QFileInfo::exists(other));
    QVERIFY(QFile::remove(other));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
