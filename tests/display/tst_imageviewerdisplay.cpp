// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "modalwatcher.h"

#include <QAction>
#include <QMessageBox>
#include <QPrintDialog>
#include <QScrollBar>
#include <QtTest>

#include <iostream>
#include <sstream>

// Collects what the code under test writes to std::cout.
class CoutCapture
{
public:
    CoutCapture() : saved(std::cout.rdbuf(buffer.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(saved); }
    QStringList lines() const
    {
        return QString::fromStdString(buffer.str()).split('\n', Qt::SkipEmptyParts);
    }

private:
    std::ostringstream buffer;
    std::streambuf *saved;
};

class DisplayCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void zoomInStopsAboveTheUpperLimit();
    void zoomOutStopsBelowTheLowerLimit();
    void zoomInThenOutIsExact();
    void normalSizeAtALimitKeepsTheLimit();
    void fitToggleReenablesZoom();
    void leavingFitModeKeepsTheZoom();
    void scrollBarKeepsTheCentre_data();
    void scrollBarKeepsTheCentre();
    void printsOnePage();
    void cancelledPrintPrintsNothing();
    void printThatCannotStartIsReported();

private:
    void showPicture(const QSize &size);
    void uncheckFit();

    ImageViewer *viewer = nullptr;
    QTemporaryDir dir;
};

void DisplayCommandsTest::init()
{
    viewer = new ImageViewer("RAW");
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
}

void DisplayCommandsTest::cleanup()
{
    delete viewer;
}

void DisplayCommandsTest::showPicture(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString path = dir.filePath("picture.png");
    QVERIFY(image.save(path));
    viewer->loadFile(path);
    QTRY_COMPARE_WITH_TIMEOUT(viewer->imageLabel->image().size(), size, 30000);
}

void DisplayCommandsTest::uncheckFit()
{
    viewer->fitToWindowAction->trigger();
    QVERIFY(!viewer->fitToWindowAction->isChecked());
}

void DisplayCommandsTest::zoomInStopsAboveTheUpperLimit()
{
    showPicture(QSize(40, 30));
    uncheckFit();
    CoutCapture out;
    for (int i = 0; i < 10; ++i)
        viewer->zoomInAction->trigger();
    QCOMPARE(viewer->imageLabel->scaleFactor(), 9.313225746154785);
    QVERIFY(viewer->zoomInAction->isEnabled());
    QVERIFY(viewer->zoomOutAction->isEnabled());
    viewer->zoomInAction->trigger();
    QCOMPARE(viewer->imageLabel->scaleFactor(), 11.641532182693481);
    QVERIFY(!viewer->zoomInAction->isEnabled());
    QVERIFY(viewer->zoomOutAction->isEnabled());

    const QStringList lines = out.lines();
    QCOMPARE(lines.size(), 11);
    QCOMPARE(lines.at(0), QString("1.25"));
    QCOMPARE(lines.at(1), QString("1.5625"));
    QCOMPARE(lines.at(9), QString("9.31323"));
}

void DisplayCommandsTest::zoomOutStopsBelowTheLowerLimit()
{
    showPicture(QSize(400, 300));
    uncheckFit();
    CoutCapture out;
    for (int i = 0; i < 10; ++i)
        viewer->zoomOutAction->trigger();
    QVERIFY(qAbs(viewer->imageLabel->scaleFactor() - 0.1073741824) < 1e-12);
    QVERIFY(viewer->zoomOutAction->isEnabled());
    viewer->zoomOutAction->trigger();
    QVERIFY(!viewer->zoomOutAction->isEnabled());
    QVERIFY(viewer->zoomInAction->isEnabled());
    QCOMPARE(out.lines().at(1), QString("0.64"));
}

void DisplayCommandsTest::zoomInThenOutIsExact()
{
    showPicture(QSize(400, 300));
    uncheckFit();
    CoutCapture out;
    viewer->zoomInAction->trigger();
    viewer->zoomOutAction->trigger();
    QCOMPARE(viewer->imageLabel->scaleFactor(), 1.0);
    QCOMPARE(out.lines(), QStringList({"1.25", "1"}));
}

void DisplayCommandsTest::normalSizeAtALimitKeepsTheLimit()
{
    showPicture(QSize(40, 30));
    uncheckFit();
    CoutCapture out;
    for (int i = 0; i < 11; ++i)
        viewer->zoomInAction->trigger();
    QVERIFY(!viewer->zoomInAction->isEnabled());
    viewer->normalSizeAction->trigger();
    QCOMPARE(viewer->imageLabel->scaleFactor(), 1.0);
    QVERIFY(!viewer->zoomInAction->isEnabled());
    QCOMPARE(viewer->imageLabel->size(),
             QSize(viewer->imageScroll->width() - 2, viewer->imageScroll->height() - 2));
    viewer->zoomOutAction->trigger();
    QVERIFY(viewer->zoomInAction->isEnabled());
}

