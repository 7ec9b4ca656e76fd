// The real viewer on a real X server, used the way a person uses it: started from a folder with
// a settings file, a folder of pictures found in the tree with the keyboard, thumbnails looked
// at, one opened with a double-click, zoomed, a damaged one refused, and Ctrl+Q. Every check
// reads what the screen shows or what the process prints; the viewer's insides are never
// consulted. The steps are one story and run in order; after a failed step the rest are skipped.

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
// Type-ahead search forgets what was typed after a short pause (400 ms by default); a name
// typed again after this long is a new search.
constexpr int kTypeAheadRetryMs = 1000;
// A tree entry one level deeper is drawn at least this much further right.
constexpr int kMinIndentStep = 8;
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
    void activatesTheFolderInTheTreeWithTheKeyboard();
    void showsEveryThumbnailButTheDamagedOne();
    void opensADoubleClickedThumbnailFittedToTheWindow();
    void zoomsInOnlyWithFitToWindowUnchecked();
    void refusesTheDamagedFileInABox();
    void quitsWithCtrlQLeavingNothingBehind();

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
    QVERIFY(writePictures());
    originalPictures = pictureFiles();
    QCOMPARE(originalPictures.size(), 5);
    QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
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

void EndToEndTest::startsWithTheEditionInTheTitle()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The viewer's temporary files go here, where the test can see that they are gone at the end.
    environment.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
    // Qt's own runtime files go elsewhere; without this folder it would make one in TMPDIR.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    viewer.setProcessEnvironment(environment);
    viewer.setWorkingDirectory(path(QStringLiteral("work")));
    viewer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&viewer, &QProcess::readyReadStandardOutput, this,
            [this] { viewerOutput += viewer.readAllStandardOutput(); });
    viewer.start(QStringLiteral(VIEWER_BINARY), QStringList());
    QVERIFY2(viewer.waitForStarted(kStartTimeoutMs), qPrintable(viewer.errorString()));

    QList<qulonglong> windows;
    QTRY_VERIFY_WITH_TIMEOUT(!(windows = Desktop::windows(viewer.processId(), kTitle)).isEmpty(),
                             kStartTimeoutMs);
    QCOMPARE(windows.size(), 1);
    mainWindow = windows.first();
    QCOMPARE(Desktop::windowTitle(mainWindow), kTitle);
    windowRect = Desktop::windowGeometry(mainWindow);
    QCOMPARE(windowRect.size(), kStartSize);

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
    const QPoint newSeed(windowRect.width() - 10, windowRect.height() / 2);
    QTRY_VERIFY_WITH_TIMEOUT(near(plainSpan(look(), newSeed).right(), windowRect.width() - 1),
                             kStepTimeoutMs);
    pane = plainSpan(look(), newSeed);
    // The docks fill the window's left part, beside the pane and below the menu bar.
    docks = QRect(0, pane.top(), pane.left() - 6, pane.height());
    QVERIFY2(docks.width() > 2 * kCell.width(), qPrintable(describe(docks)));
}

void EndToEndTest::activatesTheFolderInTheTreeWithTheKeyboard()
{
    const QString folder = QDir(path(QStringLiteral("pictures"))).canonicalPath();
    const QStringList steps = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // The tree lists no hidden folders, and takes +, - and * as commands to open and close
    // entries, not as text to search for.
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1Char('.')) || step.contains(QRegularExpression("[-+*]")))
            QFAIL(qPrintable(folder + QStringLiteral(" cannot be reached by typing its name in the "
                                                     "tree; set TMPDIR elsewhere")));
    }

    // A click in the tree's empty part gives it the keyboard and makes its first entry, "/", the
    // current one; Space selects it. The pointer then leaves the tree, so that nothing there is
    // drawn as hovered.
    QVERIFY(Desktop::focusWindow(mainWindow));
    QVERIFY(Desktop::click(onScreen(QPoint(docks.center().x(), docks.top() + docks.height() / 4))));
    QVERIFY(Desktop::movePointer(onScreen(pane.center())));
    QVERIFY(Desktop::pressKeys({QStringLiteral("space")}));
    SelectedRow row;
    QTRY_VERIFY_WITH_TIMEOUT((row = selectedRow(look(), docks)).band.isValid(), kStepTimeoutMs);

    // Walk down: Right opens the selected folder (its expansion mark turns); typing a name
    // selects the child of that name once the tree has read the folder, which it does in the
    // background. A name typed too early finds nothing and is typed again.
    for (const QString &step : steps) {
        const SelectedRow parent = row;
        QVERIFY(Desktop::pressKeys({QStringLiteral("Right")}));
        const auto opened = [&] {
            row = selectedRow(look(), docks);
            // The same entry, its mark turned (which may shift its left edge by a pixel or two).
            return std::abs(row.indent - parent.indent) < kMinIndentStep && row.look != parent.look;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(
            opened(), qPrintable(QStringLiteral("the entry above %1 did not open").arg(step)),
            kStepTimeoutMs);
        const auto childSelected = [&] {
            row = selectedRow(look(), docks);
            return row.band.isValid() && row.indent >= parent.indent + kMinIndentStep;
        };
        QDeadlineTimer deadline(kStepTimeoutMs);
        bool found = false;
        while (!found && !deadline.hasExpired()) {
            QVERIFY(Desktop::typeText(step));
            found = QTest::qWaitFor(childSelected, kTypeAheadRetryMs);
        }
        QVERIFY2(found, qPrintable(QStringLiteral("typing %1 did not select it").arg(step)));
    }
    // Return activates the folder, like a double-click.
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
    saveScreenshot(QStringLiteral("2-thumbnails"), windowRect);

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
    saveScreenshot(QStringLiteral("3-fitted"), windowRect);
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
    saveScreenshot(QStringLiteral("4-zoomed"), windowRect);
}

void EndToEndTest::refusesTheDamagedFileInABox()
{
    const QRect before = picture(look());
    // The grid has the keyboard since the double-click: Home goes to its first cell, the damaged
    // file, and Return opens it.
    QVERIFY(Desktop::pressKeys({QStringLiteral("Home"), QStringLiteral("Return")}));

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
    saveScreenshot(QStringLiteral("5-cannot-load"), windowRect | boxRect);

    // Return presses its OK button; the box goes, and the picture stays as it was.
    QVERIFY(Desktop::focusWindow(box));
    QVERIFY(Desktop::pressKeys({QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(Desktop::windows(viewer.processId(), kTitle),
                              QList<qulonglong>{mainWindow}, kStepTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(picture(look()), before, kStepTimeoutMs);
    QVERIFY(showsRawQuadrants(look(), before));
    QCOMPARE(zoomFactors().size(), 2);
}

void EndToEndTest::quitsWithCtrlQLeavingNothingBehind()
{
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

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
