// SPDX-License-Identifier: GPL-3.0-or-later
// The real viewer on a real X server, used the way a person uses it: started from a folder with
// a settings file, the Pictures folder activated in the tree with the keyboard, thumbnails looked
// at, one opened with a double-click, zoomed, a damaged one refused, and Ctrl+Q. Then started
// again as a file manager starts it, with a file: the folder stepped through with Space and
// Backspace, zoomed with Ctrl and the wheel, shown full screen; and once more with a file that
// does not exist. Every check reads what the screen shows or what the process prints; the
// viewer's insides are never consulted. The steps are one story and run in order; after a failed
// step the rest are skipped.

#include "desktop.h"
#include "dngwriter.h"
#include "processes.h"
#include "screenimage.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QString kTitle = QStringLiteral("Velmora PRO Viewer");
const QSize kStartSize(700, 600);
// Tall enough for the thumbnail dock to show the folder's three rows without scrolling.
const QSize kWorkingSize(700, 720);

constexpr int kStartTimeoutMs = 20000;
constexpr int kStepTimeoutMs = 15000;
// Sizes read off the screen may be a pixel off where the decoder's edges blur.
constexpr int kSizeTolerance = 2;

// The fixtures: plain colours, so that the screen can be read without doubt. None of them lies
// between two of the raw quadrants' colours, which blend where the quadrants meet. Names sort
// in this order, which is the order of the grid and of the thumbnail worker.
const QString kDamaged = QStringLiteral("a_damaged.png");
const QString kJpeg = QStringLiteral("b_orange.jpg");
const QString kPng = QStringLiteral("c_teal.png");
const QString kRawWithPreview = QStringLiteral("d_preview.dng");
const QString kRawWithoutPreview = QStringLiteral("e_nopreview.dng");

const QColor kOrange(240, 140, 20);
const QColor kTeal(0, 140, 140);
const QColor kBrown(110, 60, 0);
// The generated raw pictures decode to four quadrants in these colours.
const QColor kRawRed(255, 50, 50);
const QColor kRawGreen(50, 255, 50);
const QColor kRawBlue(50, 50, 255);
const QColor kRawWhite(255, 255, 255);
const QSize kRawSize(240, 160);

// Thumbnails fit in 80 by 80; cells are 80 by 96 with the file name in the bottom 16 rows.
const QSize kCell(80, 96);
constexpr int kThumbArea = 80;

bool near(int actual, int expected)
{
    return std::abs(actual - expected) <= kSizeTolerance;
}

bool near(const QSize &actual, const QSize &expected)
{
    return near(actual.width(), expected.width()) && near(actual.height(), expected.height());
}

QString describe(const QRect &rect)
{
    return rect.isNull() ? QStringLiteral("nothing")
                         : QStringLiteral("%1x%2 at (%3, %4)")
                               .arg(rect.width())
                               .arg(rect.height())
                               .arg(rect.x())
                               .arg(rect.y());
}

// A raw picture as the pane shows it: red, green, blue and white quadrants in picture.
bool showsRawQuadrants(const QImage &image, const QRect &picture)
{
    if (picture.width() < 8 || picture.height() < 8)
        return false;
    const auto at = [&](int quarterX, int quarterY) {
        return image.pixel(picture.left() + picture.width() * quarterX / 4,
                           picture.top() + picture.height() * quarterY / 4);
    };
    return looksLike(at(1, 1), kRawRed) && looksLike(at(3, 1), kRawGreen) &&
           looksLike(at(1, 3), kRawBlue) && looksLike(at(3, 3), kRawWhite);
}

} // namespace

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void startsWithTheEditionInTheTitle();
    void activatesThePicturesFolderWithTheKeyboard();
    void showsEveryThumbnailButTheDamagedOne();
    void opensADoubleClickedThumbnailFittedToTheWindow();
    void zoomsInOnlyWithFitToWindowUnchecked();
    void refusesTheDamagedFileInABox();
    void quitsWithCtrlQLeavingNothingBehind();
    void startsWithAFileShownAndCurrentInTheGrid();
    void stepsThroughTheFolderWithSpaceAndBackspace();
    void zoomsWithCtrlAndTheWheel();
    void fullScreenCoversTheScreenAndEscRestoresTheWindow();
    void quitsAgainLeavingNothingBehind();
    void startsWithAMissingFileAndSaysSo();

