// SPDX-License-Identifier: GPL-3.0-or-later
// The information dock's text, read from pictures made here.

#include "dngwriter.h"
#include "informationtext.h"
#include "littleendian.h"
#include "newformats.h"
#include "orientedjpeg.h"

#include <QBuffer>
#include <QColorSpace>
#include <QtTest>

#include <clocale>

namespace {

// picture as a JPEG with an APP segment (marker, body) after its start.
QByteArray jpegWith(const QImage &picture, char marker, const QByteArray &body)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG");
    const int length = int(body.size()) + 2;
    jpeg.insert(2, QByteArray("\xff") + marker + char(length >> 8) + char(length & 0xff) + body);
    return jpeg;
}

// A primary picture whose Multi-Picture Format index lists second after it, as phones write a
// gain map or a stereo pair: one directory entry (0xb002: 32 bytes at 26), two pictures.
QByteArray withSecondPicture(const QImage &primary, const QByteArray &second)
{
    QByteArray file =
        jpegWith(primary, '\xe2',
                 QByteArray("MPF\0II*\0\x08\0\0\0\x01\0\x02\xb0\x07\0\x20\0\0\0\x1a\0\0\0", 26) +
                     QByteArray(36, '\0'));
    // The second picture's offset counts from the TIFF header, 10 bytes into the file.
    QByteArray offset;
    appendLe32(offset, quint32(file.size() - 10));
    return file.replace(10 + 26 + 16 + 8, 4, offset) + second;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class InformationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsWhatTheFileRecords_data();
    void showsWhatTheFileRecords();

private:
    QTemporaryDir dir;
};

void InformationTest::initTestCase()
{
    QVERIFY(dir.isValid());
    // The library words the flash in the user's language; the rows below are in English.
    setlocale(LC_MESSAGES, "C");
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    picture.setColorSpace(QColorSpace::DisplayP3);
    QVERIFY(writeExifJpeg(dir.filePath("exif.jpg"), picture,
                          {{"Exif.Image.Make", "Velmora"},
                           {"Exif.Image.Model", "Velmora X100"},
                           {"Exif.Photo.LensModel", "Velmora 50mm F1.8"},
                           {"Exif.Photo.DateTimeOriginal", "2026:05:01 10:20:30"},
                           {"Exif.Photo.ExposureTime", "1/250"},
                           {"Exif.Photo.FNumber", "28/10"},
                           {"Exif.Photo.ISOSpeedRatings", "400"},
                           {"Exif.Photo.FocalLength", "50/1"},
                           {"Exif.Photo.Flash", "0"},
                           {"Exif.GPSInfo.GPSLatitudeRef", "S"},
                           {"Exif.GPSInfo.GPSLatitude", "33/1 51/1 3540/100"},
                           {"Exif.GPSInfo.GPSLongitudeRef", "E"},
                           {"Exif.GPSInfo.GPSLongitude", "151/1 12/1 4080/100"}}));
    QVERIFY(writeDng(dir.filePath("raw.dng")));
    // The same camera data in the containers of the newer formats, a HEIC as some cameras
    // brand it.
    QVERIFY(runQuietly("cjxl", {dir.filePath("exif.jpg"), dir.filePath("exif.jxl")}));
    QVERIFY(runQuietly("heif-enc", {dir.filePath("exif.jpg"), "-o", dir.filePath("exif.heic")}));
    QFile heic(dir.filePath("exif.heic"));
    QVERIFY(heic.open(QIODevice::ReadWrite) && heic.seek(8) && heic.write("mif1") == 4);
    // An AVIF under another suffix: its brands name it.
    QVERIFY(writeHeif(dir.filePath("avif.heic"), picture, {true}));
    // Pixels stored for a part of the picture only, in 32-bit floats.
    QVERIFY(writeExr(dir.filePath("window.exr"), picture.convertToFormat(QImage::Format_RGBX32FPx4),
                     {false, true, {}, QRect(16, 8, 32, 24)}));

    // An uncompressed TGA, which Qt's ICO plugin takes for a cursor by its content.
    QVERIFY(writeWithMagick(dir.filePath("plain.tga"), picture, {}));

    // An Exif block whose first directory lies far beyond the end of the file.
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPG"));
    const QByteArray body = QByteArray("Exif\0\0II*\0\xff\xff\xff\x7f", 14) + QByteArray(40, 'x');
    jpeg.insert(2, QByteArray("\xff\xe1\0", 3) + char(body.size() + 2) + body);
    // HDR gain maps: named by the primary picture's XMP, or by the second picture's.
    const QByteArray xmp = QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) +
                           "<x:xmpmeta xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\"/>";
    QVERIFY(writeFile(dir.filePath("ultrahdr.jpg"), jpegWith(picture, '\xe1', xmp)));
    QVERIFY(writeFile(dir.filePath("gainmap.jpg"),
                      withSecondPicture(picture, jpegWith(picture.scaled(16, 12), '\xe1', xmp))));
    QVERIFY(writeFile(
        dir.filePath("stereo.jpg"),
        withSecondPicture(picture, jpegWith(picture, '\xe1', QByteArray("Exif\0\0", 6)))));
    QVERIFY(QFile::copy(dir.filePath("raw.dng"), dir.filePath("IMG_1.CR3")));
    // A raw file that libexiv2 refuses, and LibRaw reads.
    DngOptions odd;
    odd.oddMagic = true;
    QVERIFY(writeDng(dir.filePath("odd.dng"), odd));
    QFile garbage(dir.filePath("garbage.jpg"));
    QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(jpeg) == jpeg.size());
}

