// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DESKTOPHANDOVERS_H
#define DESKTOPHANDOVERS_H

#include <QObject>

class QPoint;
class QWidget;
class FileActions;
class ImageLabel;
class ImageScroll;
class ThumbView;

// What hands the window's pictures to the rest of the desktop: the pane's context menu ends with
// "Show in File Manager" and "Open With" for the shown picture, which a drag with Ctrl also gives
// away; the grid's context menu offers the same for the right-clicked thumbnail's file, after
// "Open".
class DesktopHandOvers : public QObject
{
    Q_OBJECT

public:
    // The menus open over window, whose pane and grid these are.
    DesktopHandOvers(ImageScroll *scroll, ImageLabel *label, ThumbView *thumbs, QWidget *window);

    // The file whose picture the pane shows.
    void setFile(const QString &path);

signals:
    // The thumbnail menu's "Open".
    void openRequested(const QString &path);

private:
    void showThumbnailMenu(const QPoint &at);
    void dragPictureOut();

    ImageScroll *imageScroll;
    ImageLabel *imageLabel;
    ThumbView *thumbView;
    FileActions *paneFileActions = nullptr;
    FileActions *thumbnailFileActions = nullptr;
};

#endif