private:
    QString path(const QString &name) const { return dir.filePath(name); }
    bool writePictures();
    QMap<QString, QByteArray> pictureFiles() const;
    QImage look() const { return Desktop::grab(windowRect); }
    QPoint onScreen(const QPoint &windowPoint) const { return windowRect.topLeft() + windowPoint; }
    void saveScreenshot(const QString &name, const QRect &rect) const;
    QRect picture(const QImage &image) const;
    QStringList zoomFactors() const;
    bool findThumbnails(QString *found);
    void startViewer(const QStringList &arguments);
    void findPane();
    void quitWithCtrlQ();
    bool cellHighlighted(const QImage &image, const QRect &thumbnail) const;
    bool gridAsBefore() const;

    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/tst_endtoend_XXXXXX")};
    QMap<QString, QByteArray> originalPictures;
    QProcess viewer;
    QByteArray viewerOutput;
    bool earlierStepFailed = false;

    qulonglong mainWindow = 0;
    QRect windowRect; // on the screen
    // The rest in the window's own pixels.
    QRect pane;
    QRect docks;
    QRect jpegThumb, pngThumb, previewThumb, rawRedThumb, rawGreenThumb, rawBlueThumb;
};

void EndToEndTest::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    for (const char *program : {"xdotool", "dcraw"}) {
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(program)).isEmpty(),
                 qPrintable(QStringLiteral("%1 is not on PATH; scripts/deps.sh test installs it")
                                .arg(QLatin1String(program))));
    }
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("work")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("config")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("pictures")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("tmp")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("runtime")));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("runtime")), QFileDevice::ReadOwner |
                                                                       QFileDevice::WriteOwner |
                                                                       QFileDevice::ExeOwner));
    QFile settings(path(QStringLiteral("work/velmora.properties")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    QVERIFY(settings.write("pro\n") == 4);
    settings.close();
    // The user's Pictures folder, where the folder tree starts, is the folder of the fixtures.
    QFile userDirs(path(QStringLiteral("config/user-dirs.dirs")));
    QVERIFY(userDirs.open(QIODevice::WriteOnly));
    QVERIFY(userDirs.write("XDG_PICTURES_DIR=\"$HOME/pictures\"\n") > 0);
    userDirs.close();
    QVERIFY(writePictures());
    originalPictures = pictureFiles();
    QCOMPARE(originalPictures.size(), 5);
    QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The viewer's temporary files go here, where the test can see that they are gone at the end.
    environment.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
    // Qt's own runtime files go elsewhere; without this folder it would make one in TMPDIR.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    // A home of the test's own, so that where the tree starts does not depend on the machine.
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
    viewer.setProcessEnvironment(environment);
    viewer.setWorkingDirectory(path(QStringLiteral("work")));
    viewer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&viewer, &QProcess::readyReadStandardOutput, this,
            [this] { viewerOutput += viewer.readAllStandardOutput(); });
}

bool EndToEndTest::writePictures()
{
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(kOrange);
    if (!image.save(path(QStringLiteral("pictures/") + kJpeg), "JPG", 95))
        return false;
    image = QImage(120, 120, QImage::Format_RGB32);
    image.fill(kTeal);
    if (!image.save(path(QStringLiteral("pictures/") + kPng)))
        return false;

    DngOptions raw;
    raw.width = kRawSize.width();
    raw.height = kRawSize.height();
    raw.preview = DngOptions::Preview::Jpeg;
    raw.previewWidth = 120;
    raw.previewHeight = 80;
    raw.previewColor = kBrown;
    if (!writeDng(path(QStringLiteral("pictures/") + kRawWithPreview), raw))
        return false;
    raw.preview = DngOptions::Preview::None;
    if (!writeDng(path(QStringLiteral("pictures/") + kRawWithoutPreview), raw))
        return false;

    // A PNG signature followed by noise: named like a picture, read by nobody.
    QFile damaged(path(QStringLiteral("pictures/") + kDamaged));
    if (!damaged.open(QIODevice::WriteOnly))
        return false;
    QByteArray bytes("\x89PNG\r\n\x1a\n");
    for (int i = 0; i < 2000; ++i)
        bytes.append(char((i * 37 + 11) % 251));
    return damaged.write(bytes) == bytes.size();
}

