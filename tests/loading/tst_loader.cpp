// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "decoderpool.h"
#include "dngwriter.h"
#include "environmentguard.h"
#include "formats.h"
#include "newformats.h"
#include "orientedjpeg.h"
#include "paths.h"
#include "processes.h"
#include "reduction.h"
#include "stdoutcapture.h"
#include "tiffwriter.h"

#include <QAtomicInt>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <memory>

using Preview = DngOptions::Preview;
Q_DECLARE_METATYPE(ExrOptions)
Q_DECLARE_METATYPE(DngOptions)

class TestLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void qtRoute_data();
    void qtRoute();
    void rawRoute_data();
    void rawRoute();
    void decoderMisbehaves_data();
    void decoderMisbehaves();
    void confinedDecoder_data();
    void confinedDecoder();
    void noDecoder_data();
    void noDecoder();
    void unreadableRawFile_data();
    void unreadableRawFile();
    void libRawRoute_data();
    void libRawRoute();
    void damagedFiles_data();
    void damagedFiles();
    void largePictures_data();
    void largePictures();
    void concurrentLoads();
    void passedShortReadKeepsItsDecoder();
    void borrowedDecoderLeavesOneLockedDownBehind();
    void orientation_data();
    void orientation();
    void rawOrientation_data();
    void rawOrientation();
    void unparsableRawKeepsItsPreview();
    void colourProfiles_data();
    void colourProfiles();
    void newFormats_data();
    void newFormats();
    void classicFormats_data();
    void classicFormats();
    void openExr_data();
    void openExr();
    void newFormatOrientation_data();
    void newFormatOrientation();
    void hdrPictures_data();
    void hdrPictures();
    void printColours_data();
    void printColours();
    void reducedPictures_data();
    void reducedPictures();

private:
    QString makeDng(const QString &path, const DngOptions &options);
    // Puts a fake dcraw first on PATH for the guard's lifetime; body is its shell script. One not
    // confined, until the test's end, may reach the private folder beyond its work folder.
    std::unique_ptr<EnvironmentGuard> fakeDecoder(const QByteArray &body, bool confined = true);
    // A fake dcraw, not confined, that logs "<option> <input>" lines in the private folder, where
    // they outlast the work folder, and then runs the real one.
    std::unique_ptr<EnvironmentGuard> spyDecoder();
    QStringList spyLog() const;

    QTemporaryDir fixtures;
    QTemporaryDir decoderDir;
    QString realDecoder;
    std::unique_ptr<EnvironmentGuard> unconfined;
    QString jpegFixture;
};

namespace {

const QColor kJpegPreviewColour(40, 90, 200);
const QColor kRgbPreviewColour(220, 180, 20);
const QSize kRawSize(64, 48);
const QSize kJpegPreviewSize(32, 24);
const QSize kRgbPreviewSize(30, 20);
constexpr int kJpegTolerance = 12;

const QByteArray kDecoderProblem("loadImage: problem with dcraw");
const QByteArray kDeleteProblem("loadImage: problem delete temp image");

bool near(const QColor &a, const QColor &b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

bool isPreview(const QImage &image, const QSize &size, const QColor &colour)
{
    return image.size() == size &&
           near(image.pixelColor(size.width() / 2, size.height() / 2), colour, kJpegTolerance);
}

// The generated raw picture: red, green, blue and white quadrants.
bool isFullPicture(const QImage &image)
{
    if (image.size() != kRawSize)
        return false;
    const int w = image.width();
    const int h = image.height();
    const auto lit = [](const QColor &c, int r, int g, int b) {
        return (c.red() > 200) == bool(r) && (c.green() > 200) == bool(g) &&
               (c.blue() > 200) == bool(b);
    };
    return lit(image.pixelColor(w / 4, h / 4), 1, 0, 0) &&
           lit(image.pixelColor(3 * w / 4, h / 4), 0, 1, 0) &&
           lit(image.pixelColor(w / 4, 3 * h / 4), 0, 0, 1) &&
           lit(image.pixelColor(3 * w / 4, 3 * h / 4), 1, 1, 1);
}

// The corner of the generated raw picture's red quarter once decoded, or -1.
int redQuarter(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    const QList<QPair<Qt::Corner, QPoint>> quarters{
        {Qt::TopLeftCorner, QPoint(w / 4, h / 4)},
        {Qt::TopRightCorner, QPoint(3 * w / 4, h / 4)},
        {Qt::BottomLeftCorner, QPoint(w / 4, 3 * h / 4)},
        {Qt::BottomRightCorner, QPoint(3 * w / 4, 3 * h / 4)}};
    for (const auto &[corner, point] : quarters) {
        const QColor c = image.pixelColor(point);
        if (c.red() > 200 && c.green() < 100 && c.blue() < 100)
            return corner;
    }
    return -1;
}

quint32 pngCrc(const QByteArray &data)
{
    quint32 crc = 0xffffffff;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// Adds a gAMA chunk (gamma times 100000) after the IHDR chunk of the PNG file at path.
bool addPngGamma(const QString &path, quint32 gamma)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray png = file.readAll();
    constexpr int kAfterHeader = 8 + 25; // the signature, then IHDR's 13 bytes in a chunk
    const auto be32 = [](quint32 v) {
        const quint32 be = qToBigEndian(v);
        return QByteArray(reinterpret_cast<const char *>(&be), 4);
    };
    const QByteArray body = QByteArray("gAMA") + be32(gamma);
    png.insert(kAfterHeader, be32(4) + body + be32(pngCrc(body)));
    return file.seek(0) && file.write(png) == png.size();
}

DngOptions dngOptions(Preview preview)
{
    DngOptions options;
    options.width = kRawSize.width();
    options.height = kRawSize.height();
    options.preview = preview;
    const bool jpeg = preview == Preview::Jpeg;
    options.previewWidth = jpeg ? kJpegPreviewSize.width() : kRgbPreviewSize.width();
    options.previewHeight = jpeg ? kJpegPreviewSize.height() : kRgbPreviewSize.height();
    options.previewColor = jpeg ? kJpegPreviewColour : kRgbPreviewColour;
    return options;
}

int countLines(const QByteArray &text, const QByteArray &line)
{
    return int(text.split('\n').count(line));
}

// Empty when the load left nothing behind: no temporary file, no decoder, no unreaped child.
QString leftBehind()
{
    const QString dir = privateTempDirectory();
    const QStringList files =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!files.isEmpty())
        return QStringLiteral("temporary files: ") + files.join(QLatin1Char(' '));
    if (!processesMentioning(dir).isEmpty())
        return QStringLiteral("a decoder is still running");
    if (!childProcesses().isEmpty())
        return QStringLiteral("a child process is left");
    return QString();
}

QStringList folderContent(const QString &path)
{
    return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

void TestLoader::initTestCase()
{
    raiseAllocationLimit();
    QVERIFY(fixtures.isValid());
    QVERIFY(decoderDir.isValid());
    realDecoder = QStandardPaths::findExecutable(QStringLiteral("dcraw"));
    QVERIFY2(!realDecoder.isEmpty(), "dcraw must be installed (scripts/deps.sh)");
    jpegFixture = fixtures.filePath(QStringLiteral("preview.jpg"));
    QImage preview(kJpegPreviewSize, QImage::Format_RGB32);
    preview.fill(kJpegPreviewColour);
    QVERIFY(preview.save(jpegFixture));
}

void TestLoader::cleanup()
{
    QFile::remove(privateTempDirectory() + QStringLiteral("/spy.log"));
    QFile::remove(decoderDir.filePath(QStringLiteral("dcraw")));
    unconfined.reset();
}

QString TestLoader::makeDng(const QString &path, const DngOptions &options)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !writeDng(path, options))
        return QString();
    return path;
}

