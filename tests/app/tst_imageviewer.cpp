// SPDX-License-Identifier: GPL-3.0-or-later
#include "animationplayer.h"
#include "browsingorder.h"
#include "decoderpool.h"
#include "environmentguard.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "informationtext.h"
#include "links.h"
#include "loader.h"
#include "modalwatcher.h"
#include "monitorcolours.h"
#include "panereader.h"
#include "picturearrival.h"
#include "picturecommands.h"
#include "thumbview.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QStatusBar>
#include <QtTest>

class ImageViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void titleCarriesTheEdition_data();
    void titleCarriesTheEdition();
    void startsWithNothingToShow();
    void menusAreInOrder();
    void actionsHaveTheirShortcuts_data();
    void actionsHaveTheirShortcuts();
    void slotsAreRegistered();
    void exitClosesTheWindow();
    void openDialogStartsWhereTheLastFileWas();
    void failedLoadChangesNothing();
    void failedFirstLoadLeavesPrintDisabled();
    void refusedSandboxIsSaid();
    void loadFollowsFitToWindow();
    void secondLoadResetsTheZoomUnlessKept();
    void largePhotoShowsAStandInUntilTheFullPicture();
    void waitCursorOnlyWhileLoading();
    void animationPlaysUntilAnotherPictureOpens();
    void animationEndsAfterItsLoops();
    void decodingLibrariesStayOutOfTheViewer();
    void aboutBoxNamesTheViewer();
    void converterAddressCarriesTheEdition_data();
    void converterAddressCarriesTheEdition();

public slots:
    void openUrl(const QUrl &url) { openedUrls << url; }

private:
    QString writePicture(const QString &name, const QSize &size);
    QString expectFailureBox(ImageViewer &viewer, const QString &path);

    QTemporaryDir dir;
    QList<QUrl> openedUrls;
};

QString ImageViewerTest::writePicture(const QString &name, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    if (!image.save(path))
        return QString();
    return path;
}

// Loads path, which must fail, and returns the title and text of the box that says so.
QString ImageViewerTest::expectFailureBox(ImageViewer &viewer, const QString &path)
{
    QString seen;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        seen = box->windowTitle() + "|" + box->text();
        box->accept();
    });
    viewer.loadFile(path);
    return QTest::qWaitFor([&] { return watcher.seen(); }, 30000) ? seen : QString();
}

void ImageViewerTest::titleCarriesTheEdition_data()
{
    QTest::addColumn<QString>("edition");
    QTest::addColumn<QString>("title");
    QTest::newRow("default") << "RAW"
                             << "Velmora RAW Viewer";
    QTest::newRow("lite") << "LITE"
                          << "Velmora LITE Viewer";
    QTest::newRow("spaces kept") << " PRO "
                                 << "Velmora  PRO  Viewer";
    QTest::newRow("empty") << ""
                           << "Velmora  Viewer";
}

void ImageViewerTest::titleCarriesTheEdition()
{
    QFETCH(QString, edition);
    QFETCH(QString, title);
    ImageViewer viewer(edition);
    QCOMPARE(viewer.windowTitle(), title);
    QCOMPARE(viewer.viewerTitle(), title);
}

void ImageViewerTest::startsWithNothingToShow()
{
    ImageViewer viewer("RAW");
    QCOMPARE(viewer.size(), QSize(700, 600));
    // A screen too low for it, such as a laptop's at scale 2, gets a window of its free area.
    QCOMPARE(firstWindowSize(QSize(800, 500)), QSize(800, 500));
    QCOMPARE(firstWindowSize(QSize(700, 600)), QSize(700, 600));
    QVERIFY(viewer.openAction->isEnabled());
    QVERIFY(viewer.exitAction->isEnabled());
    QVERIFY(viewer.convertAction->isEnabled());
    QVERIFY(viewer.aboutAction->isEnabled());
    QVERIFY(!viewer.printAction->isEnabled());
    QVERIFY(!viewer.zoomInAction->isEnabled());
    QVERIFY(!viewer.zoomOutAction->isEnabled());
    QVERIFY(!viewer.normalSizeAction->isEnabled());
    QVERIFY(!viewer.fitToWindowAction->isEnabled());
    QVERIFY(viewer.fitToWindowAction->isCheckable());
    QVERIFY(viewer.fitToWindowAction->isChecked());
    QVERIFY(viewer.imageLabel->image().isNull());
    QCOMPARE(viewer.centralWidget(), viewer.imageScroll);
    QCOMPARE(viewer.imageScroll->widget(), viewer.imageLabel);
    QCOMPARE(viewer.imageScroll->backgroundRole(), QPalette::Dark);
    QVERIFY(viewer.lastDirectory.isNull());
}