void DisplayCommandsTest::fitToggleReenablesZoom()
{
    showPicture(QSize(40, 30));
    uncheckFit();
    CoutCapture out;
    for (int i = 0; i < 11; ++i)
        viewer->zoomInAction->trigger();
    QVERIFY(!viewer->zoomInAction->isEnabled());

    viewer->fitToWindowAction->trigger();
    QVERIFY(!viewer->zoomInAction->isEnabled());
    QVERIFY(!viewer->zoomOutAction->isEnabled());
    QVERIFY(!viewer->normalSizeAction->isEnabled());
    viewer->fitToWindowAction->trigger();
    QVERIFY(viewer->zoomInAction->isEnabled());
    QVERIFY(viewer->zoomOutAction->isEnabled());
    QVERIFY(viewer->normalSizeAction->isEnabled());

    // One more step past the limit, then the limit holds again.
    viewer->zoomInAction->trigger();
    QVERIFY(!viewer->zoomInAction->isEnabled());
}

void DisplayCommandsTest::leavingFitModeKeepsTheZoom()
{
    showPicture(QSize(400, 300));
    uncheckFit();
    CoutCapture out;
    viewer->zoomInAction->trigger();
    viewer->zoomInAction->trigger();
    viewer->fitToWindowAction->trigger();
    QCOMPARE(viewer->imageLabel->size(),
             QSize(viewer->imageScroll->width() - 2, viewer->imageScroll->height() - 2));
    viewer->fitToWindowAction->trigger();
    QCOMPARE(viewer->imageLabel->scaleFactor(), 1.5625);
    QCOMPARE(viewer->imageLabel->width(), 625);
}

void DisplayCommandsTest::scrollBarKeepsTheCentre_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("expected");
    QTest::newRow("zoom in") << 100 << 1.25 << 187;
    QTest::newRow("zoom out") << 187 << 0.8 << 99;
    QTest::newRow("negative result clamps to the minimum") << 0 << 0.8 << 0;
}

void DisplayCommandsTest::scrollBarKeepsTheCentre()
{
    QFETCH(int, value);
    QFETCH(double, factor);
    QFETCH(int, expected);
    QScrollBar bar(Qt::Horizontal);
    bar.setRange(0, 5000);
    bar.setPageStep(500);
    bar.setValue(value);
    viewer->adjustScrollBar(&bar, factor);
    QCOMPARE(bar.value(), expected);
}

void DisplayCommandsTest::printsOnePage()
{
    showPicture(QSize(400, 300));
    const QString pdf = dir.filePath("page.pdf");
    viewer->printer.setOutputFormat(QPrinter::PdfFormat);
    viewer->printer.setOutputFileName(pdf);
    ModalWatcher<QPrintDialog> watcher([](QPrintDialog *dialog) { dialog->accept(); });
    viewer->printAction->trigger();
    QVERIFY(watcher.seen());

    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.startsWith("%PDF"));
    QCOMPARE(content.count("/Type /Page\n") + content.count("/Type /Page "), 1);
}

void DisplayCommandsTest::cancelledPrintPrintsNothing()
{
    showPicture(QSize(400, 300));
    const QString pdf = dir.filePath("cancelled.pdf");
    viewer->printer.setOutputFormat(QPrinter::PdfFormat);
    viewer->printer.setOutputFileName(pdf);
    ModalWatcher<QPrintDialog> watcher([](QPrintDialog *dialog) { dialog->reject(); });
    viewer->printAction->trigger();
    QVERIFY(watcher.seen());
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(viewer->printAction->isEnabled());
}

void DisplayCommandsTest::printThatCannotStartIsReported()
{
    showPicture(QSize(400, 300));
    // A folder in place of the output file: the print job cannot start.
    QVERIFY(QDir(dir.path()).mkpath("taken.pdf"));
    viewer->printer.setOutputFormat(QPrinter::PdfFormat);
    viewer->printer.setOutputFileName(dir.filePath("taken.pdf"));
    QString title;
    QString text;
    ModalWatcher<QMessageBox> box([&](QMessageBox *message) {
        title = message->windowTitle();
        text = message->text();
        message->accept();
    });
    ModalWatcher<QPrintDialog> watcher([](QPrintDialog *dialog) { dialog->accept(); });
    viewer->printAction->trigger();
    QVERIFY(box.seen());
    QCOMPARE(title, QString("Velmora RAW Viewer"));
    QCOMPARE(text, QString("Cannot print."));
}

QTEST_MAIN(DisplayCommandsTest)
#include "tst_imageviewerdisplay.moc"