std::unique_ptr<EnvironmentGuard> TestLoader::fakeDecoder(const QByteArray &body, bool confined)
{
    if (!confined)
        unconfined = std::make_unique<EnvironmentGuard>("VELMORA_NO_SANDBOX", "1");
    if (!writeScript(decoderDir.filePath(QStringLiteral("dcraw")), body))
        return nullptr;
    return std::make_unique<EnvironmentGuard>("PATH",
                                              EnvironmentGuard::pathWithFirst(decoderDir.path()));
}

std::unique_ptr<EnvironmentGuard> TestLoader::spyDecoder()
{
    return fakeDecoder("echo \"$1 $2\" >> \"${2%/*}/../spy.log\"\nexec '" +
                           realDecoder.toUtf8() + "' \"$@\"",
                       false);
}

QStringList TestLoader::spyLog() const
{
    QFile log(privateTempDirectory() + QStringLiteral("/spy.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    const QByteArray lines = log.readAll();
    log.remove();
    return QString::fromUtf8(lines).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestLoader::qtRoute_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<bool>("readable");

    QTest::newRow("PNG as a thumbnail") << "a.png" << true << true;
    QTest::newRow("PNG as a full picture") << "a.png" << false << true;
    QTest::newRow("missing JPEG") << "missing.jpg" << false << false;
    QTest::newRow("missing JPEG as a thumbnail") << "missing.jpg" << true << false;
}

void TestLoader::qtRoute()
{
    QFETCH(QString, name);
    QFETCH(bool, thumbnail);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    if (readable)
        QVERIFY(picture.save(path));

    const auto spy = spyDecoder();
    StdoutCapture capture;
    const QImage image = loadImage(path, thumbnail);

    QCOMPARE(image.isNull(), !readable);
    if (readable)
        QCOMPARE(image, QImage(path));
    QCOMPARE(capture.text(), QByteArray());
    QCOMPARE(spyLog(), QStringList());
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::rawRoute_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("preview");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<QStringList>("runs");

    const QStringList thumb{QStringLiteral("-e")};
    const QStringList full{QStringLiteral("-T")};
    const QStringList both{QStringLiteral("-e"), QStringLiteral("-T")};
    QTest::newRow("JPEG preview for a thumbnail")
        << "IMG_0001.dng" << int(Preview::Jpeg) << true << thumb;
    QTest::newRow("bitmap preview for a thumbnail")
        << "IMG_0002.dng" << int(Preview::Rgb) << true << thumb;
    QTest::newRow("no preview: the thumbnail falls back to the full picture")
        << "IMG_0003.dng" << int(Preview::None) << true << both;
    QTest::newRow("full picture of a file with a preview")
        << "IMG_0004.dng" << int(Preview::Jpeg) << false << full;
    QTest::newRow("full picture of a file without a preview")
        << "IMG_0005.dng" << int(Preview::None) << false << full;
    QTest::newRow("upper-case extension") << "IMG_0042.DNG" << int(Preview::Jpeg) << true << thumb;
    QTest::newRow("folder with blanks")
        << "my photos/summer trip/IMG 7.dng" << int(Preview::Rgb) << false << full;
}

void TestLoader::rawRoute()
{
    QFETCH(QString, name);
    QFETCH(int, preview);
    QFETCH(bool, thumbnail);
    QFETCH(QStringList, runs);
    QTemporaryDir dir;
    const QString path = makeDng(dir.filePath(name), dngOptions(Preview(preview)));
    QVERIFY(!path.isEmpty());

    const auto spy = spyDecoder();
    StdoutCapture capture;
    const QImage image = loadImage(path, thumbnail);

    if (runs.last() == QLatin1String("-T"))
        QVERIFY(isFullPicture(image));
    else if (Preview(preview) == Preview::Jpeg)
        QVERIFY(isPreview(image, kJpegPreviewSize, kJpegPreviewColour));
    else
        QVERIFY(isPreview(image, kRgbPreviewSize, kRgbPreviewColour));

    // The decoder only ever sees a copy named by digits and the lower-cased extension.
    const QStringList log = spyLog();
    QCOMPARE(log.size(), runs.size());
    const QRegularExpression copyName(QStringLiteral("^(-e|-T) (.*)/[0-9]{1,6}\\.dng$"));
    for (int i = 0; i < runs.size(); ++i) {
        const QRegularExpressionMatch match = copyName.match(log.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(log.at(i)));
        QCOMPARE(match.captured(1), runs.at(i));
        QCOMPARE(pathDirectory(match.captured(2)), privateTempDirectory());
    }

    // Only the failed preview extraction of the fallback has something to say.
    const QByteArray printed = capture.text();
    if (runs.size() == 2) {
        QVERIFY(printed.contains("has no thumbnail"));
        QCOMPARE(countLines(printed, kDecoderProblem), 1);
        QCOMPARE(countLines(printed, kDeleteProblem), 0);
    } else {
        QCOMPARE(printed, QByteArray());
    }
    QCOMPARE(folderContent(QFileInfo(path).absolutePath()),
             QStringList(QFileInfo(path).fileName()));
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::decoderMisbehaves_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<bool>("gotPreview");
    QTest::addColumn<bool>("converted");
    QTest::addColumn<QByteArray>("printed");

    const QByteArray output = "out=\"${2%.*}\"\n";
    // The preview to copy is lent in the private folder, beyond a confined decoder's reach.
    const QByteArray lent = "\"${2%/*}/../preview.jpg\"";
    const QByteArray preview = "cp " + lent + " \"$out.thumb.jpg\"\n";
    const QByteArray bitmap = "printf 'P6\\n2 2\\n255\\n123456789abc' > \"$out.thumb.ppm\"\n";
    QTest::newRow("preview written, then failure: LibRaw converts")
        << output + preview + "printf 'broken' >&2; exit 1" << true << false << true
        << QByteArray("broken\n") + kDecoderProblem + '\n';
    QTest::newRow("conversion written, then failure: LibRaw converts")
        << output + "cp " + lent + " \"$out.tiff\"; exit 2" << false << false << true
        << QByteArray("\n") + kDecoderProblem + '\n';
    QTest::newRow("success without a conversion: LibRaw converts")
        << QByteArray("exit 0") << false << false << true << kDeleteProblem + '\n';
    QTest::newRow("success with a conversion that is no picture")
        << output + "echo garbage > \"$out.tiff\"" << false << false << false << QByteArray();
    QTest::newRow("both previews written: the JPEG wins, neither stays")
        << output + preview + bitmap << true << true << false << QByteArray();
}

void TestLoader::decoderMisbehaves()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, thumbnail);
    QFETCH(bool, gotPreview);
    QFETCH(bool, converted);
    QFETCH(QByteArray, printed);
    const QString path =
        makeDng(fixtures.filePath(QStringLiteral("misbehaving.nef")), dngOptions(Preview::None));
    QVERIFY(!path.isEmpty());

    const auto fake = fakeDecoder(script, false);
    QVERIFY(fake);
    const QString lent = privateTempDirectory() + QStringLiteral("/preview.jpg");
    QVERIFY(QFile::copy(jpegFixture, lent));
    StdoutCapture capture;
    const QImage image = loadImage(path, thumbnail);
    QFile::remove(lent);

    QCOMPARE(image.isNull(), !gotPreview && !converted);
    if (gotPreview)
        QVERIFY(isPreview(image, kJpegPreviewSize, kJpegPreviewColour));
    if (converted)
        QVERIFY(isFullPicture(image));
    QCOMPARE(capture.text(), printed);
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::confinedDecoder_data()
{
    QTest::addColumn<QByteArray>("attempt");
    QTest::addColumn<bool>("confined");

    // SECRET, PLANTED, PORT and VICTIM stand for what the test sets up.
    const QList<QPair<const char *, QByteArray>> attempts{
        {"reading a file outside its folder", "cat SECRET"},
        {"writing into the home folder", "touch PLANTED"},
        {"connecting to a listener on 127.0.0.1", "bash -c 'exec 3<>/dev/tcp/127.0.0.1/PORT'"},
        {"signalling another process", "kill VICTIM"}};
    for (const bool confined : {true, false}) {
        for (const auto &[name, attempt] : attempts)
            QTest::addRow("%s: %s", name, confined ? "refused" : "done without the walls")
                << attempt << confined;
    }
}

// A dcraw taken over reaches nothing of the user's; what it says still reaches the output.
void TestLoader::confinedDecoder()
{
    QFETCH(QByteArray, attempt);
    QFETCH(bool, confined);
    QTemporaryDir home;
    const QString secret = home.filePath(QStringLiteral("id_key"));
    const QString planted = home.filePath(QStringLiteral("planted"));
    QVERIFY(writeScript(secret, "velmora private key"));
    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost));
    QProcess victim;
    victim.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(victim.waitForStarted());
    attempt.replace("SECRET", QFile::encodeName(secret))
        .replace("PLANTED", QFile::encodeName(planted))
        .replace("PORT", QByteArray::number(listener.serverPort()))
        .replace("VICTIM", QByteArray::number(victim.processId()));
    const auto fake = fakeDecoder(attempt + "\necho \"tried: $?\"; printf '\\033[2J'; exit 1");
    const EnvironmentGuard walls("VELMORA_NO_SANDBOX", confined ? "" : "1");
    const QString path =
        makeDng(fixtures.filePath(QStringLiteral("taken-over.nef")), dngOptions(Preview::None));
    StdoutCapture capture;
    // What the taken-over dcraw did not convert, LibRaw does in the decoder.
    QVERIFY(isFullPicture(loadImage(path, false)));
    const QByteArray printed = capture.text();
    listener.waitForNewConnection(0);
    QCOMPARE(printed.contains("velmora private key") || QFile::exists(planted) ||
                 listener.hasPendingConnections() || !processRunning(victim.processId()),
             !confined);
    QVERIFY2(printed.contains("tried: ") && printed.contains(kDecoderProblem), printed.constData());
    // Nothing a terminal would obey reaches the viewer's output.
    QVERIFY(!printed.contains('\x1b'));
    victim.kill();
    QVERIFY(victim.waitForFinished());
}

