// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TAKENDATES_H
#define TAKENDATES_H

#include <QDateTime>
#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The dates pictures were taken, as their Exif records them, read through the decoders in the
// background and kept for the session for each file as it was read (its size and modification
// time), so that sorting a folder by them again, or stepping through it, reads nothing.
class TakenDates : public QObject
{
    Q_OBJECT

public:
    explicit TakenDates(QObject *parent = nullptr);
    ~TakenDates() override;

    // The date taken of the picture file, invalid when it records none; nullopt when it has not
    // been read as the file is now (another size or modification time). Safe from any thread.
    static std::optional<QDateTime> lookup(const QFileInfo &file);
    // Whether the dates of all the pictures are known as the files are now.
    static bool known(const QStringList &pictures);

    // Reads the dates of pictures that are not known yet, a few at a time, each through a
    // decoder of the pool, and says datesRead once all are in. Whatever was being read before is
    // given up; nothing is read, and nothing said, when all are known already.
    void read(const QStringList &pictures);
    // Gives up the reading, ending the decoders at work.
    void stop();

signals:
    void datesRead();

private:
    struct Job;

    void finishReader(const std::shared_ptr<Job> &job);

    std::shared_ptr<Job> current;
};

#endif
