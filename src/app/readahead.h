// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef READAHEAD_H
#define READAHEAD_H

#include "picturelist.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QThread;

// Reads the pictures beside the one shown while the user looks at it, so that a step to either
// shows at once: the next one in the direction of travel first, then the one on the other side;
// the one shown before is kept rather than read again. Reading runs on one worker below normal
// priority and gives way to anything the user opens that was not read ahead. At most two
// pictures, and at most 1 GB, are held besides the one shown; nothing outlives the folder.
class ReadAhead : public QObject
{
    Q_OBJECT

public:
    // What is done on the worker with each picture read ahead besides reading it, such as the
    // pane's smooth copy: the first paint of a large photograph need not wait for it either.
    using Preparation = std::function<QImage(const QImage &)>;

    explicit ReadAhead(QObject *parent = nullptr);
    ~ReadAhead() override;

    // The picture read ahead for path, when its file is still the one read, with what prepare
    // made of it in prepared; what the read printed is printed now. Null otherwise, and then the
    // reading in progress is given up (a decoder is ended) so that the caller's own read has the
    // machine to itself.
    QImage take(const QString &path, QImage *prepared = nullptr);
    // The window asked take for path and then showed picture (null when it could not be read):
    // reading ahead starts around it, each picture read going through prepare. Travel goes
    // backwards when it comes before the last one in the order.
    void follow(const QString &path, const QImage &picture, const Preparation &prepare = {});
    // The picture of path, which follow was given null while a smaller one stood in for it, has
    // come: it is kept when the user steps on, and reading ahead goes on undisturbed.
    void keepShown(const QString &path, const QImage &picture);
    // The grid shows folder: unless the shown picture is in it, everything held goes.
    void showFolder(const QString &folder);
    // The neighbours are those in order, as the grid lists them, from the next picture followed.
    void setOrder(const PictureOrder &order) { this->order = order; }
    // The memory of the pictures held, the one shown aside.
    qint64 heldBytes() const;
    // Whether a worker runs, reading or finishing a picture that was given up.
    bool isReading() const { return worker || pending; }

private:
    // What tells a file apart from the one it was: a replaced or rewritten file differs in one
    // of these. Invalid for a file that cannot be looked at.
    struct Stamp
    {
        qint64 size = -1;
        qint64 modified = 0;
        quint64 inode = 0;

        bool isValid() const { return size >= 0; }
        bool operator==(const Stamp &other) const
        {
            return size == other.size && modified == other.modified && inode == other.inode;
        }
        static Stamp of(const QString &path);
    };
    struct Entry
    {
        QString path;
        Stamp stamp;
        QImage picture;
        // What printLine was given while it was read.
        QList<QByteArray> lines;
        QImage prepared;
    };
    struct Job
    {
        QString path;
        int direction;
        PictureOrder order;
        quint64 generation;
        Preparation prepare;
    };

    void stopReading();
    void startPending();
    // On the worker: reads the neighbours of job.path.
    void read(const Job &job);
    // Keeps entry unless job was given up meanwhile; false then.
    bool store(Entry entry, const QStringList &targets, quint64 job);

    // Guards held and generation, which the worker shares.
    mutable QMutex mutex;
    QList<Entry> held;
    // Raised whenever what the worker was asked for is no longer wanted.
    quint64 generation = 0;

    // The user-interface thread's alone.
    Entry shown;
    Stamp openingStamp;
    int direction = 1;
    PictureOrder order;
    QThread *worker = nullptr;
    // Waits while a worker that was given up finishes the picture it cannot leave.
    std::optional<Job> pending;
};

#endif