void TestLoader::noDecoder_data()
{
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<int>("decoderProblems");

    QTest::newRow("thumbnail: LibRaw's preview") << true << 1;
    QTest::newRow("full picture: LibRaw's conversion") << false << 1;
}

void TestLoader::noDecoder()
{
    QFETCH(bool, thumbnail);
    QFETCH(int, decoderProblems);
    const QString path =
        makeDng(fixtures.filePath(QStringLiteral("nodecoder.dng")), dngOptions(Preview::Jpeg));
    QVERIFY(!path.isEmpty());
    QTemporaryDir emptyDir;
    const EnvironmentGuard path_("PATH", QFile::encodeName(emptyDir.path()));

    StdoutCapture capture;
    const QImage image = loadImage(path, thumbnail);

    // Without dcraw, LibRaw reads the file in the decoder.
    QVERIFY(thumbnail ? isPreview(image, kJpegPreviewSize, kJpegPreviewColour)
                      : isFullPicture(image));
    const QByteArray printed = capture.text();
    QCOMPARE(countLines(printed, kDecoderProblem), decoderProblems);
    QCOMPARE(countLines(printed, kDeleteProblem), thumbnail ? 0 : 1);
    // Each problem line follows the interpreter's own complaint.
    QCOMPARE(printed.count("not found"), decoderProblems);
    QVERIFY(printed.endsWith(thumbnail ? kDecoderProblem + '\n'
                                       : kDecoderProblem + '\n' + kDeleteProblem + '\n'));
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::unreadableRawFile_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<bool>("thumbnail");

    QTest::newRow("missing raw file, thumbnail") << "missing" << true;
    QTest::newRow("missing raw file, full picture") << "missing" << false;
    QTest::newRow("folder named like a raw file") << "folder" << false;
}

void TestLoader::unreadableRawFile()
{
    QFETCH(QString, situation);
    QFETCH(bool, thumbnail);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("IMG_9.CR2"));
    if (situation == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(path));

    const auto spy = spyDecoder();
    StdoutCapture capture;
    const QImage image = loadImage(path, thumbnail);

    QVERIFY(image.isNull());
    QCOMPARE(spyLog(), QStringList());
    QCOMPARE(capture.text(), QByteArray());
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::libRawRoute_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("dcraw");
    QTest::addColumn<DngOptions>("options");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<QString>("shows");
    QTest::addColumn<int>("problems");
    QTest::addColumn<int>("limitMegabytes"); // the allocation limit; 0 for the usual one

    const QByteArray fails = "exit 1";
    // The full conversion's failure comes late, so that the preview is there to stand in.
    const QByteArray failsSlowly = "[ \"$1\" = -T ] && sleep 1; exit 1";
    DngOptions lossy = dngOptions(Preview::None);
    lossy.lossy = true;
    const DngOptions none = dngOptions(Preview::None);
    DngOptions large = none;
    large.width = 1200;
    large.height = 800;
    QTest::newRow("dcraw fails: the thumbnail is LibRaw's JPEG preview")
        << "IMG_1.cr3" << fails << dngOptions(Preview::Jpeg) << true << "jpeg" << 1 << 0;
    QTest::newRow("dcraw fails on a file without a preview: LibRaw's conversion as thumbnail")
        << "IMG_3.dng" << fails << none << true << "full" << 2 << 0;
    QTest::newRow("dcraw fails: the full view is LibRaw's conversion")
        << "IMG_4.CR3" << failsSlowly << dngOptions(Preview::Jpeg) << false << "full" << 1 << 0;
    QTest::newRow("lossy DNG that dcraw refuses: LibRaw converts")
        << "IMG_6.dng" << fails << lossy << false << "full" << 1 << 0;
    QTest::newRow("CR3 whose boxes end early")
        << "IMG_7.cr3" << fails << none << true << "" << 2 << 0;
    QTest::newRow("picture over the allocation limit: LibRaw converts it at half size")
        << "IMG_8.dng" << fails << large << false << "half" << 1 << 8;
    QTest::newRow("dcraw fails, leaving junk and a folder closed to its owner: none of it stays")
        << "IMG_9.dng" << QByteArray("echo >junk; mkdir sub; echo >sub/file; chmod 0 sub; exit 1")
        << none << false << "full" << 1 << 0;
}