// Every picture file by name, with a digest of its contents.
QMap<QString, QByteArray> EndToEndTest::pictureFiles() const
{
    QMap<QString, QByteArray> files;
    const QDir pictures(path(QStringLiteral("pictures")));
    for (const QString &name : pictures.entryList(QDir::Files | QDir::Hidden)) {
        QFile file(pictures.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

void EndToEndTest::init()
{
    if (earlierStepFailed)
        QSKIP("An earlier step failed; the story cannot go on from here.");
}

void EndToEndTest::cleanup()
{
    if (!QTest::currentTestFailed())
        return;
    earlierStepFailed = true;
    if (windowRect.isValid())
        saveScreenshot(QStringLiteral("failed-") + QLatin1String(QTest::currentTestFunction()),
                       windowRect);
}

void EndToEndTest::cleanupTestCase()
{
    if (viewer.state() != QProcess::NotRunning) {
        viewer.kill();
        viewer.waitForFinished(kStepTimeoutMs);
    }
    if (earlierStepFailed)
        qInfo().noquote() << "Standard output of the viewer:\n" << viewerOutput;
}

void EndToEndTest::saveScreenshot(const QString &name, const QRect &rect) const
{
    const QString file = QStringLiteral(SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
    if (!Desktop::grab(rect).save(file))
        qWarning() << "cannot save" << file;
}

// The picture on the pane: the bright part of the pane's black background.
QRect EndToEndTest::picture(const QImage &image) const
{
    return brightBounds(image, pane);
}

// The zoom factors the viewer printed, one a line, among its other diagnostics.
QStringList EndToEndTest::zoomFactors() const
{
    QStringList factors;
    for (const QByteArray &line : viewerOutput.split('\n')) {
        bool number = false;
        line.trimmed().toDouble(&number);
        if (number)
            factors.append(QString::fromLatin1(line.trimmed()));
    }
    return factors;
}

// Starts the viewer with arguments and waits for its window, as it first appears.
void EndToEndTest::startViewer(const QStringList &arguments)
{
    viewerOutput.clear();
    viewer.start(QStringLiteral(VIEWER_BINARY), arguments);
    QVERIFY2(viewer.waitForStarted(kStartTimeoutMs), qPrintable(viewer.errorString()));

    QList<qulonglong> windows;
    QTRY_VERIFY_WITH_TIMEOUT(!(windows = Desktop::windows(viewer.processId(), kTitle)).isEmpty(),
                             kStartTimeoutMs);
    // With a file that cannot be opened, its box may already stand beside the window.
    mainWindow = 0;
    for (qulonglong window : windows) {
        if (Desktop::windowGeometry(window).size() == kStartSize)
            mainWindow = window;
    }
    QVERIFY2(mainWindow != 0, "no window of the starting size");
    QCOMPARE(Desktop::windowTitle(mainWindow), kTitle);
    windowRect = Desktop::windowGeometry(mainWindow);
}

// The empty part of the picture pane, one plain colour up to the window's right edge, and the
// docks beside it.
void EndToEndTest::findPane()
{
    const QPoint seed(windowRect.width() - 10, windowRect.height() / 2);
    QTRY_VERIFY_WITH_TIMEOUT(near(plainSpan(look(), seed).right(), windowRect.width() - 1),
                             kStepTimeoutMs);
    pane = plainSpan(look(), seed);
    // The docks fill the window's left part, beside the pane and below the menu bar.
    docks = QRect(0, pane.top(), pane.left() - 6, pane.height());
    QVERIFY2(docks.width() > 2 * kCell.width(), qPrintable(describe(docks)));
}

void EndToEndTest::startsWithTheEditionInTheTitle()
{
    startViewer(QStringList());
    if (QTest::currentTestFailed())
        return;

    // The empty picture pane is one plain colour up to the window's right edge.
    const QPoint seed(windowRect.width() - 10, windowRect.height() / 2);
    QTRY_VERIFY_WITH_TIMEOUT(plainSpan(look(), seed).width() > windowRect.width() / 2,
                             kStepTimeoutMs);
    saveScreenshot(QStringLiteral("1-started"), windowRect);

    // Before any picture, Fit to Window is greyed: Ctrl+F changes nothing, as a later step sees
    // when the first picture opens fitted. (Not Ctrl++ here: the tree, which has the keyboard,
    // takes a + that no command wants as "open this folder".)
    QVERIFY(Desktop::focusWindow(mainWindow));
    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+f")}));

    // A user who wants to see the whole folder makes the window taller.
    QVERIFY(Desktop::resizeWindow(mainWindow, kWorkingSize));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windowGeometry(mainWindow).size(), kWorkingSize,
                              kStepTimeoutMs);
    windowRect = Desktop::windowGeometry(mainWindow);
    findPane();
}

void EndToEndTest::activatesThePicturesFolderWithTheKeyboard()
{
    // The tree starts at the user's Pictures folder, selected but not activated: the grid is
    // still empty.
    QVERIFY(Desktop::focusWindow(mainWindow));
    SelectedRow row;
    QTRY_VERIFY_WITH_TIMEOUT((row = selectedRow(look(), docks)).band.isValid(), kStepTimeoutMs);
    QCOMPARE(colourCount(look(), docks, kOrange), 0);
    saveScreenshot(QStringLiteral("2-pictures-folder"), windowRect);

    // A single click on it gives the tree the keyboard and changes nothing else; the pointer then
    // leaves the tree, so that nothing there is drawn as hovered. Return activates the folder,
    // like a double-click.
    QVERIFY(Desktop::click(onScreen(QPoint(row.band.left() + std::max(row.indent, 0) + 20,
                                           row.band.center().y()))));
    QVERIFY(Desktop::movePointer(onScreen(pane.center())));
    QCOMPARE(colourCount(look(), docks, kOrange), 0);
    QVERIFY(Desktop::pressKeys({QStringLiteral("Return")}));
}

// True once every thumbnail but the damaged file's is on screen at its size; found tells what
// is there.
bool EndToEndTest::findThumbnails(QString *found)
{
    const QImage image = look();
    jpegThumb = colourBounds(image, docks, kOrange);
    pngThumb = colourBounds(image, docks, kTeal);
    previewThumb = colourBounds(image, docks, kBrown);
    rawRedThumb = colourBounds(image, docks, kRawRed);
    rawGreenThumb = colourBounds(image, docks, kRawGreen);
    rawBlueThumb = colourBounds(image, docks, kRawBlue);
    *found = QStringLiteral("JPEG %1, PNG %2, preview %3, raw quadrants %4, %5, %6")
                 .arg(describe(jpegThumb), describe(pngThumb), describe(previewThumb),
                      describe(rawRedThumb), describe(rawGreenThumb), describe(rawBlueThumb));
    // Scaled to fit 80 by 80: 160x120 gives 80x60, 120x120 gives 80x80, the 120x80 preview
    // 80x53, and the 240x160 raw picture itself, made into the thumbnail because the file has
    // no preview, 80x53 in four quadrants of 40x26.
    return near(jpegThumb.size(), QSize(80, 60)) && near(pngThumb.size(), QSize(80, 80)) &&
           near(previewThumb.size(), QSize(80, 53)) && near(rawRedThumb.size(), QSize(40, 26)) &&
           near(rawGreenThumb.size(), QSize(40, 26)) && near(rawBlueThumb.size(), QSize(40, 26)) &&
           near(rawGreenThumb.left(), rawRedThumb.right() + 1) &&
           near(rawBlueThumb.top(), rawRedThumb.bottom() + 1);
}

void EndToEndTest::showsEveryThumbnailButTheDamagedOne()
{
    QString found;
    QTRY_VERIFY2_WITH_TIMEOUT(findThumbnails(&found), qPrintable(found), kStartTimeoutMs);
    saveScreenshot(QStringLiteral("3-thumbnails"), windowRect);

    // The grid, in name order: the damaged file's cell is the first, the JPEG's the second, in
    // the same row. Each later row starts in the grid's first column, where one of the other
    // thumbnails lies. A thumbnail is centred in the top 80 rows of its cell, the file name is in
    // the 16 below.
    const QRect jpegCell(jpegThumb.left(), jpegThumb.top() - (kThumbArea - 60) / 2, kCell.width(),
                         kCell.height());
    const int firstColumn = std::min({pngThumb.left(), previewThumb.left(), rawRedThumb.left()});
    QVERIFY2(jpegThumb.left() >= firstColumn + kCell.width(), qPrintable(found));
    const QRect damagedCell(firstColumn, jpegCell.top(), kCell.width(), kCell.height());
    QVERIFY2(docks.contains(damagedCell), qPrintable(describe(damagedCell)));

    // The worker reads the files in grid order, so with the later thumbnails on screen it is
    // done with the damaged file: instead of "loading..." its cell says "cannot load" in the
    // middle of the thumbnail square, with no picture above it and its file name below it, as
    // a cell that has its thumbnail.
    const QImage image = look();
    const auto strip = [](const QRect &cell, int top, int height) {
        return QRect(cell.left(), cell.top() + top, cell.width(), height);
    };
    QVERIFY(inkCount(image, strip(damagedCell, 28, 24)) > 20);
    QCOMPARE(inkCount(image, strip(damagedCell, 0, 28)), 0);
    QVERIFY(inkCount(image, strip(damagedCell, kThumbArea, kCell.height() - kThumbArea)) > 20);
    QVERIFY(inkCount(image, strip(jpegCell, kThumbArea, kCell.height() - kThumbArea)) > 20);
}

void EndToEndTest::opensADoubleClickedThumbnailFittedToTheWindow()
{
    // The raw file's thumbnail is its brown preview; opened, it is converted in full and shows
    // the four quadrants of the raw picture instead.
    QVERIFY(Desktop::doubleClick(onScreen(previewThumb.center())));

    // Fit to Window is still checked (the early Ctrl+F did nothing): the whole picture is as
    // large as the pane allows, in its own proportions.
    const auto fitted = [&] {
        const QImage image = look();
        const QRect shown = picture(image);
        const bool fills = near(shown.width(), pane.width()) || near(shown.height(), pane.height());
        const double ratio = double(shown.width()) / std::max(1, shown.height());
        return fills && std::abs(ratio - 1.5) < 0.02 && showsRawQuadrants(image, shown);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        fitted(),
        qPrintable(
            QStringLiteral("pane %1 shows %2").arg(describe(pane), describe(picture(look())))),
        kStepTimeoutMs);
    QCOMPARE(Desktop::windowTitle(mainWindow), kTitle);
    saveScreenshot(QStringLiteral("4-fitted"), windowRect);
}

void EndToEndTest::zoomsInOnlyWithFitToWindowUnchecked()
{
    const auto shownAt = [&](const QSize &size) {
        const QImage image = look();
        const QRect shown = picture(image);
        return near(shown.size(), size) && showsRawQuadrants(image, shown);
    };
    const auto shownSize = [&] { return describe(picture(look())); };

    // Zoom In is greyed while the picture is fitted: nothing happens, nothing is printed.
    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+plus")}));
    // Ctrl+F unchecks Fit to Window: the picture at its own size.
    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+f")}));
    QTRY_VERIFY2_WITH_TIMEOUT(shownAt(kRawSize), qPrintable(shownSize()), kStepTimeoutMs);

    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+plus")}));
    QTRY_VERIFY2_WITH_TIMEOUT(shownAt(kRawSize * 1.25), qPrintable(shownSize()), kStepTimeoutMs);
    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+plus")}));
    QTRY_VERIFY2_WITH_TIMEOUT(shownAt(kRawSize * 1.5625), qPrintable(shownSize()), kStepTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(zoomFactors(),
                              (QStringList{QStringLiteral("1.25"), QStringLiteral("1.5625")}),
                              kStepTimeoutMs);
    saveScreenshot(QStringLiteral("5-zoomed"), windowRect);
}

void EndToEndTest::refusesTheDamagedFileInABox()
{
    const QRect before = picture(look());
    // The picture has the keyboard since the double-click opened it: Home goes to the folder's
    // first picture, the damaged file.
    QVERIFY(Desktop::pressKeys({QStringLiteral("Home")}));

    QList<qulonglong> windows;
    QTRY_COMPARE_WITH_TIMEOUT((windows = Desktop::windows(viewer.processId(), kTitle)).size(), 2,
                              kStepTimeoutMs);
    windows.removeAll(mainWindow);
    QCOMPARE(windows.size(), 1);
    const qulonglong box = windows.first();
    QCOMPARE(Desktop::windowTitle(box), kTitle);
    const QRect boxRect = Desktop::windowGeometry(box);
    QVERIFY2(windowRect.intersects(boxRect), qPrintable(describe(boxRect)));
    // The box holds a line of text and a button.
    QTRY_VERIFY_WITH_TIMEOUT(
        inkCount(Desktop::grab(boxRect), QRect(QPoint(), boxRect.size())) > 100, kStepTimeoutMs);
    saveScreenshot(QStringLiteral("6-cannot-load"), windowRect | boxRect);

    // Return presses its OK button; the box goes, and the picture stays as it was.
    QVERIFY(Desktop::focusWindow(box));
    QVERIFY(Desktop::pressKeys({QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windows(viewer.processId(), kTitle),
                              QList<qulonglong>{mainWindow}, kStepTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(picture(look()), before, kStepTimeoutMs);
    QVERIFY(showsRawQuadrants(look(), before));
    QCOMPARE(zoomFactors().size(), 2);
}

// Ctrl+Q ends the viewer with 0, leaving no temporary file, no decoder and the pictures as they were.
void EndToEndTest::quitWithCtrlQ()
{
    // Whatever the window showed, the decoders alone mapped what reads pictures. LittleCMS is the
    // viewer's for the monitor's profile, which it checks before use (ColourTransform).
    QFile maps(QStringLiteral("/proc/%1/maps").arg(viewer.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    for (const char *library : {"libjpeg", "libtiff", "libwebp", "libheif", "libde265", "libdav1d",
                                "libaom", "libjxl", "libexiv2", "/imageformats/"})
        QVERIFY2(!mapped.contains(library), library);
    QVERIFY(Desktop::focusWindow(mainWindow));
    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+q")}));
    QTRY_COMPARE_WITH_TIMEOUT(viewer.state(), QProcess::NotRunning, kStartTimeoutMs);
    QCOMPARE(viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(viewer.exitCode(), 0);

    // The private temporary directory went with the viewer, no decoder outlived it, and the
    // pictures were only read.
    const QString temporary = path(QStringLiteral("tmp"));
    QCOMPARE(QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(processesMentioning(temporary), QList<qint64>());
    QCOMPARE(pictureFiles(), originalPictures);
}

void EndToEndTest::quitsWithCtrlQLeavingNothingBehind()
{
    quitWithCtrlQ();
}

// True when the grid shows the thumbnails where the first run did. Not by the teal thumbnail:
// the selection's highlight comes close enough to its colour to be taken for it.
bool EndToEndTest::gridAsBefore() const
{
    const QImage image = look();
    return colourBounds(image, docks, kBrown) == previewThumb &&
           colourBounds(image, docks, kRawBlue) == rawBlueThumb;
}

// True when the grid cell whose thumbnail lies at thumbnail is the highlighted one: its caption
// strip, white in other cells, is the highlight's strong colour behind the file name.
bool EndToEndTest::cellHighlighted(const QImage &image, const QRect &thumbnail) const
{
    const QRect caption(thumbnail.center().x() - kCell.width() / 2,
                        thumbnail.center().y() - kThumbArea / 2 + kThumbArea, kCell.width(),
                        kCell.height() - kThumbArea);
    int strong = 0;
    for (int y = caption.top(); y <= caption.bottom(); ++y) {
        for (int x = caption.left(); x <= caption.right(); ++x) {
            const QColor colour(image.pixel(x, y));
            strong += colour.hsvSaturation() >= 100 && colour.value() >= 100 ? 1 : 0;
        }
    }
    return strong > caption.width() * caption.height() / 2;
}

void EndToEndTest::startsWithAFileShownAndCurrentInTheGrid()
{
    // As a file manager starts it: the file's path as the one argument.
    startViewer({path(QStringLiteral("pictures/") + kPng)});
    if (QTest::currentTestFailed())
        return;
    // The same size as before, so the pane and the docks are where they were.
    QVERIFY(Desktop::resizeWindow(mainWindow, kWorkingSize));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windowGeometry(mainWindow).size(), kWorkingSize,
                              kStepTimeoutMs);
    windowRect = Desktop::windowGeometry(mainWindow);

    // The teal picture, fitted to the pane.
    const auto tealFitted = [&] {
        const QRect shown = colourBounds(look(), pane, kTeal);
        return near(shown.height(), pane.height()) || near(shown.width(), pane.width());
    };
    QTRY_VERIFY2_WITH_TIMEOUT(tealFitted(), qPrintable(describe(colourBounds(look(), pane, kTeal))),
                              kStepTimeoutMs);
    // Its folder in the grid, where the first run showed it, with its cell the current one and
    // the others not.
    QTRY_VERIFY_WITH_TIMEOUT(gridAsBefore(), kStartTimeoutMs);
    const QImage image = look();
    QVERIFY(cellHighlighted(image, pngThumb));
    QVERIFY(!cellHighlighted(image, jpegThumb));
    QVERIFY(!cellHighlighted(image, previewThumb));
    saveScreenshot(QStringLiteral("7-started-with-a-file"), windowRect);
}

void EndToEndTest::stepsThroughTheFolderWithSpaceAndBackspace()
{
    QVERIFY(Desktop::focusWindow(mainWindow));
    const auto shows = [&](const QColor &colour, const QRect &thumbnail) {
        const QImage image = look();
        const QRect shown = picture(image);
        const bool right = colour.isValid() ? colourBounds(image, pane, colour) == shown
                                            : showsRawQuadrants(image, shown);
        return right && cellHighlighted(image, thumbnail);
    };
    // Space: the next picture in the grid's order, the raw file converted in full.
    QVERIFY(Desktop::pressKeys({QStringLiteral("space")}));
    QTRY_VERIFY_WITH_TIMEOUT(shows(QColor(), previewThumb), kStepTimeoutMs);
    saveScreenshot(QStringLiteral("8-next"), windowRect);
    // Backspace, twice: back to the teal picture, then the orange one before it.
    QVERIFY(Desktop::pressKeys({QStringLiteral("BackSpace")}));
    QTRY_VERIFY_WITH_TIMEOUT(shows(kTeal, pngThumb), kStepTimeoutMs);
    QVERIFY(Desktop::pressKeys({QStringLiteral("BackSpace")}));
    QTRY_VERIFY_WITH_TIMEOUT(shows(kOrange, jpegThumb), kStepTimeoutMs);
    QVERIFY(!cellHighlighted(look(), pngThumb));

    // A click on the fitted picture gives the pane the keyboard; there Right and Left turn the
    // pages too.
    QVERIFY(Desktop::click(onScreen(pane.center())));
    QVERIFY(Desktop::pressKeys({QStringLiteral("Right")}));
    QTRY_VERIFY_WITH_TIMEOUT(shows(kTeal, pngThumb), kStepTimeoutMs);
    QVERIFY(Desktop::pressKeys({QStringLiteral("Left")}));
    QTRY_VERIFY_WITH_TIMEOUT(shows(kOrange, jpegThumb), kStepTimeoutMs);
}

void EndToEndTest::zoomsWithCtrlAndTheWheel()
{
    const QPoint over = onScreen(pane.center());
    // Fitted, the first notch leaves fit and zooms one step from the fitted size.
    const QSize fitted = picture(look()).size();
    QVERIFY(Desktop::turnWheel(over, -1, QStringLiteral("ctrl")));
    QTRY_VERIFY_WITH_TIMEOUT(near(picture(look()).size(), fitted * 0.8), kStepTimeoutMs);
    QVERIFY(Desktop::pressKeys({QStringLiteral("ctrl+s")}));
    QTRY_VERIFY_WITH_TIMEOUT(near(picture(look()).size(), QSize(160, 120)), kStepTimeoutMs);

    QVERIFY(Desktop::turnWheel(over, 1, QStringLiteral("ctrl")));
    QTRY_VERIFY_WITH_TIMEOUT(near(picture(look()).size(), QSize(200, 150)), kStepTimeoutMs);
    QVERIFY(Desktop::turnWheel(over, -1, QStringLiteral("ctrl")));
    QTRY_VERIFY_WITH_TIMEOUT(near(picture(look()).size(), QSize(160, 120)), kStepTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(zoomFactors().mid(1),
                              (QStringList{QStringLiteral("1.25"), QStringLiteral("1")}),
                              kStepTimeoutMs);
    QCOMPARE(zoomFactors().size(), 3);
}

void EndToEndTest::fullScreenCoversTheScreenAndEscRestoresTheWindow()
{
    const QRect before = Desktop::windowGeometry(mainWindow);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(Desktop::focusWindow(mainWindow));
    QVERIFY(Desktop::pressKeys({QStringLiteral("F11")}));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windowGeometry(mainWindow), screen, kStepTimeoutMs);

    // The pane alone: no menu bar, docks or status bar, only the picture on black, in the middle.
    const auto paneAlone = [&] {
        const QImage image = Desktop::grab(screen);
        const QRect inner = QRect(QPoint(), screen.size()).adjusted(8, 8, -8, -8);
        const QRect orange = colourBounds(image, inner, kOrange);
        return near(orange.size(), QSize(160, 120)) && brightBounds(image, inner) == orange &&
               std::abs(orange.center().x() - inner.center().x()) < 10 &&
               std::abs(orange.center().y() - inner.center().y()) < 10;
    };
    QTRY_VERIFY_WITH_TIMEOUT(paneAlone(), kStepTimeoutMs);
    saveScreenshot(QStringLiteral("9-full-screen"), screen);

    QVERIFY(Desktop::focusWindow(mainWindow));
    QVERIFY(Desktop::pressKeys({QStringLiteral("Escape")}));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windowGeometry(mainWindow), before, kStepTimeoutMs);
    // The docks are back, with the grid as it was.
    QTRY_VERIFY_WITH_TIMEOUT(gridAsBefore(), kStepTimeoutMs);
    QVERIFY(cellHighlighted(look(), jpegThumb));
}

void EndToEndTest::quitsAgainLeavingNothingBehind()
{
    quitWithCtrlQ();
}

void EndToEndTest::startsWithAMissingFileAndSaysSo()
{
    startViewer({path(QStringLiteral("pictures/gone.jpg"))});
    if (QTest::currentTestFailed())
        return;
    // The box over the window, titled like it, with a line of text and a button.
    QList<qulonglong> windows;
    QTRY_COMPARE_WITH_TIMEOUT((windows = Desktop::windows(viewer.processId(), kTitle)).size(), 2,
                              kStepTimeoutMs);
    windows.removeAll(mainWindow);
    const qulonglong box = windows.first();
    const QRect boxRect = Desktop::windowGeometry(box);
    QVERIFY2(windowRect.contains(boxRect.center()), qPrintable(describe(boxRect)));
    QTRY_VERIFY_WITH_TIMEOUT(
        inkCount(Desktop::grab(boxRect), QRect(QPoint(), boxRect.size())) > 100, kStepTimeoutMs);
    saveScreenshot(QStringLiteral("10-missing-file"), windowRect | boxRect);

    QVERIFY(Desktop::focusWindow(box));
    QVERIFY(Desktop::pressKeys({QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windows(viewer.processId(), kTitle),
                              QList<qulonglong>{mainWindow}, kStepTimeoutMs);
    quitWithCtrlQ();
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
