// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbdelegate.h"

#include <QPainter>
#include <QStandardItemModel>
#include <QTextOption>
#include <QtTest>

namespace {

const QColor kBackground(Qt::white);
const QColor kHighlight(10, 20, 200);
const QColor kThumbnail(Qt::red);
const QRect kCell(17, 23, 80, 96);

QImage blankCanvas()
{
    QImage canvas(140, 160, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(kBackground);
    return canvas;
}

// Paints one cell holding display (a picture or a text) and a path, as a view would.
QImage paintCell(const QVariant &display, const QString &path, bool selected)
{
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), display, Qt::DisplayRole);
    model.setData(model.index(0, 0), path, Qt::DecorationRole);

    QStyleOptionViewItem option;
    option.rect = kCell;
    option.state = selected ? QStyle::State_Selected : QStyle::State_None;
    option.palette.setColor(QPalette::Highlight, kHighlight);

    QImage canvas = blankCanvas();
    QPainter painter(&canvas);
    ThumbDelegate(nullptr).paint(&painter, option, model.index(0, 0));
    return canvas;
}

// The same text drawn straight into a rectangle of a blank canvas.
QImage paintText(const QString &text, const QRectF &rect, Qt::Alignment alignment,
                 const QColor &fill = kBackground)
{
    QImage canvas = blankCanvas();
    canvas.fill(fill);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawText(rect, text, QTextOption(alignment));
    return canvas;
}

// The caption of name in a cell's caption strip, in the canvas's own font.
QString captioned(const QString &name, bool keepExtension = false)
{
    QImage canvas = blankCanvas();
    return captionText(QPainter(&canvas).fontMetrics(), name, captionRect(kCell).width(),
                       keepExtension);
}

QRect boundsOf(const QImage &canvas, const QColor &colour)
{
    QRect bounds;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            if (canvas.pixelColor(x, y) == colour)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

QImage solid(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kThumbnail);
    return image;
}

} // namespace

class TestThumbDelegate : public QObject
{
    Q_OBJECT

private slots:
    void thumbnailIsCentredAboveTheCaption_data();
    void thumbnailIsCentredAboveTheCaption();
    void captionIsTheFileName_data();
    void captionIsTheFileName();
    void captionsTellNeighboursApart_data();
    void captionsTellNeighboursApart();
    void nothingIsDrawnOutsideTheCell_data();
    void nothingIsDrawnOutsideTheCell();
    void unreadableCellShowsItsName();
    void waitingCellShowsThePlaceholder_data();
    void waitingCellShowsThePlaceholder();
    void sizeHintIsOneCell();
};

void TestThumbDelegate::thumbnailIsCentredAboveTheCaption_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("landscape 80 x 60 sits 10 down") << QSize(80, 60) << QPoint(0, 10);
    QTest::newRow("portrait 60 x 80 sits 10 across") << QSize(60, 80) << QPoint(10, 0);
    QTest::newRow("odd 61 x 61 truncates to 9 and 9") << QSize(61, 61) << QPoint(9, 9);
}

void TestThumbDelegate::thumbnailIsCentredAboveTheCaption()
{
    QFETCH(QSize, size);
    QFETCH(QPoint, offset);
    const QImage canvas = paintCell(solid(size), QStringLiteral("/p/a.png"), false);
    QCOMPARE(boundsOf(canvas, kThumbnail), QRect(kCell.topLeft() + offset, size));
}

void TestThumbDelegate::captionIsTheFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("end");
    QTest::newRow("name after the last separator")
        << QStringLiteral("/photos/2010/img_0001.jpg") << QStringLiteral("img_0001.jpg")
        << QStringLiteral("0001");
    QTest::newRow("file at the root")
        << QStringLiteral("/b.png") << QStringLiteral("b.png") << QStringLiteral("b.png");
    QTest::newRow("long name keeps its start and its end")
        << QStringLiteral("/p/a_long_holiday_picture_name.png")
        << QStringLiteral("a_long_holiday_picture_name.png") << QStringLiteral("name");
    QTest::newRow("long name with blanks stays on one line")
        << QStringLiteral("/p/summer trip to the sea 2010.tiff")
        << QStringLiteral("summer trip to the sea 2010.tiff") << QStringLiteral("2010");
}

void TestThumbDelegate::captionIsTheFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, end);
    const QImage canvas = paintCell(solid(QSize(80, 60)), path, false);
    const QRect strip(kCell.x(), kCell.y() + 80, kCell.width(), 16);
    // A name too wide for the cell loses its extension, then its middle; one that fits is whole.
    const QString caption = captioned(name);
    QVERIFY(caption.endsWith(end));
    QCOMPARE(caption.at(0), name.at(0));
    const QImage expected = paintText(caption, strip, Qt::AlignHCenter | Qt::AlignBottom);
    QVERIFY(expected.copy(strip) != blankCanvas().copy(strip));
    QCOMPARE(canvas.copy(strip), expected.copy(strip));
}

