// SPDX-License-Identifier: GPL-3.0-or-later
#include "privatedirectory.h"

#include "command.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kNamePrefix[] = "velmora-";
constexpr int kNameRandomLength = 6;
// A stale-folder sweep of another viewer may take a folder between its making and its locking;
// the maker then starts over with another name.
constexpr int kMakeAttempts = 8;
constexpr mode_t kPrivateMode = S_IRWXU;

struct Folder
{
    QByteArray path;
    // Open for the folder's whole life: it holds the lock that tells a live folder from a stale
    // one, and it keeps the inode from being reused, so device and inode name this folder alone.
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
};

// Never destroyed: a thumbnail worker may still be loading while the process exits.
struct State
{
    QMutex mutex;
    // Every folder this process made, the one in use last.
    std::vector<Folder> folders;
    QSet<QString> reservedNumbers;
};

State &state()
{
    static State &instance = *new State;
    return instance;
}

bool isPrivateFolder(const struct stat &status)
{
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 07777) == kPrivateMode;
}

bool sameInode(const struct stat &status, dev_t device, ino_t inode)
{
    return status.st_dev == device && status.st_ino == inode;
}

// Whether name, relative to the folder open as at, is still the folder with that device and
// inode, and still private.
bool namesFolder(int at, const char *name, dev_t device, ino_t inode)
{
    struct stat status;
    return ::fstatat(at, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           sameInode(status, device, inode) && isPrivateFolder(status);
}

// The names in the folder open as fd, read through a descriptor of its own so that fd's
// position is never shared.
QList<QByteArray> entryNames(int fd)
{
    QList<QByteArray> names;
    const int listing = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return names;
    DIR *dir = ::fdopendir(listing);
    if (!dir) {
        ::close(listing);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

void removeEntry(int at, const char *name, dev_t device);

// Deletes everything in the folder open as fd. Nothing is reached through a link: links are
// removed themselves, and sub-folders are entered only through descriptors opened without
// following one, and only on the folder's own file system.
void removeContent(int fd, dev_t device)
{
    for (const QByteArray &name : entryNames(fd))
        removeEntry(fd, name.constData(), device);
}

// The sub-folder name of the folder open as at, found as status says, opened for reading; -1 when
// it is no longer that folder or not on device. One that a decoder gone wrong closed to its owner
// is opened to the owner again, through the name in /proc of a descriptor opened without
// following a link, so that the change reaches that very folder alone.
int openToEmpty(int at, const char *name, const struct stat &status, dev_t device)
{
    const int handle = ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (handle < 0)
        return -1;
    struct stat opened;
    int sub = -1;
    if (::fstat(handle, &opened) == 0 && sameInode(opened, status.st_dev, status.st_ino) &&
        opened.st_dev == device) {
        if ((opened.st_mode & S_IRWXU) != S_IRWXU)
            ::chmod(("/proc/self/fd/" + QByteArray::number(handle)).constData(), S_IRWXU);
        sub = ::openat(handle, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ::close(handle);
    return sub;
}

void removeEntry(int at, const char *name, dev_t device)
{
    struct stat status;
    if (::fstatat(at, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(status.st_mode)) {
        ::unlinkat(at, name, 0);
        return;
    }
    const int sub = openToEmpty(at, name, status, device);
    if (sub >= 0) {
        removeContent(sub, device);
        ::close(sub);
    }
    ::unlinkat(at, name, AT_REMOVEDIR);
}

void removeFolder(const Folder &folder)
{
    removeContent(folder.fd, folder.device);
    // The content was reached through the descriptor kept since the making, so it was this
    // folder's wherever it stands now; the name is another matter.
    if (namesFolder(AT_FDCWD, folder.path.constData(), folder.device, folder.inode))
        ::rmdir(folder.path.constData());
}

// Removes this process's folders when it exits, after everything else that may still use them.
struct RemoveAtExit
{
    ~RemoveAtExit()
    {
        State &s = state();
        QMutexLocker lock(&s.mutex);
        for (const Folder &folder : s.folders)
            removeFolder(folder);
    }
};

// A fresh folder, opened and locked; an empty path when none can be made.
Folder makeFolder()
{
    const QByteArray base = QFile::encodeName(QDir::tempPath());
    // Qt names no temporary folder (an empty path) when TMPDIR names one that does not exist.
    if (base.isEmpty())
        return {};
    for (int attempt = 0; attempt < kMakeAttempts; ++attempt) {
        QByteArray path = base + '/' + kNamePrefix + QByteArray(kNameRandomLength, 'X');
        if (!::mkdtemp(path.data()))
            return {};
        const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status;
        // The mode is set rather than trusted to the umask, which may take the owner's bits too.
        // The lock is taken before the name is checked again: a sweep that took the folder
        // first has removed it by the time the lock is free.
        const bool mine = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode) &&
                          status.st_uid == ::geteuid() && ::fchmod(fd, kPrivateMode) == 0 &&
                          ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                          namesFolder(AT_FDCWD, path.constData(), status.st_dev, status.st_ino);
        if (mine)
            return {path, fd, status.st_dev, status.st_ino};
        ::close(fd);
    }
    return {};
}

// The folder in use, made or made anew as needed; null when there is none. Called with the
// state's mutex held.
const Folder *currentFolder(State &s)
{
    static RemoveAtExit removeAtExit;
    QByteArray refused;
    if (!s.folders.empty()) {
        const Folder &last = s.folders.back();
        struct stat status;
        if (::lstat(last.path.constData(), &status) == 0) {
            if (sameInode(status, last.device, last.inode) && isPrivateFolder(status))
                return &last;
            // Something else stands under the name now: a file, a link, a folder that another
            // user made or may enter. No copy of the user's picture goes there.
            refused = last.path;
        } else if (errno != ENOENT) {
            refused = last.path;
        }
        // Otherwise a cleaner of old temporary files removed it: made again, under a fresh name
        // that nobody can have prepared.
    }
    const Folder made = makeFolder();
    if (made.fd < 0)
        return nullptr;
    s.folders.push_back(made);
    if (!refused.isEmpty())
        printLine("temporary folder " + refused + " was replaced; now using " + made.path);
    return &s.folders.back();
}

QString nativePath(const Folder &folder)
{
    return QDir::toNativeSeparators(QFile::decodeName(folder.path));
}

const Folder *folderAt(State &s, const QString &directory)
{
    for (const Folder &folder : s.folders) {
        if (nativePath(folder) == directory)
            return &folder;
    }
    return nullptr;
}

// Makes the work folder name in the private folder, private whatever the umask says. False,
// with errno set, when it cannot be made.
bool makeWorkFolder(const Folder &folder, const QByteArray &name)
{
    if (::mkdirat(folder.fd, name.constData(), kPrivateMode) != 0)
        return false;
    const int fd =
        ::openat(folder.fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool made = fd >= 0 && ::fchmod(fd, kPrivateMode) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!made) {
        removeEntry(folder.fd, name.constData(), folder.device);
        errno = EACCES;
    }
    return made;
}

bool hasPrivateFolderName(const QByteArray &name)
{
    if (!name.startsWith(kNamePrefix) ||
        name.size() != qsizetype(sizeof(kNamePrefix) - 1 + kNameRandomLength))
        return false;
    for (const char c : name.mid(sizeof(kNamePrefix) - 1)) {
        if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z'))
            return false;
    }
    return true;
}

// Removes the folder name of the folder open as base when it is a stale private folder.
void removeIfStale(int base, const char *name)
{
    struct stat status;
    if (::fstatat(base, name, &status, AT_SYMLINK_NOFOLLOW) != 0 || !isPrivateFolder(status))
        return;
    const int fd = ::openat(base, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened;
    // A live viewer holds its folder's lock until it has removed the folder; a folder whose
    // lock can be taken belongs to nobody. The lock stays taken until the folder is gone, so
    // that two viewers starting together do not both remove it.
    if (::fstat(fd, &opened) == 0 && sameInode(opened, status.st_dev, status.st_ino) &&
        isPrivateFolder(opened) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        removeContent(fd, opened.st_dev);
        if (namesFolder(base, name, opened.st_dev, opened.st_ino))
            ::unlinkat(base, name, AT_REMOVEDIR);
    }
    ::close(fd);
}

} // namespace

QString privateTempDirectory()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    const Folder *folder = currentFolder(s);
    return folder ? QFile::decodeName(folder->path) : QString();
}

QString tempFilePath(const QString &extension)
{
    const QString dir = privateTempDirectory();
    if (dir.isEmpty())
        return QString();
    return QDir::toNativeSeparators(dir) + QLatin1Char('/') + randomName() + QLatin1Char('.') +
           extension;
}

QString reserveTempFilePath(const QString &extension)
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    const Folder *folder = currentFolder(s);
    if (!folder)
        return QString();
    QString number = randomName();
    // A number that is taken (another load in the same second) gives way to another one of the
    // same form: the work folder named after it, where the decoder may write, is this load's alone.
    for (;; number = QString::number(QRandomGenerator::global()->bounded(kNameRange))) {
        if (s.reservedNumbers.contains(number))
            continue;
        if (makeWorkFolder(*folder, QFile::encodeName(number)))
            break;
        if (errno != EEXIST)
            return QString();
    }
    s.reservedNumbers.insert(number);
    return nativePath(*folder) + QLatin1Char('/') + number + QLatin1Char('/') +
           (number + QLatin1Char('.') + extension).toLower();
}

void releaseTempFilePath(const QString &path)
{
    if (path.isEmpty())
        return;
    State &s = state();
    QMutexLocker lock(&s.mutex);
    const QString workFolder = pathDirectory(path);
    const QString number = pathFileName(workFolder);
    // Through the folder's own descriptor: the reservation may outlive the folder's name. The
    // work folder goes whole, with whatever a decoder gone wrong left in it under any name.
    if (const Folder *folder = folderAt(s, pathDirectory(workFolder)))
        removeEntry(folder->fd, QFile::encodeName(number).constData(), folder->device);
    s.reservedNumbers.remove(number);
}

void removeStaleTempDirectories()
{
    const QByteArray path = QFile::encodeName(QDir::tempPath());
    if (path.isEmpty())
        return;
    const int base = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (base < 0)
        return;
    for (const QByteArray &name : entryNames(base)) {
        if (hasPrivateFolderName(name))
            removeIfStale(base, name.constData());
    }
    ::close(base);
}
