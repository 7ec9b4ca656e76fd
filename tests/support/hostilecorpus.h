// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HOSTILECORPUS_H
#define HOSTILECORPUS_H

#include <QImage>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QSize>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// One file of the corpus and what loading it must give.
struct HostileFile
{
    enum class Outcome {
        Null,         // not a picture at all
        Picture,      // a whole picture: thumbnailSize through the preview, fullSize otherwise
        NullOrPicture // a damaged picture: nothing, or a picture of one of the two sizes
    };
    enum class Group { Empty, Random, Cut, Damaged, Absurd, Special, Name };

    QString name;     // what the case is; a test row's name
    QString path;     // the absolute path that a caller hands to the loader
    QByteArray bytes; // the file's name on disk, which need not be UTF-8
    Group group;
    Outcome outcome;
    QSize thumbnailSize;
    QSize fullSize;
};
Q_DECLARE_METATYPE(HostileFile)

// Generous bounds for hostile input: a load that passes them would otherwise have blocked,
// filled the disk or run away with memory.
constexpr int kLoadBoundMs = 20000;
constexpr qint64 kFileSizeBound = 256 << 20;
constexpr qint64 kMemoryGrowthBoundKb = 500 << 10;

// Files that pretend to be pictures, made inside a folder the caller owns: empty and random
// files named as every kind the viewer lists, pictures cut short, damaged camera files, headers
// that claim absurd sizes, things that are not files (folders, link loops, FIFOs, devices, a file
// without read permission) and names that a shell would misread. Camera files are generated
// DNGs: dcraw must be installed.
class HostileCorpus
{
public:
    // damagedRawDir: folder of damaged camera files to copy in (read only; may be missing).
    HostileCorpus(const QString &directory, const QString &damagedRawDir = QString());
    ~HostileCorpus();
    HostileCorpus(const HostileCorpus &) = delete;
    HostileCorpus &operator=(const HostileCorpus &) = delete;

    // Empty when every file was made, else what went wrong.
    QString error() const { return problem; }
    QList<HostileFile> files() const { return made; }
    QList<HostileFile> files(HostileFile::Group group) const;
    HostileFile file(const QString &name) const;

    // Each entry of the folder by its name on disk, with what it is: kind, mode, size, time of
    // change and, for a regular file, a checksum of its content. FIFOs and devices are never
    // read. Equal snapshots mean that nothing was added, removed or changed.
    QMap<QByteArray, QByteArray> snapshot() const;

    QString directory() const { return dir; }

private:
    void add(HostileFile file, const QByteArray &content);
    void addSpecial(HostileFile file);
    bool writeBytes(const QByteArray &name, const QByteArray &content);

    QString dir;
    QByteArray nativeDir;
    QList<HostileFile> made;
    QString problem;
};

// Whether image is what loading file must give; empty when it is, else what is wrong. The
// thumbnail worker scales its pictures to fit bound; give it to check what the worker emits.
QString checkOutcome(const HostileFile &file, const QImage &image, bool thumbnail,
                     const QSize &bound = QSize());

// Opens every FIFO in directory for writing and closes it again: a reader blocked in open()
// then sees the end of the file.
void releaseFifoReaders(const QString &directory);

// Releases the readers of the FIFOs in a folder if the guard still lives after a time-out, and
// keeps releasing them until it goes: a load that blocks then fails its test instead of
// hanging it.
class FifoWatchdog
{
public:
    FifoWatchdog(const QString &directory, int timeoutMs);
    ~FifoWatchdog();
    FifoWatchdog(const FifoWatchdog &) = delete;
    FifoWatchdog &operator=(const FifoWatchdog &) = delete;

    bool fired() const { return didFire; }

private:
    std::mutex mutex;
    std::condition_variable done;
    bool cancelled = false;
    std::atomic<bool> didFire{false};
    std::thread watcher;
};

// Limits the size of any file this process and its children write while it lives, and counts
// the writes that hit the limit (instead of being killed by SIGXFSZ): a copy of an endless
// device fails early instead of filling the disk, and the test can tell that it was tried.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    int hits() const;

private:
    bool active = false;
    qint64 oldSoft = 0;
    qint64 oldHard = 0;
};

// Empty when nothing is left behind by the loads so far: no file in the private temporary
// directory, no process working in it, no child of this process; else what is left.
QString leftBehind(const QString &privateTempDir);

// Memory of this process from /proc/self/status, in kilobytes: resident now, and the peak
// since the start or since the last reset.
qint64 residentKilobytes();
qint64 peakResidentKilobytes();
// Starts a new peak from the present resident size; false when the kernel cannot.
bool resetPeakResident();

#endif
