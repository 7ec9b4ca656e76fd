#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"

#include <QtTest>
#include <QAction>
#include <QMenu>
#include <QMenuBar>

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
};

void ImageViewerTest::titleCarriesTheEdition_data()
{
    QTest::addColumn<QString>("edition");
    QTest::addColumn<QString>("title");
    QTest::newRow("default") << "RAW" << "Velmora RAW Viewer";
    QTest::newRow("lite") << "LITE" << "Velmora LITE Viewer";
    QTest::newRow("spaces kept") << " PRO " << "Velmora  PRO  Viewer";
    QTest::newRow("empty") << "" << "Velmora  Viewer";
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
    QCOMPARE(bar, QStringList({"&File", "&View", "Convert and Process", "&Help"}));
    QCOMPARE(viewer.menuBar()->actions().at(2), viewer.convertAction);
    QVERIFY(!viewer.convertAction->menu());

    auto texts = [](QMenu *menu) {
        QStringList list;
        for (QAction *action : menu->actions())
            list << (action->isSeparator() ? QString("-") : action->text());
        return list;
    };
    QCOMPARE(texts(viewer.fileMenu), QStringList({"&Open...", "&Print...", "-", "E&xit"}));
    QCOMPARE(texts(viewer.viewMenu), QStringList({"Zoom &In (25%)", "Zoom &Out (25%)",
                                                  "&Normal Size", "-", "&Fit to Window"}));
    QCOMPARE(texts(viewer.helpMenu), QStringList({"&About"}));
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
    QCOMPARE(slotList, QStringList({"open()", "print()", "zoomIn()", "zoomOut()", "normalSize()",
                                    "fitToWindow()", "about()", "convertAndProcess()",
                                    "folderActivated(QModelIndex)",
                                    "thumbnailActivated(QModelIndex)"}));
}

void ImageViewerTest::exitClosesTheWindow()
{
    ImageViewer viewer("RAW");
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    viewer.exitAction->trigger();
    QVERIFY(!viewer.isVisible());
}

QTEST_MAIN(ImageViewerTest)
#include "tst_imageviewer.moc"
