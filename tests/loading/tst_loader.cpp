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
    void newFormatOrientation_data();
    void newFormatOrientation();
    void printColours_data();
    void printColours();
    void reducedPictures_data();
    void reducedPictures();

private:
    QString makeDng(const QString &path, const DngOptions &options);
    // Puts a fake dcraw first on PATH for the guard's lifetime; body is its shell script.
    std::unique_ptr<EnvironmentGuard> fakeDecoder(const QByteArray &body);
    // A fake dcraw that logs "<option> <input>" lines and then runs the real one. The log lies in
    // the private folder, the one place a confined decoder may write.
    std::unique_ptr<EnvironmentGuard> spyDecoder();
    QStringList spyLog() const;

    QTemporaryDir fixtures;
    QTemporaryDir decoderDir;
    QString realDecoder;
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
}

QString TestLoader::makeDng(const QString &path, const DngOptions &options)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !writeDng(path, options))
        return QString();
    return path;
}

std::unique_ptr<EnvironmentGuard> TestLoader::fakeDecoder(const QByteArray &body)
{
    if (!writeScript(decoderDir.filePath(QStringLiteral("dcraw")), body))
        return nullptr;
    return std::make_unique<EnvironmentGuard>("PATH",
                                              EnvironmentGuard::pathWithFirst(decoderDir.path()));
}

std::unique_ptr<EnvironmentGuard> TestLoader::spyDecoder()
{
    return fakeDecoder("echo \"$1 $2\" >> \"${2%/*}/spy.log\"\nexec '" + realDecoder.toUtf8() +
                       "' \"$@\"");
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
        QCOMPARE(match.captured(2), privateTempDirectory());
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
    QTest::addColumn<QByteArray>("printed");

    const QByteArray output = "out=\"${2%.*}\"\n";
    // The preview to copy is lent in the private folder, the one a confined decoder may read.
    const QByteArray lent = "\"${2%/*}/preview.jpg\"";
    const QByteArray preview = "cp " + lent + " \"$out.thumb.jpg\"\n";
    const QByteArray bitmap = "printf 'P6\\n2 2\\n255\\n123456789abc' > \"$out.thumb.ppm\"\n";
    QTest::newRow("preview written, then failure")
        << output + preview + "printf 'broken' >&2; exit 1" << true << false
        << QByteArray("broken\n") + kDecoderProblem + '\n';
    QTest::newRow("conversion written, then failure")
        << output + "cp " + lent + " \"$out.tiff\"; exit 2" << false << false
        << QByteArray("\n") + kDecoderProblem + '\n';
    QTest::newRow("success without a conversion")
        << QByteArray("exit 0") << false << false << kDeleteProblem + '\n';
    QTest::newRow("success with a conversion that is no picture")
        << output + "echo garbage > \"$out.tiff\"" << false << false << QByteArray();
    QTest::newRow("both previews written: the JPEG wins, neither stays")
        << output + preview + bitmap << true << true << QByteArray();
}

void TestLoader::decoderMisbehaves()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, thumbnail);
    QFETCH(bool, gotPreview);
    QFETCH(QByteArray, printed);
    const QString path =
        makeDng(fixtures.filePath(QStringLiteral("misbehaving.nef")), dngOptions(Preview::None));
    QVERIFY(!path.isEmpty());

    const auto fake = fakeDecoder(script);
    QVERIFY(fake);
    const QString lent = privateTempDirectory() + QStringLiteral("/preview.jpg");
    QVERIFY(QFile::copy(jpegFixture, lent));
    StdoutCapture capture;
    const QImage image = loadImage(path, thumbnail);
    QFile::remove(lent);

    QCOMPARE(image.isNull(), !gotPreview);
    if (gotPreview)
        QVERIFY(isPreview(image, kJpegPreviewSize, kJpegPreviewColour));
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
    QVERIFY(loadImage(path, false).isNull());
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

    QTest::newRow("thumbnail: both routes fail") << true << 2;
    QTest::newRow("full picture") << false << 1;
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

    QVERIFY(image.isNull());
    const QByteArray printed = capture.text();
    QCOMPARE(countLines(printed, kDecoderProblem), decoderProblems);
    QCOMPARE(countLines(printed, kDeleteProblem), 1);
    // Each problem line follows the interpreter's own complaint.
    QCOMPARE(printed.count("not found"), decoderProblems);
    QVERIFY(printed.endsWith(kDecoderProblem + '\n' + kDeleteProblem + '\n'));
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
    // In the private folder, the one a confined decoder may read.
    const QString tiff = privateTempDirectory() + QStringLiteral("/picture.tiff");
    QVERIFY(writePlainTiff(tiff, quint32(size.width()), quint32(size.height()), colour));
    const QString path = dir.filePath(name);
    std::unique_ptr<EnvironmentGuard> fake;
    if (isRawFile(path)) {
        // The decoder's conversion is the large TIFF.
        QVERIFY(writeDng(path));
        fake = fakeDecoder("mv \"${2%/*}/picture.tiff\" \"${2%.*}.tiff\"");
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
    // The decoder turns its full conversion; each kind of preview must come out the same way.
    for (const Preview preview : {Preview::Jpeg, Preview::Rgb}) {
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
    QVERIFY(picture.save(path));
    if (pngGamma != 0)
        QVERIFY(addPngGamma(path, quint32(pngGamma)));
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
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("limitMegabytes");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<QSize>("original");
    QTest::newRow("just above the limit, halved")
        << 1 << 8 << QSize(1100, 500) << QSize(2200, 1000);
    QTest::newRow("turned, halved") << 6 << 8 << QSize(500, 1100) << QSize(1000, 2200);
    QTest::newRow("halved twice") << 1 << 2 << QSize(550, 250) << QSize(2200, 1000);
}

// A JPEG over the allocation limit (lowered here, so that the file stays small) is shown
// reduced by halving, and says its own size.
void TestLoader::reducedPictures()
{
    QFETCH(int, orientation);
    QFETCH(int, limitMegabytes);
    QFETCH(QSize, shown);
    QFETCH(QSize, original);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pano.jpg"));
    QVERIFY(writeOrientedJpeg(path, markedPicture(QSize(2200, 1000)), orientation));
    const auto restore = qScopeGuard([] { raiseAllocationLimit(); });
    QImageReader::setAllocationLimit(limitMegabytes);

    const QImage image = loadImage(path, false);
    QCOMPARE(image.size(), shown);
    QCOMPARE(originalSize(image), original);
}

QTEST_GUILESS_MAIN(TestLoader)
#include "tst_loader.moc"
