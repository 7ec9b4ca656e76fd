// SPDX-License-Identifier: GPL-3.0-or-later
// View › Sort By and the count, on a grid of their own.

#include "browsingorder.h"
#include "thumbfixtures.h"
#include "thumbview.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class BrowsingOrderTest : public QObject
{
    Q_OBJECT

private slots:
    void whatFollowsTheOrderGetsTheGridsOrderAndTheCountFollows();
};

void BrowsingOrderTest::whatFollowsTheOrderGetsTheGridsOrderAndTheCountFollows()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"a.png", "b.png", "c.png"})
        QVERIFY(!writePicture(dir.path(), name, QSize(8, 8)).isEmpty());
    QWidget window;
    ThumbView view;
    BrowsingOrder order(&view, &window);
    QSignalSpy changed(&order, &BrowsingOrder::orderChanged);
    view.setDirectory(dir.path());
    QTRY_COMPARE(view.model()->rowCount(), 3);
    order.setShownFile(dir.filePath("a.png"));
    order.updateCount();
    QCOMPARE(order.countLabel()->text(), QString("1 of 3"));

    // The reading ahead steps as the grid lists: the same key and direction.
    order.reverseAction()->trigger();
    QTRY_COMPARE(view.filePath(2), dir.filePath("a.png"));
    QCOMPARE(order.countLabel()->text(), QString("3 of 3"));
    order.keys()->actions().at(PictureOrder::DateModified)->trigger();
    QCOMPARE(changed.size(), 2);
    const auto sent = changed.last().at(0).value<PictureOrder>();
    QCOMPARE(int(sent.key), int(PictureOrder::DateModified));
    QVERIFY(sent.reversed);
}

QTEST_MAIN(BrowsingOrderTest)
#include "tst_browsingorder.moc"
