// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include <QDir>
#include <QtTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatTheUserAsked_data();
    void readsWhatTheUserAsked();
};

void CommandLineTest::readsWhatTheUserAsked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("quit");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    const QString here = QDir::currentPath();
    QTest::newRow("nothing: an empty window") << QStringList{} << false << 0 << "" << "";
    QTest::newRow("an absolute file, as a file manager passes it")
        << QStringList{"/photos/2026/beach.jpg"} << false << 0 << "/photos/2026/beach.jpg" << "";
    QTest::newRow("a file relative to the working directory")
        << QStringList{"beach.jpg"} << false << 0 << here + "/beach.jpg" << "";
    QTest::newRow("a folder with a trailing slash and dot-dots")
        << QStringList{"/photos/2026/../2025/"} << false << 0 << "/photos/2025" << "";
    QTest::newRow("a name that looks like an option after --")
        << QStringList{"--", "-v.jpg"} << false << 0 << here + "/-v.jpg" << "";
    QTest::newRow("of several paths, the first")
        << QStringList{"/a.jpg", "/b.jpg"} << false << 0 << "/a.jpg" << "";
    QTest::newRow("--help prints the usage") << QStringList{"--help"} << true << 0 << ""
                                             << "[FILE|FOLDER]";
    QTest::newRow("-h as well, whatever follows")
        << QStringList{"-h", "/a.jpg"} << true << 0 << "" << "[FILE|FOLDER]";
    QTest::newRow("--version prints the version")
        << QStringList{"--version"} << true << 0 << "" << " " VELMORA_VERSION "\n";
    QTest::newRow("an unknown option is an error")
        << QStringList{"--slideshow"} << true << 1 << "" << "Unknown option 'slideshow'.";
}

void CommandLineTest::readsWhatTheUserAsked()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, quit);
    QFETCH(int, exitCode);
    QFETCH(QString, path);
    QFETCH(QString, message);
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    const StartRequest request =
        parseCommandLine(QStringList{QStringLiteral("velmora-viewer")} + arguments);
    QCOMPARE(request.quit, quit);
    QCOMPARE(request.exitCode, exitCode);
    QCOMPARE(request.path, path);
    QVERIFY2(request.message.contains(message), qPrintable(request.message));
    QVERIFY(message.isEmpty() || request.message.endsWith(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