void InformationTest::showsWhatTheFileRecords_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value"); // empty: the row is left out
    const QList<QStringList> rows{
        {"exif.jpg", "Format", "JPEG"},
        {"exif.jpg", "Colour profile", "Display P3"},
        {"exif.jpg", "Taken", "2026-05-01 10:20:30"},
        {"exif.jpg", "Camera", "Velmora X100"},
        {"exif.jpg", "Lens", "Velmora 50mm F1.8"},
        {"exif.jpg", "Time", "1/250 s"},
        {"exif.jpg", "Aperture", "f/2.8"},
        {"exif.jpg", "ISO", "ISO 400"},
        {"exif.jpg", "Focal length", "50 mm"},
        {"exif.jpg", "Flash", "No flash"},
        {"exif.jpg", "GPS", "33.85983° S, 151.21133° E"},
        {"exif.heic", "Camera", "Velmora X100"},
        {"exif.heic", "Time", "1/250 s"},
        {"exif.heic", "GPS", "33.85983° S, 151.21133° E"},
        {"exif.heic", "Format", "HEIC"},
        {"avif.heic", "Format", "AVIF"},
        {"exif.jxl", "Format", "JPEG XL"},
        {"plain.tga", "Format", "TGA"},
        {"exif.jxl", "Lens", "Velmora 50mm F1.8"},
        {"exif.jxl", "Aperture", "f/2.8"},
        {"window.exr", "Format", "EXR"},
        {"window.exr", "Data window", "(16, 8) – (47, 31)"},
        {"window.exr", "Channels", "B, G, R (float)"},
        {"exif.jpg", "Data window", ""},
        {"raw.dng", "Camera", "Velmora Test Sensor"},
        {"raw.dng", "Format", "Camera raw (DNG)"},
        {"raw.dng", "Size on disk", "7.4 kB"},
        {"ultrahdr.jpg", "Dynamic range", "HDR gain map"},
        {"gainmap.jpg", "Dynamic range", "HDR gain map"},
        {"stereo.jpg", "Dynamic range", ""},
        {"IMG_1.CR3", "Format", "Camera raw (CR3)"},
        {"odd.dng", "Camera", "Velmora Test Sensor"},
        {"garbage.jpg", "Name", "garbage.jpg"},
        {"garbage.jpg", "Camera", ""},
    };
    for (const QStringList &row : rows)
        QTest::addRow("%s: %s", qPrintable(row[0]), qPrintable(row[1]))
            << row[0] << row[1] << row[2];
}

void InformationTest::showsWhatTheFileRecords()
{
    QFETCH(QString, file);
    QFETCH(QString, label);
    QFETCH(QString, value);
    QString shown;
    for (const InformationSection &section : pictureInformation(dir.filePath(file), {64, 48})) {
        for (const auto &[rowLabel, rowValue] : section.rows) {
            if (rowLabel == label)
                shown = rowValue;
        }
    }
    QCOMPARE(shown, value);
}

QTEST_GUILESS_MAIN(InformationTest)
#include "tst_information.moc"
