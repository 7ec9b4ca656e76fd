// SPDX-License-Identifier: GPL-3.0-or-later
#include "edition.h"

#include <QtTest>

class EditionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void firstLineNamesTheEdition_data();
    void firstLineNamesTheEdition();
    void missingFileGivesRaw();
    void unreadableFileGivesRaw();

private:
    void writeSettings(const QByteArray &content);

    QTemporaryDir dir;
    QString startDirectory;
};

void EditionTest::initTestCase()
{
    QVERIFY(dir.isValid());
    startDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
}

void EditionTest::cleanupTestCase()
{
    QDir::setCurrent(startDirectory);
}

void EditionTest::cleanup()
{
    QFile::remove(dir.filePath("velmora.properties"));
}

void EditionTest::writeSettings(const QByteArray &content)
{
    QFile file(dir.filePath("velmora.properties"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void EditionTest::firstLineNamesTheEdition_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("edition");

    QTest::newRow("lower case is raised") << QByteArray("raw\n") << "RAW";
    QTest::newRow("mixed case is raised") << QByteArray("Raw") << "RAW";
    QTest::newRow("another edition") << QByteArray("pro\n") << "PRO";
    QTest::newRow("spaces at both ends stay") << QByteArray(" pro \n") << " PRO ";
    QTest::newRow("an empty first line is an empty edition") << QByteArray("\npro\n") << "";
    QTest::newRow("a zero-byte file gives the default") << QByteArray() << "RAW";
    QTest::newRow("carriage return is part of the line end") << QByteArray("lite\r\nx") << "LITE";
    QTest::newRow("only the first line counts") << QByteArray("pro\nlite\n") << "PRO";
}

void EditionTest::firstLineNamesTheEdition()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, edition);
    writeSettings(content);
    const QString read = readEditionName();
    QCOMPARE(read, edition);
    QVERIFY(!read.isNull());
}

void EditionTest::missingFileGivesRaw()
{
    QCOMPARE(readEditionName(), QString("RAW"));
}

void EditionTest::unreadableFileGivesRaw()
{
    // A folder of that name cannot be opened as a file, whoever runs the test.
    QVERIFY(QDir(dir.path()).mkdir("velmora.properties"));
    const QString read = readEditionName();
    QVERIFY(QDir(dir.path()).rmdir("velmora.properties"));
    QCOMPARE(read, QString("RAW"));
}

QTEST_APPLESS_MAIN(EditionTest)
#include "tst_edition.moc"
