// SPDX-License-Identifier: GPL-3.0-or-later
// The slideshow alone, with a fit action, a status bar and a list of pictures of its own.

#include "slideshow.h"

#include <QAction>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

class SlideshowTest : public QObject
{
    Q_OBJECT

private slots:
    void showSkipsWhatItCannotReadAndEndsAsItBegan();
};

void SlideshowTest::showSkipsWhatItCannotReadAndEndsAsItBegan()
{
    QAction fit("&Fit to Window");
    fit.setCheckable(true);
    QStatusBar status;
    QStringList next{"/p/c.png", "/p/d.png"};
    Slideshow show(
        &fit, &status, [&next] { return next.isEmpty() ? QString() : next.takeFirst(); }, nullptr);
    QSignalSpy opened(&show, &Slideshow::openRequested);
    QSignalSpy left(&show, &Slideshow::leaveWanted);
    QVERIFY(!show.action()->isEnabled());
    show.pictureShown();
    show.action()->trigger();
    QVERIFY(show.isRunning() && fit.isChecked() && show.timer()->isActive());

    // Each picture that cannot be read is named, beside those skipped before, and passed.
    show.skip("/p/b.png");
    show.skip("/p/c.png");
    QCOMPARE(status.currentMessage(),
             QString("The slideshow skipped what it cannot load: b.png, c.png"));
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.last().at(0).toString(), QString("/p/d.png"));
    show.pauseOrResume();
    QVERIFY(!show.timer()->isActive());
    show.pauseOrResume();
    QVERIFY(show.timer()->isActive());

    // Past the last picture the show asks to leave; ended, it gives the zoom back.
    show.advance();
    QCOMPARE(left.size(), 1);
    show.end();
    QVERIFY(!show.isRunning() && !fit.isChecked() && !show.timer()->isActive());

    // A new show names only what it skipped itself.
    show.action()->trigger();
    QVERIFY(status.currentMessage().isEmpty());
    show.skip("/p/e.png");
    QCOMPARE(status.currentMessage(), QString("The slideshow skipped what it cannot load: e.png"));
}

QTEST_MAIN(SlideshowTest)
#include "tst_slideshow.moc"
