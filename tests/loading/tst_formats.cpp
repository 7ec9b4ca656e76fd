// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats.h"

#include <QImageReader>
#include <QTest>

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void rawExtensionList();
    void rawFileTest_data();
    void rawFileTest();
    void supportedFormatsRelayQt();
};

void TestFormats::rawExtensionList()
{
    const QStringList raw = rawExtensions();
    QCOMPARE(raw.size(), 25);
    QCOMPARE(raw.first(), QStringLiteral("mrw"));
    QCOMPARE(raw.at(15), QStringLiteral("raw"));
    QCOMPARE(raw.at(23), QStringLiteral("rw2"));
    QCOMPARE(raw.last(), QStringLiteral("cr3"));
    for (const QString &extension : raw)
        QCOMPARE(extension, extension.toLower());
}

void TestFormats::rawFileTest_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("raw");

    QTest::newRow("upper-case extension in a folder") << "/photos/IMG_0001.CR2" << true;
    QTest::newRow("mixed-case extension") << "a.Nef" << true;
    QTest::newRow("last entry of the list") << "x.rw2" << true;
    QTest::newRow("thumbnail companion file") << "x.thm" << true;
    QTest::newRow("Canon's newer raw file, which LibRaw reads") << "IMG_0001.CR3" << true;
    QTest::newRow("only a dot and the extension") << ".cr2" << true;
    QTest::newRow("raw name with a picture extension after it") << "IMG_0001.CR2.jpg" << false;
    QTest::newRow("extension letters without a dot") << "IMGcr2" << false;
    QTest::newRow("extension alone") << "nef" << false;
    QTest::newRow("a picture Qt reads") << "/photos/a.png" << false;
    QTest::newRow("empty path") << "" << false;
}

void TestFormats::rawFileTest()
{
    QFETCH(QString, path);
    QFETCH(bool, raw);
    QCOMPARE(isRawFile(path), raw);
}

void TestFormats::supportedFormatsRelayQt()
{
    QStringList expected;
    const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    for (const QByteArray &format : formats)
        expected.append(QString::fromLatin1(format));
    QCOMPARE(supportedFormats(), expected);
    QVERIFY(supportedFormats().contains(QStringLiteral("png")));
}

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