void ImageViewerTest::menusAreInOrder()
{
    ImageViewer viewer("RAW");
    QStringList bar;
    for (QAction *action : viewer.menuBar()->actions())
        bar << action->text();
    QCOMPARE(bar, QStringList({"&File", "&View", "&Picture", "Convert and Process", "&Help"}));
    QCOMPARE(viewer.menuBar()->actions().at(3), viewer.convertAction);
    QVERIFY(!viewer.convertAction->menu());

    auto texts = [](QMenu *menu) {
        QStringList list;
        for (QAction *action : menu->actions())
            list << (action->isSeparator() ? QString("-") : action->text());
        return list;
    };
    QCOMPARE(texts(viewer.fileMenu), QStringList({"&Open...", "&Print...", "-", "E&xit"}));
    QCOMPARE(texts(viewer.viewMenu),
             QStringList({"Zoom &In (25%)", "Zoom &Out (25%)", "&Normal Size", "-",
                          "&Fit to Window", "&Keep Zoom", "-", "Sort &By", "-",
                          "&Colour Managed"}));
    QVERIFY(viewer.colours->action()->isCheckable() && viewer.colours->action()->isChecked());
    QVERIFY(viewer.arrival->keepZoomAction()->isCheckable() &&
            !viewer.arrival->keepZoomAction()->isChecked());
    QCOMPARE(
        texts(viewer.browsingOrder->menu()),
        QStringList({"&Name", "Date &Taken", "Date &Modified", "&Size", "-", "&Reverse Order"}));
    QCOMPARE(texts(viewer.commands->menu()),
             QStringList({"Rotate &Left", "Rotate &Right", "-", "&Copy", "-", "Information",
                          "&Slideshow", "-", "Next Picture", "Previous Picture",
                          "First Picture\tHome", "Last Picture\tEnd", "Full Screen"}));
    QCOMPARE(texts(viewer.helpMenu), QStringList({"&About", "&Keyboard Shortcuts"}));
}

void ImageViewerTest::actionsHaveTheirShortcuts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("open") << "&Open..." << QKeySequence(Qt::CTRL | Qt::Key_O);
    QTest::newRow("print") << "&Print..." << QKeySequence(Qt::CTRL | Qt::Key_P);
    QTest::newRow("exit") << "E&xit" << QKeySequence(Qt::CTRL | Qt::Key_Q);
    QTest::newRow("zoom in") << "Zoom &In (25%)" << QKeySequence(Qt::CTRL | Qt::Key_Plus);
    QTest::newRow("zoom out") << "Zoom &Out (25%)" << QKeySequence(Qt::CTRL | Qt::Key_Minus);
    QTest::newRow("Ctrl+S is normal size, not save")
        << "&Normal Size" << QKeySequence(Qt::CTRL | Qt::Key_S);
    QTest::newRow("fit") << "&Fit to Window" << QKeySequence(Qt::CTRL | Qt::Key_F);
    QTest::newRow("convert has none") << "Convert and Process" << QKeySequence();
    QTest::newRow("about has none") << "&About" << QKeySequence();
    QTest::newRow("rotate left") << "Rotate &Left" << QKeySequence(Qt::CTRL | Qt::Key_L);
    QTest::newRow("rotate right") << "Rotate &Right" << QKeySequence(Qt::CTRL | Qt::Key_R);
    QTest::newRow("copy") << "&Copy" << QKeySequence(Qt::CTRL | Qt::Key_C);
    QTest::newRow("information") << "Information" << QKeySequence(Qt::CTRL | Qt::Key_I);
    QTest::newRow("slideshow") << "&Slideshow" << QKeySequence(Qt::Key_F5);
    QTest::newRow("keyboard shortcuts") << "&Keyboard Shortcuts" << QKeySequence(Qt::Key_F1);
}