void TestThumbDelegate::captionsTellNeighboursApart_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("keepExtension");
    QTest::newRow("a middle digit")
        << QStringList{"IMG_2001.jpg", "IMG_2011.jpg", "IMG_2021.jpg"} << false;
    QTest::newRow("usual camera names, each beside the next")
        << QStringList{"IMG_1234.JPG", "IMG_1235.JPG", "DSC01234.ARW", "DSC01235.ARW",
                       "_DSC1234.NEF", "_DSC1235.NEF", "P1010001.JPG", "P1010002.JPG"}
        << false;
    QTest::newRow("a phone") << QStringList{"20240501_123456.jpg", "20240501_123457.jpg"} << false;
    QTest::newRow("a raw file and its JPEG")
        << QStringList{"IMG_3001.DNG", "IMG_3001.JPG", "DSCF0001.RAF", "DSCF0001.jxl"} << true;
    QTest::newRow("long names beside each other")
        << QStringList{"IMG_truncated_0001.jpg", "IMG_empty_0002.heic", "DSCF0003.jxl"} << false;
}

void TestThumbDelegate::captionsTellNeighboursApart()
{
    QFETCH(QStringList, names);
    QFETCH(bool, keepExtension);
    // A gap of a few pixels on either side of every caption: neighbours never run together.
    const int width = captionRect(kCell).width();
    QVERIFY(width <= kCell.width() - 4);
    QSet<QString> captions;
    for (const QString &name : names) {
        const QString caption = captioned(name, keepExtension);
        captions.insert(caption);
        // Whole, or the end of its stem (and the kept extension); in the strip; one "…" at most.
        const QString stem = name.section('.', 0, -2);
        const QString end = stem.right(4) + (keepExtension ? name.mid(stem.size()) : "");
        QVERIFY2(caption == name || caption.endsWith(end), qPrintable(caption));
        QVERIFY(QFontMetrics(QFont()).horizontalAdvance(caption) <= width);
        QVERIFY(caption.count(QChar(0x2026)) <= 1);
    }
    QCOMPARE(captions.size(), names.size());
}

void TestThumbDelegate::nothingIsDrawnOutsideTheCell_data()
{
    QTest::addColumn<QVariant>("display");
    QTest::addColumn<bool>("selected");
    const QString unreadable = QStringLiteral("cannot load");
    QTest::newRow("thumbnail above a long name") << QVariant(solid(QSize(80, 80))) << false;
    QTest::newRow("selected unreadable cell") << QVariant(unreadable) << true;
}

void TestThumbDelegate::nothingIsDrawnOutsideTheCell()
{
    QFETCH(QVariant, display);
    QFETCH(bool, selected);
    const QImage canvas =
        paintCell(display, QStringLiteral("/p/a long name that a cell cannot hold.jpeg"), selected);
    QImage outside = canvas;
    QPainter(&outside).fillRect(kCell, kBackground);
    QCOMPARE(outside, blankCanvas());
}

void TestThumbDelegate::unreadableCellShowsItsName()
{
    const QString path = QStringLiteral("/p/broken.png");
    const QImage unreadable = paintCell(QStringLiteral("cannot load"), path, false);
    const QImage waiting = paintCell(QStringLiteral("loading..."), path, false);
    const QImage rendered = paintCell(solid(QSize(80, 80)), path, false);
    const QRect square(kCell.topLeft(), QSize(80, 80));
    const QRect strip(kCell.x(), kCell.y() + 80, kCell.width(), 16);

    // Not the promise of a thumbnail to come: a text in the square and the name below it, as
    // under a thumbnail.
    QVERIFY(unreadable.copy(kCell) != waiting.copy(kCell));
    QVERIFY(unreadable.copy(square) != blankCanvas().copy(square));
    QCOMPARE(unreadable.copy(strip), rendered.copy(strip));
}

void TestThumbDelegate::waitingCellShowsThePlaceholder_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QColor>("fill");
    QTest::newRow("selected cell is highlighted") << true << kHighlight;
    QTest::newRow("unselected cell keeps the background") << false << kBackground;
}

void TestThumbDelegate::waitingCellShowsThePlaceholder()
{
    QFETCH(bool, selected);
    QFETCH(QColor, fill);
    const QString text = QStringLiteral("loading...");
    const QImage canvas = paintCell(text, QStringLiteral("/p/a.png"), selected);
    const QImage expected = paintText(text, kCell, Qt::AlignCenter, fill);
    QCOMPARE(canvas.pixelColor(kCell.topLeft()), fill);
    QCOMPARE(canvas.pixelColor(kCell.bottomRight()), fill);
    QCOMPARE(canvas.pixelColor(kCell.bottomRight() + QPoint(1, 1)), kBackground);
    QCOMPARE(canvas.copy(kCell), expected.copy(kCell));
}

void TestThumbDelegate::sizeHintIsOneCell()
{
    QCOMPARE(ThumbDelegate(nullptr).sizeHint(QStyleOptionViewItem(), QModelIndex()), QSize(80, 96));
}

QTEST_MAIN(TestThumbDelegate)
#include "tst_thumbdelegate.moc"
