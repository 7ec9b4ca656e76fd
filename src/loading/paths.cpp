#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTime>

#include <cerrno>
#include <cstdio>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr quint32 kNameRange = 1000000;
constexpr qint64 kCopyChunk = 1 << 20;

// Never destroyed: a thumbnail worker may still be loading while the process exits.
QMutex &reservationMutex = *new QMutex;
QSet<QString> &reservedNumbers = *new QSet<QString>;

QString nameNumber(const QString &path)
{
    const QString name = pathFileName(path);
    return name.left(name.indexOf(QLatin1Char('.')));
}

bool copyContent(QFile &in, QFile &out)
{
    QByteArray buffer(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0;
        if (out.write(buffer.constData(), n) != n)
            return false;
    }
}

#ifdef Q_OS_LINUX
// The kernel copies without passing the bytes through this process: raw files are large, and
// the copy is most of what the loader adds to the decoder's own work. Unknown when nothing has
// been copied yet and the file systems cannot do it, or the kernel reports an empty source
// (which pseudo-files do whatever they hold): the plain copy finds out then.
std::optional<bool> copyInKernel(QFile &in, QFile &out)
{
    bool copiedAny = false;
    for (;;) {
        const ssize_t n =
            ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr, kCopyChunk * 64, 0);
        if (n == 0)
            return copiedAny ? std::optional<bool>(true) : std::nullopt;
        if (n < 0) {
            const bool unsupported =
                errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP;
            if (unsupported && !copiedAny)
                return std::nullopt;
            return false;
        }
        copiedAny = true;
    }
}
#endif

// The private directory, inside the system's temporary directory. Qt names none (an empty
// path) when TMPDIR names a folder that does not exist, and the root folder is no place for it.
class PrivateDirectory
{
public:
    PrivateDirectory()
    {
        const QString base = QDir::tempPath();
        if (!base.isEmpty())
            dir.emplace(base + QStringLiteral("/velmora-XXXXXX"));
    }

    QString path() const { return dir && dir->isValid() ? dir->path() : QString(); }

private:
    std::optional<QTemporaryDir> dir;
};

// A cleaner of old temporary files may remove the directory while the viewer runs: it is made
// again under its name. Whatever else stands there (a file, a link, a folder that another user
// made or may enter) is not used, so that no copy of the user's picture goes where others can
// read it.
bool stillPrivate(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat status;
    if (::lstat(native.constData(), &status) != 0 && errno == ENOENT)
        ::mkdir(native.constData(), S_IRWXU);
    return ::lstat(native.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
#else
    return QDir().mkpath(path);
#endif
}

bool numberInUse(const QString &number)
{
    if (reservedNumbers.contains(number))
        return true;
    const QDir dir(privateTempDirectory());
    return !dir.entryList({number + QStringLiteral(".*")},
                          QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
}

} // namespace

bool deleteFile(const QString &path)
{
    return std::remove(path.toUtf8().constData()) == 0;
}

QString pathDirectory(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const int i = native.lastIndexOf(QDir::separator());
    return i < 0 ? QString() : native.left(i);
}

QString pathFileName(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const int i = native.lastIndexOf(QDir::separator());
    if (i >= 0 && i + 1 < native.size())
        return native.mid(i + 1);
    return native == QStringLiteral(".") ? QString() : path;
}

QString pathExtension(const QString &path)
{
    const int i = path.lastIndexOf(QLatin1Char('.'));
    return i > 0 && i + 1 < path.size() ? path.mid(i + 1) : QString();
}

QString pathBaseName(const QString &path)
{
    const QString ext = pathExtension(path);
    const QString name = pathFileName(path);
    if (ext.isEmpty())
        return name;
    const int j = name.lastIndexOf(ext) - 1;
    return j >= 0 ? name.left(j) : name;
}

QString pathWithSuffix(const QString &path, const QString &suffix)
{
    return pathDirectory(path) + QLatin1Char('/') + pathBaseName(path) + suffix;
}

QString randomName()
{
    // Seeded afresh from the second of the day, so the name depends on that second alone.
    QRandomGenerator generator(QTime(0, 0).secsTo(QTime::currentTime()));
    return QStringLiteral("%1").arg(generator.generate() % kNameRange);
}

QString tempFilePath(const QString &extension)
{
    const QString dir = privateTempDirectory();
    if (dir.isEmpty())
        return QString();
    return QDir::toNativeSeparators(dir) + QLatin1Char('/') + randomName() + QLatin1Char('.') +
           extension;
}

bool openRegularFile(QFile &file)
{
#ifdef Q_OS_UNIX
    // Non-blocking, so that opening a FIFO returns at once; the kind is then asked of what was
    // opened, not of the name, which may have changed meanwhile.
    const int fd =
        ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    const bool regular =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fcntl(fd, F_SETFL, 0) == 0;
    if (regular && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
#else
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly);
#endif
}

bool copyFile(const QString &source, const QString &target)
{
    QFile in(source);
    if (!openRegularFile(in))
        return false;
    // NewOnly creates the file exclusively: an existing name, or a link planted under it, makes
    // the copy fail instead of being written through.
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
#ifdef Q_OS_LINUX
    const std::optional<bool> copied = copyInKernel(in, out);
    bool ok = copied ? *copied : copyContent(in, out);
#else
    bool ok = copyContent(in, out);
#endif
    ok = out.flush() && ok;
    out.close();
    if (!ok)
        out.remove();
    return ok;
}

QString privateTempDirectory()
{
    // Made once, on first need, by whichever thread comes first; the static's destructor
    // removes it with everything left in it when the process exits.
    static const PrivateDirectory dir;
    const QString path = dir.path();
    return !path.isEmpty() && stillPrivate(path) ? path : QString();
}

QString reserveTempFilePath(const QString &extension)
{
    const QString first = tempFilePath(extension);
    if (first.isEmpty())
        return QString();
    QMutexLocker lock(&reservationMutex);
    QString number = nameNumber(first);
    // A number that is taken (another load in the same second) gives way to another one of the
    // same form; the outputs named after it must stay this load's alone.
    while (numberInUse(number))
        number = QString::number(QRandomGenerator::global()->bounded(kNameRange));
    reservedNumbers.insert(number);
    return pathDirectory(first) + QLatin1Char('/') +
           (number + QLatin1Char('.') + extension).toLower();
}

void releaseTempFilePath(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString number = nameNumber(path);
    QDir dir(pathDirectory(path));
    const QStringList leftovers =
        dir.entryList({number + QStringLiteral(".*")},
                      QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // The decoder's outputs are files, but a decoder gone wrong may leave a folder.
    for (const QString &name : leftovers) {
        if (!dir.remove(name))
            QDir(dir.filePath(name)).removeRecursively();
    }
    QMutexLocker lock(&reservationMutex);
    reservedNumbers.remove(number);
}