void ImageViewerTest::actionsHaveTheirShortcuts()
{
    QFETCH(QString, text);
    QFETCH(QKeySequence, shortcut);
    ImageViewer viewer("RAW");
    QAction *found = nullptr;
    for (QAction *action : viewer.findChildren<QAction *>())
        if (action->text() == text)
            found = action;
    QVERIFY(found);
    QCOMPARE(found->shortcut(), shortcut);
}

void ImageViewerTest::slotsAreRegistered()
{
    const QMetaObject *meta = &ImageViewer::staticMetaObject;
    QStringList slotList;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        if (meta->method(i).methodType() == QMetaMethod::Slot)
            slotList << QString::fromLatin1(meta->method(i).methodSignature());
    QCOMPARE(slotList,
             QStringList({"open()", "print()", "zoomIn()", "zoomOut()", "normalSize()",
                          "fitToWindow()", "about()", "convertAndProcess()",
                          "folderActivated(QModelIndex)", "thumbnailActivated(QModelIndex)"}));
}

void ImageViewerTest::exitClosesTheWindow()
{
    ImageViewer viewer("RAW");
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    viewer.exitAction->trigger();
    QVERIFY(!viewer.isVisible());
}

void ImageViewerTest::openDialogStartsWhereTheLastFileWas()
{
    const QString first = writePicture("first/one.png", QSize(64, 48));
    const QString working = QDir::currentPath();
    ImageViewer viewer("RAW");

    QString startFolder;
    {
        ModalWatcher<QFileDialog> watcher([&](QFileDialog *dialog) {
            startFolder = dialog->directory().absolutePath();
            // Typed as a user would: the dialog's own listing may not have read the folder yet.
            dialog->findChild<QLineEdit *>("fileNameEdit")->setText(first);
            static_cast<QDialog *>(dialog)->accept();
        });
        viewer.open();
        QVERIFY(watcher.seen());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    QCOMPARE(startFolder, working);
    QCOMPARE(viewer.imageLabel->image().size(), QSize(64, 48));
    QCOMPARE(viewer.lastDirectory, dir.filePath("first"));
    // Its folder in the grid, the picture current there.
    QCOMPARE(viewer.thumbView->filePath(viewer.thumbView->currentIndex().row()), first);

    // A failed load moves the start folder too.
    QVERIFY(QDir(dir.path()).mkpath("second"));
    expectFailureBox(viewer, dir.filePath("second/missing.jpg"));
    {
        ModalWatcher<QFileDialog> watcher([&](QFileDialog *dialog) {
            startFolder = dialog->directory().absolutePath();
            dialog->reject();
        });
        viewer.open();
        QVERIFY(watcher.seen());
    }
    QCOMPARE(startFolder, dir.filePath("second"));
    QCOMPARE(viewer.imageLabel->image().size(), QSize(64, 48));
}

void ImageViewerTest::failedLoadChangesNothing()
{
    ImageViewer viewer("RAW");
    viewer.loadFile(writePicture("good.png", QSize(300, 200)));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    viewer.fitToWindowAction->trigger();
    viewer.zoomInAction->trigger();

    const QString bad = dir.filePath("odd name %1 [x].jpg");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();

    QCOMPARE(expectFailureBox(viewer, bad), "Velmora RAW Viewer|Cannot load " + bad + ".");
    QCOMPARE(viewer.imageLabel->image().size(), QSize(300, 200));
    QCOMPARE(viewer.imageLabel->scaleFactor(), 1.25);
    QVERIFY(viewer.printAction->isEnabled());
    QVERIFY(viewer.zoomInAction->isEnabled());
    QVERIFY(!viewer.fitToWindowAction->isChecked());
}

void ImageViewerTest::failedFirstLoadLeavesPrintDisabled()
{
    ImageViewer viewer("PRO");
    const QString missing = dir.filePath("nothing.png");
    QCOMPARE(expectFailureBox(viewer, missing), "Velmora PRO Viewer|Cannot load " + missing + ".");
    QVERIFY(!viewer.printAction->isEnabled());
    QVERIFY(!viewer.fitToWindowAction->isEnabled());
    QVERIFY(viewer.imageLabel->image().isNull());
}

// Where the kernel refuses the decoders' sandbox, no picture is read, and the status bar says why.
void ImageViewerTest::refusedSandboxIsSaid()
{
    const EnvironmentGuard decoder("VELMORA_DECODER", VELMORA_ATTACKDECODER);
    const EnvironmentGuard refused("VELMORA_REFUSE_FILTER", "1");
    DecoderPool::endIdle();
    ImageViewer viewer("RAW");
    const QString picture = writePicture("refused.png", QSize(30, 20));
    QCOMPARE(expectFailureBox(viewer, picture), "Velmora RAW Viewer|Cannot load " + picture + ".");
    QVERIFY(viewer.statusBar()->currentMessage().contains("cannot be read safely"));
    DecoderPool::endIdle();
}

void ImageViewerTest::loadFollowsFitToWindow()
{
    ImageViewer viewer("RAW");
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    const QString path = writePicture("fit.png", QSize(1200, 900));

    viewer.loadFile(path);
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    QVERIFY(viewer.printAction->isEnabled());
    QVERIFY(viewer.fitToWindowAction->isEnabled());
    QVERIFY(viewer.fitToWindowAction->isChecked());
    QVERIFY(!viewer.zoomInAction->isEnabled());
    QVERIFY(!viewer.zoomOutAction->isEnabled());
    QVERIFY(!viewer.normalSizeAction->isEnabled());
    const QSize area = viewer.imageScroll->size();
    QCOMPARE(viewer.imageLabel->size(), area - QSize(2, 2));

    viewer.fitToWindowAction->trigger();
    viewer.loadFile(path);
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    QVERIFY(!viewer.fitToWindowAction->isChecked());
    QVERIFY(viewer.zoomInAction->isEnabled());
    QVERIFY(viewer.zoomOutAction->isEnabled());
    QVERIFY(viewer.normalSizeAction->isEnabled());
    QCOMPARE(viewer.imageLabel->size(), QSize(1200, 900));
}

void ImageViewerTest::secondLoadResetsTheZoomUnlessKept()
{
    ImageViewer viewer("RAW");
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    viewer.loadFile(writePicture("a.png", QSize(50, 50)));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    viewer.fitToWindowAction->trigger();
    viewer.zoomInAction->trigger();
    viewer.zoomInAction->trigger();
    QCOMPARE(viewer.imageLabel->scaleFactor(), 1.5625);
    viewer.loadFile(writePicture("b.png", QSize(60, 50)));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    QCOMPARE(viewer.imageLabel->scaleFactor(), 1.0);
    QCOMPARE(viewer.imageLabel->image().size(), QSize(60, 50));

    viewer.arrival->keepZoomAction()->trigger();
    viewer.zoomInAction->trigger();
    viewer.loadFile(writePicture("c.png", QSize(1000, 800)));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    viewer.arrival->scrollTo(QPoint(300, 200));
    viewer.loadFile(writePicture("d.png", QSize(1000, 900)));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
    QCOMPARE(viewer.imageLabel->scaleFactor(), 1.25);
    QCOMPARE(viewer.arrival->scrollValues(), QPoint(300, 200));
}

void ImageViewerTest::largePhotoShowsAStandInUntilTheFullPicture()
{
    ImageViewer viewer("RAW");
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QImage photo(4000, 3000, QImage::Format_RGB32);
    photo.fill(Qt::magenta);
    const QString path = dir.filePath("large.jpg");
    QVERIFY(photo.save(path));

    QSize standInLabel;
    bool standInCopied = true;
    connect(viewer.arrival->paneReader(), &PaneReader::standInRead, &viewer, [&] {
        QVERIFY(viewer.imageLabel->showsStandIn());
        QCOMPARE(viewer.imageLabel->pictureSize(), QSize(4000, 3000));
        standInLabel = viewer.imageLabel->size();
        standInCopied = viewer.commands->copyAction()->isEnabled();
    });
    QSignalSpy read(viewer.arrival->paneReader(), &PaneReader::pictureRead);
    viewer.loadFile(path);
    QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 30000);
    QVERIFY(standInLabel.isValid());
    QVERIFY(!standInCopied);
    // In the very place of the stand-in.
    QCOMPARE(viewer.imageLabel->size(), standInLabel);
    QVERIFY(!viewer.imageLabel->showsStandIn());
    QCOMPARE(viewer.imageLabel->image().size(), QSize(4000, 3000));

    viewer.commands->copyAction()->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(4000, 3000));
    viewer.fitToWindowAction->trigger();
    viewer.normalSizeAction->trigger();
    QCOMPARE(viewer.imageLabel->size(), QSize(4000, 3000));
}

