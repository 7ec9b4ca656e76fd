// SPDX-License-Identifier: GPL-3.0-or-later
#include "dngwriter.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The generated files must keep meaning to dcraw what the loader's tests take them to mean.
class TestDngWriter : public QObject
{
    Q_OBJECT

private slots:
    void decodedByDcraw_data();
    void decodedByDcraw();
    void refusesOptions_data();
    void refusesOptions();
};

void TestDngWriter::decodedByDcraw_data()
{
    QTest::addColumn<int>("preview");
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QSize>("size");

    const DngOptions defaults;
    const QSize previewSize(defaults.previewWidth, defaults.previewHeight);
    const QSize fullSize(defaults.width, defaults.height);
    QTest::newRow("JPEG preview extracted")
        << int(DngOptions::Preview::Jpeg) << "-e" << 0 << "IMG.thumb.jpg" << previewSize;
    QTest::newRow("bitmap preview extracted")
        << int(DngOptions::Preview::Rgb) << "-e" << 0 << "IMG.thumb.ppm" << previewSize;
    QTest::newRow("no preview to extract")
        << int(DngOptions::Preview::None) << "-e" << 1 << "" << QSize();
    QTest::newRow("conversion with a preview present")
        << int(DngOptions::Preview::Jpeg) << "-T" << 0 << "IMG.tiff" << fullSize;
    QTest::newRow("conversion without a preview")
        << int(DngOptions::Preview::None) << "-T" << 0 << "IMG.tiff" << fullSize;
}

void TestDngWriter::decodedByDcraw()
{
    QFETCH(int, preview);
    QFETCH(QString, option);
    QFETCH(int, code);
    QFETCH(QString, output);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    DngOptions options;
    options.preview = DngOptions::Preview(preview);
    QVERIFY(writeDng(dir.filePath(QStringLiteral("IMG.dng")), options));

    QProcess dcraw;
    dcraw.setWorkingDirectory(dir.path());
    dcraw.setProcessChannelMode(QProcess::MergedChannels);
    dcraw.start(QStringLiteral("dcraw"), {option, QStringLiteral("IMG.dng")});
    QVERIFY2(dcraw.waitForFinished(), "dcraw must be installed (scripts/deps.sh)");
    const QByteArray said = dcraw.readAll();
    QCOMPARE(dcraw.exitCode(), code);
    QStringList expected{QStringLiteral("IMG.dng")};
    if (output.isEmpty())
        QVERIFY2(said.contains("has no thumbnail"), said.constData());
    else
        expected.append(output);
    expected.sort();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), expected);
    if (!output.isEmpty())
        QCOMPARE(QImage(dir.filePath(output)).size(), size);
}

void TestDngWriter::refusesOptions_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("previewSize");

    QTest::newRow("too small for dcraw") << QSize(20, 48) << QSize(10, 10);
    QTest::newRow("odd width breaks the mosaic") << QSize(65, 48) << QSize(10, 10);
    QTest::newRow("preview larger than the picture") << QSize(64, 48) << QSize(80, 24);
    QTest::newRow("empty preview") << QSize(64, 48) << QSize(0, 24);
}

void TestDngWriter::refusesOptions()
{
    QFETCH(QSize, size);
    QFETCH(QSize, previewSize);
    QTemporaryDir dir;
    DngOptions options;
    options.width = size.width();
    options.height = size.height();
    options.previewWidth = previewSize.width();
    options.previewHeight = previewSize.height();
    const QString path = dir.filePath(QStringLiteral("IMG.dng"));
    QVERIFY(!writeDng(path, options));
    QVERIFY(!QFileInfo::exists(path));
}

QTEST_GUILESS_MAIN(TestDngWriter)
#include "tst_dngwriter.moc"