void TestLoader::libRawRoute()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, dcraw);
    QFETCH(DngOptions, options);
    QFETCH(bool, thumbnail);
    QFETCH(QString, shows);
    QFETCH(int, problems);
    QFETCH(int, limitMegabytes);
    const int usualLimit = QImageReader::allocationLimit();
    const auto restore = qScopeGuard([&] { QImageReader::setAllocationLimit(usualLimit); });
    if (limitMegabytes)
        QImageReader::setAllocationLimit(limitMegabytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name == QLatin1String("IMG_7.cr3")) {
        // Canon's ISO-BMFF brand, then a movie box that claims more than the file holds.
        QFile file(path);
        const QByteArray boxes("\0\0\0\x10"
                               "ftypcrx \0\0\0\x01"
                               "\0\x01\0\0moov",
                               24);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(boxes) == boxes.size());
    } else {
        QVERIFY(!makeDng(path, options).isEmpty());
    }
    const auto fake = fakeDecoder(dcraw);
    QVERIFY(fake);
    StdoutCapture capture;
    // The pane's first view of a file with a preview is the preview, standing in for the whole.
    QSize standsInFor;
    const auto standIn = [&](const QImage &preview, const QSize &full) {
        if (isPreview(preview, kJpegPreviewSize, kJpegPreviewColour))
            standsInFor = full;
    };
    const QImage image =
        thumbnail ? loadImage(path, true) : loadImage(path, kJpegPreviewSize, standIn);
    QCOMPARE(standsInFor, !thumbnail && options.preview == Preview::Jpeg ? kRawSize : QSize());

    if (shows == QLatin1String("jpeg"))
        QVERIFY(isPreview(image, kJpegPreviewSize, kJpegPreviewColour));
    else if (shows == QLatin1String("full"))
        QVERIFY(isFullPicture(image));
    else if (shows == QLatin1String("half"))
        QVERIFY(image.size() == QSize(600, 400) && originalSize(image) == QSize(1200, 800) &&
                redQuarter(image) == Qt::TopLeftCorner);
    else
        QVERIFY(image.isNull());
    // dcraw's own lines as before; LibRaw adds none.
    const QByteArray printed = capture.text();
    QCOMPARE(countLines(printed, kDecoderProblem), problems);
    for (const QByteArray &line : printed.split('\n'))
        QVERIFY2(line.isEmpty() || line == kDecoderProblem || line == kDeleteProblem, line);
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::damagedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("thumbnail");

    const QDir samples(QStringLiteral(VELMORA_DAMAGED_RAW_DIR));
    const QStringList files = samples.entryList(QDir::Files, QDir::Name);
    if (files.isEmpty())
        QSKIP("no damaged raw samples beside the repository");
    for (const QString &file : files) {
        QTest::addRow("%s, thumbnail", qPrintable(file)) << samples.filePath(file) << true;
        QTest::addRow("%s, full picture", qPrintable(file)) << samples.filePath(file) << false;
    }
}

void TestLoader::damagedFiles()
{
    QFETCH(QString, file);
    QFETCH(bool, thumbnail);
    QTemporaryDir dir;
    const QString path = dir.filePath(QFileInfo(file).fileName());
    QVERIFY(QFile::copy(file, path));

    StdoutCapture capture;
    QVERIFY(loadImage(path, thumbnail).isNull());
    QVERIFY(countLines(capture.text(), kDecoderProblem) >= 1);
    QCOMPARE(folderContent(dir.path()), QStringList(QFileInfo(file).fileName()));
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::largePictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("loads");

    QTest::newRow("150 megapixels read by Qt") << "large.tif" << QSize(12500, 12000) << true;
    QTest::newRow("150 megapixels converted from a raw file")
        << "large.nef" << QSize(12500, 12000) << true;
    QTest::newRow("absurd size refused") << "absurd.tif" << QSize(100000, 100000) << false;
}

void TestLoader::largePictures()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(bool, loads);
    QTemporaryDir dir;
    const QColor colour(10, 200, 30);
    // In the private folder, beyond a confined decoder's reach.
    const QString tiff = privateTempDirectory() + QStringLiteral("/picture.tiff");
    QVERIFY(writePlainTiff(tiff, quint32(size.width()), quint32(size.height()), colour));
    const QString path = dir.filePath(name);
    std::unique_ptr<EnvironmentGuard> fake;
    if (isRawFile(path)) {
        // The decoder's conversion is the large TIFF.
        QVERIFY(writeDng(path));
        fake = fakeDecoder("mv \"${2%/*}/../picture.tiff\" \"${2%.*}.tiff\"", false);
    } else {
        QVERIFY(QFile::rename(tiff, path));
    }

    if (!loads)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("allocation limit")));
    StdoutCapture capture;
    const QImage image = loadImage(path, false);

    QCOMPARE(image.isNull(), !loads);
    if (loads) {
        QCOMPARE(image.size(), size);
        QCOMPARE(image.pixelColor(size.width() - 1, size.height() - 1), colour);
    }
    QCOMPARE(capture.text(), QByteArray());
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::concurrentLoads()
{
    // Files that differ in every respect a shared temporary file would reveal: preview colour and
    // size, route, and extension (outputs are named after the number alone).
    struct Case
    {
        QString path;
        bool thumbnail;
        QSize previewSize;
        QColor previewColour;
    };
    QList<Case> cases;
    const QList<QColor> colours{Qt::red, Qt::yellow, Qt::magenta, Qt::cyan};
    const QStringList extensions{QStringLiteral("dng"), QStringLiteral("nef"),
                                 QStringLiteral("CR2"), QStringLiteral("dng")};
    for (int i = 0; i < colours.size(); ++i) {
        DngOptions options = dngOptions(i % 2 ? Preview::Rgb : Preview::Jpeg);
        options.previewColor = colours.at(i);
        options.previewWidth = 20 + 2 * i;
        const QString path = makeDng(
            fixtures.filePath(QStringLiteral("concurrent/%1.%2").arg(i).arg(extensions.at(i))),
            options);
        QVERIFY(!path.isEmpty());
        cases.append(
            {path, true, QSize(options.previewWidth, options.previewHeight), options.previewColor});
    }
    const QString noPreview = makeDng(fixtures.filePath(QStringLiteral("concurrent/plain.arw")),
                                      dngOptions(Preview::None));
    cases.append({noPreview, true, QSize(), QColor()});
    cases.append({cases.first().path, false, QSize(), QColor()});

    constexpr int kThreads = 4;
    constexpr qint64 kDurationMs = 3000;
    QAtomicInt loads = 0;
    QAtomicInt wrong = 0;
    QList<QThread *> threads;
    StdoutCapture capture;
    for (int t = 0; t < kThreads; ++t) {
        threads.append(QThread::create([&, t] {
            QElapsedTimer timer;
            timer.start();
            for (int i = t; !timer.hasExpired(kDurationMs); ++i) {
                const Case &c = cases.at(i % cases.size());
                const QImage image = loadImage(c.path, c.thumbnail);
                const bool right = c.previewSize.isValid()
                                       ? isPreview(image, c.previewSize, c.previewColour)
                                       : isFullPicture(image);
                loads.fetchAndAddRelaxed(1);
                if (!right)
                    wrong.fetchAndAddRelaxed(1);
            }
        }));
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait());
        delete thread;
    }
    QVERIFY(loads.loadRelaxed() >= kThreads);
    QCOMPARE(wrong.loadRelaxed(), 0);
    QCOMPARE(countLines(capture.text(), kDeleteProblem), 0);
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::passedShortReadKeepsItsDecoder()
{
    // Passed before it started, within its grace: it answers, and its decoder serves on.
    bool answered = false;
    std::unique_ptr<QThread> passed(QThread::create([&answered] {
        QThread::currentThread()->requestInterruption();
        DecoderClient decoder;
        DecoderRequest request;
        request.kind = DecoderRequest::Formats;
        DecoderReply reply;
        answered = decoder.request(request, -1, 20000, reply, 20000) && decoder.isUsable();
    }));
    passed->start();
    QVERIFY(passed->wait() && answered);
}

