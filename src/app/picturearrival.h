// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTUREARRIVAL_H
#define PICTUREARRIVAL_H

#include <QObject>
#include <QPoint>
#include <QRectF>

#include <functional>

class QAction;
class QImage;
class QLabel;
class QMainWindow;
class QTimer;
class ImageLabel;
class ImageScroll;
class PaneReader;
class ReadAhead;

// How the picture the user opens reaches the pane: read away from the user-interface thread, or
// taken at once from what was read ahead around the one before; first as a stand-in read smaller
// where that is quicker; a read that lasts shown by a busy pointer and a word in the status bar.
// View › Keep Zoom keeps the zoom and the scroll of one picture for the next, and a zoom at the
// pointer keeps the picture's point under it.
class PictureArrival : public QObject
{
    Q_OBJECT

public:
    // A child of window, made before the pane so that the picture named at launch can be read
    // while the window is built.
    explicit PictureArrival(QMainWindow *window);
    // The pane that shows the pictures, and View › Fit to Window, which says at what size.
    void setPane(ImageLabel *label, ImageScroll *scroll, QAction *fitToWindow);

    PaneReader *paneReader() const { return reader; }
    ReadAhead *readAhead() const { return ahead; }
    // Checked: a picture opened by a step or from the grid keeps the zoom and the scroll of the
    // one before, so that a burst can be compared at 100 %.
    QAction *keepZoomAction() const { return keepZoom; }
    QLabel *loadingLabel() const { return loading; }

    // Reads path: at once when it was read ahead, else away from the user-interface thread, its
    // picture coming with pictureRead when the read ends. At launch, the picture named on the
    // command line has been read since before the window was built.
    void read(const QString &path, bool launching);
    // Reads ahead around path, whose picture image is shown (null while it is being read).
    void follow(const QString &path, const QImage &image);
    // The read is over: it shows no more sign of itself.
    void endLoading();
    // View › Keep Zoom is checked; the window sets it aside while a slideshow fits every picture.
    bool keepsZoom() const;
    QPoint scrollValues() const;
    // Sets the bars, once the pane has shown or hidden them for the label's size.
    void scrollTo(const QPoint &values);
    // Runs change, which zooms, keeping the picture point under at (in the pane's viewport) there.
    void keepPointWhile(const QPoint &at, const std::function<void()> &change);

signals:
    // The picture of path, null when it cannot be read, with the pane's smooth copy when it was
    // read ahead.
    void pictureRead(const QString &path, const QImage &image, const QImage &copy);
    // A smaller picture to stand in for path's of fullSize until pictureRead brings that.
    void standInRead(const QString &path, const QImage &standIn, const QSize &fullSize);

private:
    // Makes the pane's smooth copy of a picture for the window as it is now, on any thread.
    std::function<QImage(const QImage &)> paneCopy() const;
    // A read that lasts shows itself: a busy pointer over the pane and a word in the status bar.
    void showLoading();

    QMainWindow *window;
    ImageLabel *imageLabel = nullptr;
    ImageScroll *imageScroll = nullptr;
    QAction *fitToWindowAction = nullptr;
    PaneReader *reader = nullptr;
    ReadAhead *ahead = nullptr;
    QAction *keepZoom = nullptr;
    // The file last read, shown or not.
    QString reading;
    // Started with each read: a read that is over before it runs out shows no sign of itself.
    QTimer *loadingDelay = nullptr;
    QLabel *loading = nullptr;
    // The last zoom at the pointer: where it drew the picture, where it left the bars and where
    // it wanted them, as far as a picture that does not yet outgrow the pane lets them go. The
    // next notch at the same place, with nothing moved between, goes on from where it aimed,
    // so that the first notches from fit do not lose the point under the pointer.
    struct ZoomAnchor
    {
        QPoint at;
        QRectF drawn;
        QPoint values;
        QPoint wanted;
    } zoomAnchor;
};

#endif