void ImageViewerTest::waitCursorOnlyWhileLoading()
{
    ImageViewer viewer("RAW");
    viewer.loadFile(writePicture("c.png", QSize(20, 20)));
    QVERIFY(!QApplication::overrideCursor());

    Qt::CursorShape duringBox = Qt::ArrowCursor;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        if (QApplication::overrideCursor())
            duringBox = QApplication::overrideCursor()->shape();
        box->accept();
    });
    viewer.loadFile(dir.filePath("absent.png"));
    QTRY_VERIFY_WITH_TIMEOUT(watcher.seen(), 30000);
    QCOMPARE(duringBox, Qt::ArrowCursor);
    QVERIFY(!QApplication::overrideCursor());
}

void ImageViewerTest::animationPlaysUntilAnotherPictureOpens()
{
    // One pixel, red for 100 ms, then blue for 100 ms, looping for ever.
    const QString gif = dir.filePath("blink.gif");
    QCOMPARE(QProcess::execute("convert", {"-delay", "10", "-loop", "0", "-size", "1x1", "xc:red",
                                           "xc:blue", gif}),
             0);

    ImageViewer viewer("RAW");
    viewer.loadFile(gif);
    QTRY_VERIFY_WITH_TIMEOUT(viewer.animation->isPlaying(), 30000);
    QTRY_COMPARE(viewer.imageLabel->image().pixelColor(0, 0), QColor(Qt::blue));
    QTRY_COMPARE(viewer.imageLabel->image().pixelColor(0, 0), QColor(Qt::red));

    viewer.loadFile(writePicture("still.png", QSize(20, 20)));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer.animation->isPlaying(), 30000);
    QCOMPARE(viewer.imageLabel->image().pixelColor(0, 0), QColor(Qt::magenta));
}