void TestLoader::borrowedDecoderLeavesOneLockedDownBehind()
{
    // Locked down: its system call filter is in place.
    const auto lockedDown = [] {
        int count = 0;
        for (qint64 pid : decoderProcesses()) {
            QFile status(QStringLiteral("/proc/%1/status").arg(pid));
            count += status.open(QIODevice::ReadOnly) && status.readAll().contains("Seccomp:\t2");
        }
        return count;
    };
    QTRY_VERIFY((DecoderPool::endIdle(), decoderProcesses().isEmpty()));
    DecoderPool::keepSpares(true);
    std::unique_ptr<DecoderClient> borrowed = DecoderPool::borrow();
    DecoderPool::keepSpares(false);
    // The next request, when this one's decoder is ended, does not wait for one to start.
    QTRY_COMPARE(lockedDown(), 2);
    borrowed.reset();
    QTRY_COMPARE(lockedDown(), 1);
    DecoderPool::endIdle();
}

void TestLoader::orientation_data()
{
    addOrientationRows();
}

void TestLoader::orientation()
{
    QFETCH(int, orientation);
    QFETCH(bool, portrait);
    QFETCH(int, corner);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("phone.jpg"));
    QVERIFY(writeOrientedJpeg(path, markedPicture(QSize(60, 36)), orientation));

    const QImage image = loadImage(path, false);
    QCOMPARE(image.size(), portrait ? QSize(36, 60) : QSize(60, 36));
    QCOMPARE(markedCorner(image), corner);
}

void TestLoader::rawOrientation_data()
{
    addOrientationRows();
}

void TestLoader::rawOrientation()
{
    QFETCH(int, orientation);
    QFETCH(bool, portrait);
    QFETCH(int, corner);
    QTemporaryDir dir;
    // The decoder turns its full conversion; each kind of preview must come out the same way,
    // from dcraw and from LibRaw when dcraw fails.
    for (const int route : {0, 1, 2, 3}) {
        const Preview preview = route % 2 ? Preview::Rgb : Preview::Jpeg;
        const bool dcrawFails = route >= 2;
        const auto failing = dcrawFails ? fakeDecoder("exit 1") : nullptr;
        DngOptions options = dngOptions(preview);
        options.orientation = orientation;
        options.previewColor = Qt::white;
        options.previewMarkColor = kMarkColour;
        const QString path = makeDng(dir.filePath(QStringLiteral("turned.dng")), options);
        QVERIFY(!path.isEmpty());
        const char *kind = preview == Preview::Jpeg ? "JPEG preview" : "bitmap preview";

        StdoutCapture capture;
        const QImage thumbnail = loadImage(path, true);
        const QImage full = loadImage(path, false);

        const QSize stored(options.previewWidth, options.previewHeight);
        QVERIFY2(thumbnail.size() == (portrait ? stored.transposed() : stored), kind);
        QVERIFY2(markedCorner(thumbnail) == corner, kind);
        // Turned once by the decoder, not a second time by its output's own tag: the raw
        // picture's red quarter is where the preview's mark is.
        QCOMPARE(full.size(), portrait ? kRawSize.transposed() : kRawSize);
        QCOMPARE(redQuarter(full), corner);
        if (!dcrawFails)
            QCOMPARE(capture.text(), QByteArray());
        QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
    }
}

void TestLoader::unparsableRawKeepsItsPreview()
{
    // The decoder reads this file; the metadata library refuses it, so the bitmap preview stays
    // as it was stored, and nothing is said about it.
    DngOptions options = dngOptions(Preview::Rgb);
    options.orientation = 6;
    options.oddMagic = true;
    options.previewColor = Qt::white;
    options.previewMarkColor = kMarkColour;
    const QString path = makeDng(fixtures.filePath(QStringLiteral("odd.dng")), options);
    QVERIFY(!path.isEmpty());

    StdoutCapture capture;
    const QImage thumbnail = loadImage(path, true);

    QCOMPARE(thumbnail.size(), kRgbPreviewSize);
    QCOMPARE(markedCorner(thumbnail), int(Qt::TopLeftCorner));
    QCOMPARE(capture.text(), QByteArray());
    QVERIFY2(leftBehind().isEmpty(), qPrintable(leftBehind()));
}

void TestLoader::colourProfiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QColorSpace>("space");
    QTest::addColumn<QColor>("stored");
    QTest::addColumn<QColor>("shown");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<int>("pngGamma");

    // sRGB's primaries with red and green exchanged: stored red is seen as sRGB green.
    const QColorSpace swapped(QPointF(0.3127, 0.3290), QPointF(0.30, 0.60), QPointF(0.64, 0.33),
                              QPointF(0.15, 0.06), QColorSpace::TransferFunction::SRgb);
    const QColor orange(230, 120, 30);
    const QColor p3Orange =
        QColorSpace(QColorSpace::DisplayP3).transformationToColorSpace(QColorSpace::SRgb).map(orange);
    QTest::newRow("JPEG whose profile swaps red and green")
        << "swap.jpg" << QImage::Format_RGB32 << swapped << QColor(200, 40, 40)
        << QColor(40, 200, 40) << kJpegTolerance << 0;
    QTest::newRow("PNG whose profile swaps red and green")
        << "swap.png" << QImage::Format_RGB32 << swapped << QColor(200, 40, 40)
        << QColor(40, 200, 40) << 2 << 0;
    QTest::newRow("palette PNG whose profile swaps red and green")
        << "swap-palette.png" << QImage::Format_Indexed8 << swapped << QColor(200, 40, 40)
        << QColor(40, 200, 40) << 2 << 0;
    QTest::newRow("Display P3 JPEG") << "p3.jpg" << QImage::Format_RGB32
                                     << QColorSpace(QColorSpace::DisplayP3) << orange << p3Orange
                                     << kJpegTolerance << 0;
    QTest::newRow("JPEG 2000 whose profile swaps red and green")
        << "swap.jp2" << QImage::Format_RGB32 << swapped << QColor(200, 40, 40)
        << QColor(40, 200, 40) << 2 << 0;
    for (const QImage::Format grey : {QImage::Format_Grayscale8, QImage::Format_Grayscale16})
        QTest::addRow("%d-bit grey JPEG 2000", grey == QImage::Format_Grayscale8 ? 8 : 16)
            << "grey.jp2" << grey << QColorSpace() << QColor(120, 120, 120)
            << QColor(120, 120, 120) << 0 << 0;
    QTest::newRow("sRGB PNG is untouched") << "srgb.png" << QImage::Format_RGB32
                                           << QColorSpace(QColorSpace::SRgb) << orange << orange
                                           << 0 << 0;
    QTest::newRow("PNG without a profile is untouched")
        << "plain.png" << QImage::Format_RGB32 << QColorSpace() << orange << orange << 0 << 0;
    // Linear light, as a gAMA of 1.0 says: mid grey is seen much lighter in sRGB.
    QTest::newRow("PNG whose gAMA says linear") << "linear.png" << QImage::Format_RGB32
                                                << QColorSpace() << QColor(128, 128, 128)
                                                << QColor(188, 188, 188) << 2 << 100000;
}

