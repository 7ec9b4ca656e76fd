// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PANEREADER_H
#define PANEREADER_H

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QThread;

// Reads the picture that the user has opened or stepped to away from the user-interface thread,
// so that the window takes the next key, menu or opening at once: one that comes during a read
// only changes what is read. The read of a picture already passed is given up (a decoder at work
// is ended) and what it still delivers is dropped, so that only the picture asked for last
// reaches the pane. A picture that can be read smaller at little cost is first read at the size
// the pane shows it, so that it is seen at once while the full read goes on.
class PaneReader : public QObject
{
    Q_OBJECT

public:
    explicit PaneReader(QObject *parent = nullptr);
    ~PaneReader() override;

    // What is made of a picture on the worker before it is shown, such as the pane's smooth copy.
    using Preparation = std::function<QImage(const QImage &)>;

    // Reads path, and gives up whatever was asked before. A valid cover (the device pixels that a
    // fitted picture may cover) lets a stand-in come first (loadImage, loader.h). A picture that
    // no stand-in came before goes through prepare, so that its first sight is already what
    // prepare makes of it.
    void read(const QString &path, const QSize &cover = QSize(),
              const Preparation &prepare = {});
    // Gives up whatever was asked: the window has shown a picture by other means.
    void cancel();
    // Whether a worker runs, reading the picture asked for or finishing one that was given up.
    bool isReading() const { return !running.empty(); }
    // Whether path is what was asked for last, and is still being read.
    bool reads(const QString &path) const
    {
        return !running.empty() && running.back()->id == asked && running.back()->path == path;
    }

signals:
    // The picture asked for last, null when it cannot be read, and what read's prepare made of
    // it (null when it was not asked to). The lines that its read printed (such as a decoder's
    // complaint) are printed just before.
    void pictureRead(const QString &path, const QImage &picture, const QImage &prepared);
    // Before pictureRead, for the picture asked for last: it read smaller, to be drawn in the
    // place of a picture of fullSize until that comes.
    void standInRead(const QString &path, const QImage &standIn, const QSize &fullSize);

private:
    struct Read
    {
        quint64 id = 0;
        QString path;
        QSize cover;
        QImage picture;
        QImage prepared;
        QList<QByteArray> lines;
        QThread *thread = nullptr;
    };

    void finished(Read *read);

    // The read asked for last; earlier ones are dropped when they end.
    quint64 asked = 0;
    std::vector<std::unique_ptr<Read>> running;
};

#endif