// The decoder reads the frames; the player counts the passes the file asks for and ends on the
// last frame.
void ImageViewerTest::animationEndsAfterItsLoops()
{
    const QString gif = dir.filePath("twice.gif");
    QCOMPARE(QProcess::execute("convert", {"-delay", "2", "-loop", "1", "-size", "1x1", "xc:red",
                                           "xc:lime", "xc:blue", gif}),
             0);
    ImageViewer viewer("RAW");
    QSignalSpy shown(viewer.imageLabel, &ImageLabel::viewChanged);
    viewer.loadFile(gif);
    QVERIFY(shown.wait(30000));
    QVERIFY(viewer.animation->isPlaying());
    QTRY_VERIFY(!viewer.animation->isPlaying());
    QCOMPARE(viewer.imageLabel->image().pixelColor(0, 0), QColor(Qt::blue));
}

// Whatever the window shows of a picture (the picture, its animation, its thumbnail, its
// information), the decoding libraries are mapped by the decoder processes alone.
void ImageViewerTest::decodingLibrariesStayOutOfTheViewer()
{
    QTemporaryDir folder;
    ImageViewer viewer("RAW");
    for (const char *name : {"a.jpg", "b.tif", "c.webp", "d.gif"}) {
        // Made by another process: writing them here would map the libraries too.
        const QString path = folder.filePath(QLatin1String(name));
        QCOMPARE(QProcess::execute("convert", {"-delay", "10", "-size", "16x12", "xc:orange",
                                               "xc:navy", "-delete", path.endsWith("gif") ? "5" : "1",
                                               path}),
                 0);
        viewer.loadFile(path);
        QTRY_VERIFY_WITH_TIMEOUT(!viewer.arrival->paneReader()->isReading(), 30000);
        QCOMPARE(viewer.imageLabel->image().size(), QSize(16, 12));
        QVERIFY(!pictureInformation(path, QSize(16, 12)).isEmpty());
        QVERIFY(!loadImage(path, true).isNull());
    }
    QVERIFY(viewer.animation->isPlaying());
    QFile maps("/proc/self/maps");
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    // Not those of Qt's image plugins (WebP, TIFF, JPEG, MNG), which the test's own writing loads.
    for (const char *library : {"libheif", "libde265", "libdav1d", "libaom", "libjxl", "libexiv2"})
        QVERIFY2(!mapped.contains(library), library);
}

