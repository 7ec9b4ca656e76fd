// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderclient.h"

#include "command.h"

#include <QColorSpace>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QPixelFormat>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Where the decoder finds its socket.
constexpr int kDecoderSocket = 3;
// How often a waiting client looks whether it is to give up: a step past a picture being read,
// switching folders or quitting waits at most this long for a decoder.
constexpr int kGiveUpPollInterval = 10;

void reap(pid_t pid)
{
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

// One shared memory file of the decoder's, mapped read-only: a picture over it is copied by
// Qt before anything changes it. It stays mapped while a picture uses it, even after its
// decoder is gone.
struct DecoderClient::Slot
{
    int descriptor = -1;
    const uchar *memory = nullptr;
    qint64 bytes = 0;
    std::atomic<bool> held{false};

    ~Slot()
    {
        ::munmap(const_cast<uchar *>(memory), size_t(bytes));
        ::close(descriptor);
    }
};

QString DecoderClient::program()
{
    // Named by the environment, for a decoder of a build of one's own or one that misbehaves.
    const QString named = qEnvironmentVariable("VELMORA_DECODER");
    if (!named.isEmpty())
        return named;
    static const QString found = [] {
        const QString installed = QStringLiteral(VELMORA_DECODER_INSTALLED);
        return QFileInfo(installed).isExecutable() ? installed
                                                   : QStringLiteral(VELMORA_DECODER_BUILT);
    }();
    return found;
}

DecoderClient::DecoderClient()
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    // Above the decoder's socket number, so that moving it there is always a real move (which
    // drops close-on-exec).
    const int theirs = ::fcntl(pair[1], F_DUPFD_CLOEXEC, kDecoderSocket + 1);
    ::close(pair[1]);
    QByteArray path = QFile::encodeName(program());
    char serve[] = "--serve";
    char *arguments[] = {path.data(), serve, nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    // Nothing of the decoder's reaches the viewer's standard output, nor does it read input.
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, theirs, kDecoderSocket);
    const bool started = theirs >= 0 && ::posix_spawn(&pid, path.constData(), &actions, nullptr,
                                                      arguments, environ) == 0;
    ::posix_spawn_file_actions_destroy(&actions);
    if (theirs >= 0)
        ::close(theirs);
    if (!started) {
        pid = -1;
        ::close(pair[0]);
        return;
    }
    socket = pair[0];
}

DecoderClient::~DecoderClient()
{
    end();
}

bool DecoderClient::isUsable()
{
    if (pid <= 0 || socket < 0 || retiring)
        return false;
    // Gone while idle (killed from outside): reaped now, and replaced by the caller.
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
        pid = -1;
        end();
        return false;
    }
    // Still ending: its first thread is a zombie while the others end, before it can be reaped.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const qsizetype name = line.lastIndexOf(')');
        if (name > 0 && line.mid(name + 2, 1) == "Z") {
            end();
            return false;
        }
    }
    return true;
}

void DecoderClient::end()
{
    if (socket >= 0)
        ::close(socket);
    socket = -1;
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        reap(pid);
    }
    pid = -1;
}

bool DecoderClient::request(const DecoderRequest &request, int descriptor, int timeout,
                            DecoderReply &reply)
{
    if (!isUsable())
        return false;
    DecoderRequest sent = request;
    for (const auto &[id, slot] : mappedSlots) {
        if (!slot->held)
            sent.freeSlots.append(id);
    }
    const QList<int> descriptors =
        descriptor >= 0 ? QList<int>{descriptor} : QList<int>();
    const QDeadlineTimer deadline(timeout);
    const auto readable = [&] {
        for (;;) {
            if (commandsEnded() || deadline.hasExpired())
                return false;
            pollfd socketReady{socket, POLLIN, 0};
            const int slice =
                int(std::min<qint64>(kGiveUpPollInterval, deadline.remainingTime()));
            const int ready = ::poll(&socketReady, 1, slice);
            if (ready > 0)
                return true;
            if (ready < 0 && errno != EINTR)
                return false;
        }
    };
    QByteArray message;
    QList<int> received;
    reply = DecoderReply();
    if (sendMessage(socket, encodeMessage(sent), descriptors) &&
        receiveMessage(socket, message, received, readable) && decodeMessage(message, reply) &&
        accept(reply, received)) {
        retiring = reply.retire;
        return true;
    }
    for (int unused : received)
        ::close(unused);
    end();
    return false;
}

bool DecoderClient::accept(DecoderReply &reply, QList<int> &descriptors)
{
    for (qint32 id : reply.dropped) {
        const auto slot = mappedSlots.find(id);
        if (slot == mappedSlots.end() || slot->second->held)
            return false;
        mappedSlots.erase(slot);
    }
    if (reply.slot < 0)
        return descriptors.isEmpty();
    const auto known = mappedSlots.find(reply.slot);
    if (known != mappedSlots.end())
        return descriptors.isEmpty() && known->second->bytes == reply.slotBytes &&
               !known->second->held;
    // A new slot comes with its memory file, sealed against shrinking: the decoder cannot take
    // pages away from under a picture the viewer shows.
    struct stat status;
    if (descriptors.size() != 1 || reply.slotBytes <= 0 ||
        ::fstat(descriptors.first(), &status) != 0 || status.st_size < reply.slotBytes ||
        (::fcntl(descriptors.first(), F_GET_SEALS) & F_SEAL_SHRINK) == 0)
        return false;
    void *memory = ::mmap(nullptr, size_t(reply.slotBytes), PROT_READ, MAP_SHARED,
                          descriptors.first(), 0);
    if (memory == MAP_FAILED)
        return false;
    auto slot = std::make_shared<Slot>();
    slot->descriptor = descriptors.takeFirst();
    slot->memory = static_cast<const uchar *>(memory);
    slot->bytes = reply.slotBytes;
    mappedSlots[reply.slot] = slot;
    return true;
}

QImage DecoderClient::picture(const DecoderReply &reply) const
{
    const auto found = mappedSlots.find(reply.slot);
    if (!reply.ok || found == mappedSlots.end() || reply.format <= QImage::Format_Invalid ||
        reply.format >= QImage::NImageFormats || reply.size.isEmpty())
        return QImage();
    const std::shared_ptr<Slot> &slot = found->second;
    const auto format = QImage::Format(reply.format);
    const qint64 leastLine =
        (qint64(reply.size.width()) * QImage::toPixelFormat(format).bitsPerPixel() + 7) / 8;
    if (reply.bytesPerLine < leastLine || reply.bytesPerLine > slot->bytes ||
        reply.size.height() > slot->bytes / reply.bytesPerLine)
        return QImage();
    auto *keeper = new std::shared_ptr<Slot>(slot);
    slot->held = true;
    const auto release = [](void *info) {
        auto *kept = static_cast<std::shared_ptr<Slot> *>(info);
        (*kept)->held = false;
        delete kept;
    };
    QImage image(slot->memory, reply.size.width(), reply.size.height(),
                 qsizetype(reply.bytesPerLine), format, release, keeper);
    if (image.isNull()) {
        release(keeper);
        return QImage();
    }
    if (!reply.colourTable.isEmpty())
        image.setColorTable(reply.colourTable);
    if (!reply.colourProfile.isEmpty())
        image.setColorSpace(QColorSpace::fromIccProfile(reply.colourProfile));
    for (auto text = reply.text.cbegin(); text != reply.text.cend(); ++text)
        image.setText(text.key(), text.value());
    return image;
}
