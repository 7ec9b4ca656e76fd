// SPDX-License-Identifier: GPL-3.0-or-later
#include "labelgeometry.h"

#include <QtTest>

class LabelGeometryTest : public QObject
{
    Q_OBJECT

private slots:
    void labelSizeFollowsModeAndScale_data();
    void labelSizeFollowsModeAndScale();
    void pictureIsDrawnWhereItFits_data();
    void pictureIsDrawnWhereItFits();
    void zoomKeepsTheVisibleCentre_data();
    void zoomKeepsTheVisibleCentre();
    void printFillsThePageFromItsCorner_data();
    void printFillsThePageFromItsCorner();
    void dragMovesTheBarsAgainstThePointer_data();
    void dragMovesTheBarsAgainstThePointer();
    void wheelZoomsOncePerNotch_data();
    void wheelZoomsOncePerNotch();
};

void LabelGeometryTest::labelSizeFollowsModeAndScale_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<bool>("fit");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("expected");

    const QSize area(600, 500);
    QTest::newRow("small picture fills the area less its frame")
        << area << QSize(400, 300) << false << 1.0 << QSize(598, 498);
    QTest::newRow("large picture overflows both ways")
        << area << QSize(1000, 800) << false << 1.0 << QSize(1000, 800);
    QTest::newRow("only the width overflows")
        << area << QSize(640, 480) << false << 1.0 << QSize(640, 498);
    QTest::newRow("zoomed products still inside")
        << area << QSize(401, 301) << false << 1.25 << QSize(598, 498);
    QTest::newRow("one column wider than the label's space keeps it")
        << area << QSize(599, 300) << false << 1.0 << QSize(599, 498);
    QTest::newRow("exactly the label's space")
        << area << QSize(598, 498) << false << 1.0 << QSize(598, 498);
    QTest::newRow("fit mode ignores the picture")
        << area << QSize(4000, 10) << true << 3.0 << QSize(598, 498);
}

void LabelGeometryTest::labelSizeFollowsModeAndScale()
{
    QFETCH(QSize, area);
    QFETCH(QSize, picture);
    QFETCH(bool, fit);
    QFETCH(double, scale);
    QFETCH(QSize, expected);
    QCOMPARE(labelSize(area, picture, fit, scale), expected);
}

void LabelGeometryTest::pictureIsDrawnWhereItFits_data()
{
    QTest::addColumn<QSize>("label");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<bool>("fit");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRect>("expected");

    const QSize label(598, 498);
    QTest::newRow("scaled, centred both ways")
        << label << QSize(400, 300) << false << 1.0 << QRect(99, 99, 400, 300);
    QTest::newRow("scaled, larger than the label")
        << QSize(1000, 800) << QSize(1000, 800) << false << 1.0 << QRect(0, 0, 1000, 800);
    QTest::newRow("scaled, wider only")
        << QSize(640, 498) << QSize(640, 480) << false << 1.0 << QRect(0, 9, 640, 480);
    QTest::newRow("scaled products truncated")
        << label << QSize(401, 301) << false << 1.25 << QRect(48, 61, 501, 376);
    QTest::newRow("fit, landscape fills the width")
        << label << QSize(400, 300) << true << 1.0 << QRect(0, 25, 598, 448);
    QTest::newRow("fit, portrait fills the height")
        << label << QSize(300, 400) << true << 1.0 << QRect(112, 0, 373, 498);
    QTest::newRow("fit, square fills the height")
        << label << QSize(500, 500) << true << 1.0 << QRect(50, 0, 498, 498);
    QTest::newRow("fit, landscape in a wide low window shows all of it")
        << QSize(998, 298) << QSize(400, 300) << true << 1.0 << QRect(300, 0, 397, 298);
    QTest::newRow("fit, portrait in a tall narrow window shows all of it")
        << QSize(298, 998) << QSize(300, 400) << true << 1.0 << QRect(0, 300, 298, 397);
    QTest::newRow("fit ignores the scale factor")
        << label << QSize(400, 300) << true << 5.0 << QRect(0, 25, 598, 448);
}

void LabelGeometryTest::pictureIsDrawnWhereItFits()
{
    QFETCH(QSize, label);
    QFETCH(QSize, picture);
    QFETCH(bool, fit);
    QFETCH(double, scale);
    QFETCH(QRect, expected);
    QCOMPARE(drawnRect(label, picture, fit, scale), expected);
}