void TestLoader::colourProfiles()
{
    QFETCH(QString, name);
    QFETCH(QImage::Format, format);
    QFETCH(QColorSpace, space);
    QFETCH(QColor, stored);
    QFETCH(QColor, shown);
    QFETCH(int, tolerance);
    QFETCH(int, pngGamma);
    QTemporaryDir dir;
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(stored);
    picture = picture.convertToFormat(format);
    picture.setColorSpace(space);
    const QString path = dir.filePath(name);
    if (name.endsWith(QLatin1String(".jp2")))
        QVERIFY(writeJp2(path, picture, false, space.iccProfile()));
    else
        QVERIFY(picture.save(path));
    if (pngGamma != 0)
        QVERIFY(addPngGamma(path, quint32(pngGamma)));
    if (!name.endsWith(QLatin1String(".jp2")))
        QCOMPARE(QImage(path).colorSpace().isValid(), space.isValid() || pngGamma != 0);

    StdoutCapture capture;
    for (bool thumbnail : {false, true}) {
        const QImage image = loadImage(path, thumbnail);
        const QColor seen = image.pixelColor(12, 8);
        QVERIFY2(near(seen, shown, tolerance), qPrintable(seen.name()));
    }
    QCOMPARE(capture.text(), QByteArray());
}

void TestLoader::newFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("alpha");

    for (const char *name : {"phone.heic", "web.avif", "web.jxl"}) {
        QTest::addRow("%s", name) << QString(name) << 8 << 255;
        QTest::addRow("%s, half transparent", name) << QString(name) << 8 << 128;
    }
    QTest::newRow("10-bit AVIF") << "deep.avif" << 10 << 255;
    QTest::newRow("JPEG 2000, half transparent") << "web.jp2" << 8 << 128;
    QTest::newRow("16-bit JPEG 2000") << "deep.jp2" << 16 << 255;
    QTest::newRow("JPEG 2000 codestream") << "bare.j2k" << 8 << 255;
    QTest::newRow("JPEG 2000 with colours at half resolution") << "subsampled.jp2" << 8 << 255;
}

// Each new format, read through Qt's reader by the project's own plugin: listed among the
// formats, with its colour, its alpha and its depth, the same for the pane and the grid.
void TestLoader::newFormats()
{
    QFETCH(QString, name);
    QFETCH(int, bits);
    QFETCH(int, alpha);
    const QString format = pathExtension(name);
    QVERIFY(supportedFormats().contains(format));
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    const QColor colour(40, 150, 210, alpha);
    QImage picture(48, 32,
                   alpha < 255 ? (bits > 8 ? QImage::Format_RGBA64 : QImage::Format_ARGB32)
                               : (bits > 8 ? QImage::Format_RGBX64 : QImage::Format_RGB32));
    picture.fill(colour);
    const HeifOptions options{format == QLatin1String("avif"), bits};
    if (format.startsWith(QLatin1String("j2")) || format == QLatin1String("jp2"))
        QVERIFY(writeJp2(path, picture, name.startsWith(QLatin1String("sub"))));
    else
        QVERIFY(format == QLatin1String("jxl") ? writeJxl(path, picture)
                                               : writeHeif(path, picture, options));

    StdoutCapture capture;
    for (bool thumbnail : {false, true}) {
        const QImage image = loadImage(path, thumbnail);
        QCOMPARE(image.size(), picture.size());
        QCOMPARE(image.hasAlphaChannel(), alpha != 255);
        QCOMPARE(image.depth() > 32, bits > 8);
        const QColor seen = image.pixelColor(24, 16);
        QVERIFY2(near(seen, colour, kJpegTolerance) && qAbs(seen.alpha() - alpha) <= 2,
                 qPrintable(seen.name(QColor::HexArgb)));
    }
    QCOMPARE(capture.text(), QByteArray());
}

void TestLoader::classicFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("kind");

    const auto row = [](const char *what, const char *name, const QStringList &options,
                        const char *kind = "colour") {
        QTest::newRow(what) << QString(name) << options << QString(kind);
    };
    row("Photoshop RGB", "PSD:a.psd", {});
    row("Photoshop RGB, 16 bits", "PSD:a.psd", {"-depth", "16"});
    row("Photoshop RGB, half transparent", "PSD:a.psd", {}, "alpha");
    row("Photoshop greyscale", "PSD:a.psd", {"-colorspace", "Gray"}, "grey");
    row("Photoshop greyscale, 16 bits", "PSD:a.psd", {"-colorspace", "Gray", "-depth", "16"},
        "grey");
    row("Photoshop CMYK", "PSD:a.psd", {"-colorspace", "CMYK"});
    row("Photoshop CMYK, 16 bits", "PSD:a.psd", {"-colorspace", "CMYK", "-depth", "16"});
    row("Photoshop Lab", "PSD:a.psd", {"-colorspace", "Lab"});
    row("Photoshop indexed", "PSD:a.psd", {"-type", "Palette"});
    row("Photoshop bitmap", "PSD:a.psd", {"-type", "Bilevel"}, "mono");
    row("Photoshop large document", "PSB:a.psb", {});
    row("Photoshop RGB, 32-bit floats", "PSD:linear.psd", {});
    row("Photoshop's own file, half transparent over white", "PSD:matted.psd", {}, "alpha");
    row("Photoshop, uncompressed", "PSD:a.psd", {"-compress", "None"});
    // ImageMagick writes a TGA file's rows from the top, and says so when it is told to.
    const QStringList top{"-orient", "TopLeft"};
    row("TGA true colour", "a.tga", top);
    row("TGA true colour, stored from the bottom row", "a.tga", {"-flip", "-orient", "BottomLeft"});
    row("TGA run-length", "a.tga", top + QStringList{"-compress", "RLE"});
    row("TGA colour-mapped, run-length", "a.tga",
        top + QStringList{"-type", "Palette", "-compress", "RLE"});
    row("TGA colour-mapped", "a.tga", top + QStringList{"-type", "Palette"});
    row("TGA greyscale, run-length", "a.tga",
        top + QStringList{"-colorspace", "Gray", "-compress", "RLE"}, "grey");
    row("TGA half transparent", "a.tga", top, "alpha");
    row("TGA of 16 bits a pixel", "five.tga", {});
    row("BMP version 3, RLE8", "BMP3:a.bmp", {"-type", "Palette", "-compress", "RLE"});
    row("BMP of OS/2", "BMP2:a.bmp", {});
    row("BMP of OS/2's second version, short header", "BMP3:os2.bmp", {"-type", "Palette"});
    row("BMP version 5, half transparent", "BMP:a.bmp", {}, "alpha");
    row("ICO, 32 bits with alpha", "a.ico", {}, "alpha");
    row("ICO with a palette and a mask", "a.ico", {"-type", "Palette"});
    row("plain PPM", "a.ppm", {"-compress", "None"});
    row("plain PGM", "a.pgm", {"-compress", "None"}, "grey");
    row("plain PBM", "a.pbm", {"-compress", "None"}, "mono");
    row("raw PPM, 16 bits", "a.ppm", {"-depth", "16"});
    row("PCX true colour", "a.pcx", {});
    row("PCX with a palette", "a.pcx", {"-type", "Palette"});
    row("PCX one bit", "a.pcx", {"-type", "Bilevel"}, "mono");
    row("PCX of four one-bit planes", "ega.pcx", {});
}