void ImageViewerTest::aboutBoxNamesTheViewer()
{
    ImageViewer viewer("RAW");
    QString title;
    QString text;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    viewer.aboutAction->trigger();
    QVERIFY(watcher.seen());
    QCOMPARE(title, QString("About Velmora RAW Viewer"));
    QVERIFY2(text.startsWith("<p><b>Velmora RAW Viewer</b>"), qPrintable(text));
    QCOMPARE(text.count("<p>"), 2);
    QVERIFY(text.contains("http://www.velmora.example"));
}

void ImageViewerTest::converterAddressCarriesTheEdition_data()
{
    QTest::addColumn<QString>("edition");
    QTest::addColumn<QString>("address");
    QTest::newRow("default") << "RAW"
                             << "http://www.rawconverter.velmora.example/download.php?fromviewer=1";
    QTest::newRow("pro") << "PRO"
                         << "http://www.proconverter.velmora.example/download.php?fromviewer=1";
    QTest::newRow("empty edition joins the pieces")
        << ""
        << "http://www.converter.velmora.example/download.php?fromviewer=1";
    QTest::newRow("blanks enter the host unchanged")
        << " A B "
        << "http://www. a b converter.velmora.example/download.php?fromviewer=1";
    // What a settings file could hold to send the browser to another host.
    for (const char *edition : {"EVIL.EXAMPLE/GET?X=", "A?B", "A#B", "EVIL.EXAMPLE@", "A:8080",
                                "A%2F", "A\\B", "A\tB"})
        QTest::addRow("%s opens the default page", edition)
            << edition << "http://www.rawconverter.velmora.example/download.php?fromviewer=1";
}

void ImageViewerTest::converterAddressCarriesTheEdition()
{
    QFETCH(QString, edition);
    QFETCH(QString, address);
    QCOMPARE(converterAddress(edition), address);

    openedUrls.clear();
    QDesktopServices::setUrlHandler("http", this, "openUrl");
    ImageViewer viewer(edition);
    viewer.convertAction->trigger();
    QDesktopServices::unsetUrlHandler("http");
    // A host with blanks is no valid address, and no browser is asked to open it.
    if (QUrl(address).isValid()) {
        QCOMPARE(openedUrls.size(), 1);
        QCOMPARE(openedUrls.first(), QUrl(address));
    }
    QVERIFY(viewer.imageLabel->image().isNull());
    QVERIFY(!viewer.printAction->isEnabled());
}

QTEST_MAIN(ImageViewerTest)
#include "tst_imageviewer.moc"