void LabelGeometryTest::zoomKeepsTheVisibleCentre_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("pageStep");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("expected");

    QTest::newRow("zoom in truncates 187.5") << 100 << 500 << 1.25 << 187;
    QTest::newRow("zoom out truncates 99.6") << 187 << 500 << 0.8 << 99;
    // 0.8 - 1 is a little above -0.2 in binary, so the value truncates to -49.
    QTest::newRow("zoom out at the top goes below zero") << 0 << 500 << 0.8 << -49;
}

void LabelGeometryTest::zoomKeepsTheVisibleCentre()
{
    QFETCH(int, value);
    QFETCH(int, pageStep);
    QFETCH(double, factor);
    QFETCH(int, expected);
    QCOMPARE(zoomedScrollValue(value, pageStep, factor), expected);
}

void LabelGeometryTest::printFillsThePageFromItsCorner_data()
{
    QTest::addColumn<QRect>("page");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("expected");

    const QRect page(0, 0, 700, 1000);
    QTest::newRow("landscape fills the width") << page << QSize(400, 300) << QRect(0, 0, 700, 525);
    QTest::newRow("portrait fills the width") << page << QSize(300, 400) << QRect(0, 0, 700, 933);
    QTest::newRow("tall portrait fills the height, not centred")
        << page << QSize(300, 600) << QRect(0, 0, 500, 1000);
    QTest::newRow("small picture is enlarged") << page << QSize(100, 50) << QRect(0, 0, 700, 350);
    QTest::newRow("printable area offset on the page")
        << QRect(20, 30, 700, 1000) << QSize(400, 300) << QRect(20, 30, 700, 525);
}

void LabelGeometryTest::printFillsThePageFromItsCorner()
{
    QFETCH(QRect, page);
    QFETCH(QSize, picture);
    QFETCH(QRect, expected);
    QCOMPARE(printRect(page, picture), expected);
}

void LabelGeometryTest::dragMovesTheBarsAgainstThePointer_data()
{
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("pressed");
    QTest::addColumn<QPoint>("now");
    QTest::addColumn<QPoint>("values");
    QTest::newRow("not moved yet") << QPoint(40, 30) << QPoint(300, 200) << QPoint(300, 200)
                                   << QPoint(40, 30);
    QTest::newRow("dragged right and down shows the top left")
        << QPoint(40, 30) << QPoint(300, 200) << QPoint(310, 225) << QPoint(30, 5);
    QTest::newRow("dragged left and up shows the bottom right")
        << QPoint(40, 30) << QPoint(300, 200) << QPoint(200, 150) << QPoint(140, 80);
    // The bars clamp what lies outside their range.
    QTest::newRow("past the edge asks for less than zero")
        << QPoint(0, 0) << QPoint(10, 10) << QPoint(60, 10) << QPoint(-50, 0);
}

void LabelGeometryTest::dragMovesTheBarsAgainstThePointer()
{
    QFETCH(QPoint, start);
    QFETCH(QPoint, pressed);
    QFETCH(QPoint, now);
    QFETCH(QPoint, values);
    QCOMPARE(pannedScrollValues(start, pressed, now), values);
}

void LabelGeometryTest::wheelZoomsOncePerNotch_data()
{
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<QList<int>>("notches");
    QTest::addColumn<int>("left");
    QTest::newRow("one notch away from the user") << QList<int>{120} << QList<int>{1} << 0;
    QTest::newRow("one notch towards the user") << QList<int>{-120} << QList<int>{-1} << 0;
    QTest::newRow("a fast spin of three notches") << QList<int>{360} << QList<int>{3} << 0;
    QTest::newRow("a touchpad in quarters")
        << QList<int>{30, 30, 30, 30, 30} << QList<int>{0, 0, 0, 1, 0} << 30;
    QTest::newRow("turning back undoes the unfinished notch")
        << QList<int>{60, -60, -120} << QList<int>{0, 0, -1} << 0;
}

void LabelGeometryTest::wheelZoomsOncePerNotch()
{
    QFETCH(QList<int>, deltas);
    QFETCH(QList<int>, notches);
    QFETCH(int, left);
    int pending = 0;
    QList<int> seen;
    for (int delta : deltas)
        seen << wheelNotches(&pending, delta);
    QCOMPARE(seen, notches);
    QCOMPARE(pending, left);
}

QTEST_APPLESS_MAIN(LabelGeometryTest)
#include "tst_labelgeometry.moc"