// Each variant that ImageMagick writes of the older formats shows at its full size, with the
// colours of its source, the same for the pane and the grid.
void TestLoader::classicFormats()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString file = name.section(QLatin1Char(':'), -1);
    const QString path = dir.filePath(file);
    // Four blocks of colours that every variant holds exactly; an odd width, as rows get padded.
    const QSize size(37, 23);
    QList<QColor> colours{{200, 40, 40}, {40, 160, 60}, {30, 60, 200}, {240, 230, 60}};
    if (kind == QLatin1String("grey"))
        colours = {QColor(30, 30, 30), QColor(100, 100, 100), QColor(170, 170, 170), Qt::white};
    else if (kind == QLatin1String("mono"))
        colours = {Qt::black, Qt::white, Qt::white, Qt::black};
    if (kind == QLatin1String("alpha")) {
        colours[1].setAlpha(128);
        colours[2].setAlpha(0);
    }
    QImage picture(size, QImage::Format_ARGB32);
    const auto block = [&](int i) {
        return QRect(i % 2 * 18, i / 2 * 11, i % 2 ? 19 : 18, i / 2 ? 12 : 11);
    };
    for (int i = 0; i < 4; ++i)
        for (int y = block(i).top(); y <= block(i).bottom(); ++y)
            for (int x = block(i).left(); x <= block(i).right(); ++x)
                picture.setPixelColor(x, y, colours[i]);
    QVERIFY(writeWithMagick(name.chopped(file.size()) + path, picture, options));
    const QByteArray handMade = handMadeVariant(file, picture);
    if (!handMade.isEmpty()) {
        QFile made(path);
        QVERIFY(made.open(QIODevice::WriteOnly) && made.write(handMade) == handMade.size());
    }
    if (file == QLatin1String("os2.bmp")) {
        QFile bitmap(path);
        QVERIFY(bitmap.open(QIODevice::ReadWrite));
        const QByteArray os2 = os2SecondBitmap(bitmap.readAll());
        QVERIFY(bitmap.resize(0) && bitmap.write(os2) == os2.size());
    }
    QVERIFY(supportedFormats().contains(pathExtension(path)));

    StdoutCapture capture;
    for (bool thumbnail : {false, true}) {
        const QImage image = loadImage(path, thumbnail);
        QCOMPARE(image.size(), size);
        for (int i = 0; i < 4; ++i) {
            const QColor seen = image.pixelColor(block(i).center());
            QVERIFY2(
                qAbs(seen.alpha() - colours[i].alpha()) <= 2 &&
                    (colours[i].alpha() == 0 || near(seen, colours[i], kJpegTolerance)),
                qPrintable(QString::number(i) + QLatin1Char(' ') + seen.name(QColor::HexArgb)));
        }
    }
    QCOMPARE(capture.text(), QByteArray());
}

void TestLoader::openExr_data()
{
    QTest::addColumn<ExrOptions>("options");
    QTest::addColumn<QList<float>>("patches"); // linear red, green, blue and alpha of each
    QTest::addColumn<QList<QColor>>("shown");

    const QList<float> sky{0.2f, 0.5f, 0.8f, 1.0f};
    const QColor skyShown(124, 188, 231);
    QTest::newRow("scan lines of halves within 0 to 1 are shown as stored")
        << ExrOptions{} << sky << QList<QColor>{skyShown};
    QTest::newRow("tiles of floats") << ExrOptions{true, true} << sky << QList<QColor>{skyShown};
    QTest::newRow("luminance with colour differences at half resolution")
        << ExrOptions{false, false, {}, {}, true}
        << QList<float>{0.8f, 0.2f, 0.1f, 1, 0.1f, 0.3f, 0.9f, 1}
        << QList<QColor>{QColor(231, 124, 89), QColor(89, 149, 243)};
    QTest::newRow("colours only in a layer")
        << ExrOptions{false, false, {}, {}, false, "diffuse."} << sky << QList<QColor>{skyShown};
    // Brighter than the screen: none white but the brightest, the darkest not black, and the
    // samples OpenEXR cannot hold as numbers taken as nothing and as its brightest.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("bright light is tone-mapped, neither blank nor clipped")
        << ExrOptions{}
        << QList<float>{0.05f, 0.05f, 0.05f, 1, 4, 4, 4, 1, 16, 16, 16, 1, nan, inf, nan, 1}
        << QList<QColor>{QColor(62, 62, 62), QColor(233, 233, 233), Qt::white, QColor(0, 255, 0)};
    // Red and green exchanged: a stored red is seen green.
    const QList<QPointF> swapped{{0.30, 0.60}, {0.64, 0.33}, {0.15, 0.06}, {0.3127, 0.3290}};
    QTest::newRow("chromaticities are the colours' primaries")
        << ExrOptions{false, false, swapped} << QList<float>{0.5f, 0.02f, 0.02f, 1}
        << QList<QColor>{QColor(39, 188, 39)};
    QTest::newRow("half transparent, stored premultiplied")
        << ExrOptions{} << QList<float>{0.1f, 0.25f, 0.4f, 0.5f}
        << QList<QColor>{QColor(124, 188, 231, 128)};
    QTest::newRow("a data window within the display window")
        << ExrOptions{false, false, {}, QRect(16, 0, 16, 16)}
        << QList<float>{1, 1, 1, 1, 0.2f, 0.5f, 0.8f, 1, 1, 1, 1, 1}
        << QList<QColor>{Qt::black, skyShown, Qt::black};
}

// OpenEXR's linear light on the screen: the display window, the data window's pixels in it, in
// its primaries, tone-mapped alike for the pane and the grid.
void TestLoader::openExr()
{
    QFETCH(ExrOptions, options);
    QFETCH(QList<float>, patches);
    QFETCH(QList<QColor>, shown);
    QVERIFY(supportedFormats().contains(QStringLiteral("exr")));
    const bool alpha = patches.at(3) < 1;
    QImage picture(16 * int(shown.size()), 16,
                   alpha ? QImage::Format_RGBA32FPx4_Premultiplied : QImage::Format_RGBX32FPx4);
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height(); ++y) {
            auto *pixel = reinterpret_cast<float *>(picture.scanLine(y)) + 4 * x;
            std::copy_n(patches.constData() + 4 * (x / 16), 4, pixel);
        }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("light.exr"));
    QVERIFY(writeExr(path, picture, options));

    for (bool thumbnail : {false, true}) {
        const QImage image = loadImage(path, thumbnail);
        QCOMPARE(image.size(), picture.size());
        QCOMPARE(image.hasAlphaChannel(), alpha);
        for (int i = 0; i < shown.size(); ++i) {
            const QColor seen = image.pixelColor(16 * i + 8, 8);
            QVERIFY2(near(seen, shown.at(i), 2) && qAbs(seen.alpha() - shown.at(i).alpha()) <= 1,
                     qPrintable(QStringLiteral("patch %1: %2").arg(i).arg(seen.name(QColor::HexArgb))));
        }
    }
}

void TestLoader::hdrPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("transfer");
    QTest::addColumn<int>("white");

    // SDR white as coded (PQ's 100 cd/m², BT.2408's HLG white) keeps its contrast; the brighter
    // bands (1000 and 10000 cd/m² in PQ, 0.9 and 1 in HLG) stay apart below clipping.
    for (const char *name : {"hdr.heic", "hdr.avif", "hdr.jxl"}) {
        QTest::addRow("PQ %s", name) << QString(name) << 16 << 186;
        QTest::addRow("HLG %s", name) << QString(name) << 18 << 226;
    }
}

// A picture coded for an HDR screen, read for an SDR one: neither washed out nor clipped.
void TestLoader::hdrPictures()
{
    QFETCH(QString, name);
    QFETCH(int, transfer);
    QFETCH(int, white);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    const QList<double> codes =
        transfer == 16 ? QList<double>{0.5081, 0.7518, 1.0} : QList<double>{0.75, 0.9, 1.0};
    QImage picture(48, 16, QImage::Format_RGBX64);
    QPainter painter(&picture);
    for (int band = 0; band < 3; ++band)
        painter.fillRect(16 * band, 0, 16, 16,
                         QColor::fromRgbF(codes[band], codes[band], codes[band]));
    painter.end();
    const HeifOptions options{name.endsWith(QLatin1String("avif")), 10, 1, 0, false, {}, transfer};
    QVERIFY(name.endsWith(QLatin1String("jxl")) ? writeJxl(path, picture, 1, transfer)
                                                : writeHeif(path, picture, options));

    const QImage image = loadImage(path, false);
    int levels[3];
    for (int band = 0; band < 3; ++band)
        levels[band] = qGray(image.pixel(16 * band + 8, 8));
    QVERIFY2(qAbs(levels[0] - white) <= 10 && levels[0] < levels[1] && levels[1] < levels[2] &&
                 levels[1] < 253 && levels[2] >= 245,
             qPrintable(QStringLiteral("%1 %2 %3").arg(levels[0]).arg(levels[1]).arg(levels[2])));
}

void TestLoader::newFormatOrientation_data()
{
    addOrientationRows();
}

// The rotation and mirror that a HEIF container or a JPEG XL header records are applied once.
void TestLoader::newFormatOrientation()
{
    QFETCH(int, orientation);
    QFETCH(bool, portrait);
    QFETCH(int, corner);
    QTemporaryDir dir;
    const QImage picture = markedPicture(QSize(64, 40));
    const HeifOptions options{false, 8, orientation};
    const QString heic = dir.filePath(QStringLiteral("turned.heic"));
    const QString jxl = dir.filePath(QStringLiteral("turned.jxl"));
    QVERIFY(writeHeif(heic, picture, options));
    QVERIFY(writeJxl(jxl, picture, orientation));

    for (const QString &path : {heic, jxl}) {
        const QImage image = loadImage(path, false);
        QCOMPARE(image.size(), portrait ? QSize(40, 64) : QSize(64, 40));
        QCOMPARE(markedCorner(image), corner);
    }
}

void TestLoader::printColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QColor>("shown");

    // What LittleCMS makes of the colours through the test's profiles.
    const QString grassInk = QStringLiteral("xc:cmyk(75%,12%,88%,9%)");
    QTest::newRow("CMYK JPEG with a print profile")
        << "print.jpg" << grassInk << QColor(116, 171, 88);
    QTest::newRow("CMYK TIFF with a print profile")
        << "print.tif" << grassInk << QColor(116, 171, 88);
    QTest::newRow("CMYK Photoshop file with a print profile")
        << "print.psd" << grassInk << QColor(116, 171, 88);
    QTest::newRow("RGB JPEG with a table-based profile")
        << "table.jpg"
        << "xc:rgb(60,180,90)" << QColor(100, 163, 136);
}

// Profiles that Qt cannot apply reach the screen through LittleCMS, not as stored numbers.
void TestLoader::printColours()
{
    QFETCH(QString, name);
    QFETCH(QString, colour);
    QFETCH(QColor, shown);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    const int channels = colour.contains(QLatin1String("cmyk")) ? 4 : 3;
    QVERIFY(writeProfiled(path, {"-size", "32x24", "-depth", "8", colour}, tableProfile(channels)));
    QVERIFY(!near(QImage(path).pixelColor(16, 12), shown, kJpegTolerance));

    for (bool thumbnail : {false, true}) {
        const QColor seen = loadImage(path, thumbnail).pixelColor(16, 12);
        QVERIFY2(near(seen, shown, kJpegTolerance), qPrintable(seen.name()));
    }
}

void TestLoader::reducedPictures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("limitMegabytes");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<QSize>("original");
    QTest::newRow("just above the limit, halved")
        << "pano.jpg" << 1 << 8 << QSize(1100, 500) << QSize(2200, 1000);
    QTest::newRow("turned, halved") << "pano.jpg" << 6 << 8 << QSize(500, 1100) << QSize(1000, 2200);
    QTest::newRow("halved twice") << "pano.jpg" << 1 << 2 << QSize(550, 250) << QSize(2200, 1000);
    QTest::newRow("JPEG 2000 halved twice, at its resolution levels")
        << "pano.jp2" << 1 << 2 << QSize(550, 250) << QSize(2200, 1000);
}

// A JPEG over the allocation limit (lowered here, so that the file stays small) is shown
// reduced by halving, and says its own size.
void TestLoader::reducedPictures()
{
    QFETCH(QString, name);
    QFETCH(int, orientation);
    QFETCH(int, limitMegabytes);
    QFETCH(QSize, shown);
    QFETCH(QSize, original);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QImage picture = markedPicture(QSize(2200, 1000));
    // Detail, without which the lossless file would be too short to be believed.
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); x += 3)
            picture.setPixel(x, y, picture.pixel(x, y) ^ ((x * y) & 0x0f0f0f));
    QVERIFY(name.endsWith(QLatin1String(".jp2"))
                ? writeJp2(path, picture)
                : writeOrientedJpeg(path, picture, orientation));
    const auto restore = qScopeGuard([] { raiseAllocationLimit(); });
    QImageReader::setAllocationLimit(limitMegabytes);

    const QImage image = loadImage(path, false);
    QCOMPARE(image.size(), shown);
    QCOMPARE(originalSize(image), original);
}

QTEST_GUILESS_MAIN(TestLoader)
#include "tst_loader.moc"
