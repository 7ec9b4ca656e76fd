// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderclient.h"

#include "command.h"
#include "replypicture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// Where the decoder finds its socket.
constexpr int kDecoderSocket = 3;
// How often a waiting client looks whether it is to give up: a step past a picture being read,
// switching folders or quitting waits at most this long for a decoder.
constexpr int kGiveUpPollInterval = 10;
// The threads an honest decoder runs at most: Qt's pool and the AV1, HEVC and JPEG XL decoders
// start about one a core each, besides a few of its own.
const int kMostThreads = 3 * QThread::idealThreadCount() + 32;
// The processor time a decoder may use while it owes no answer: what finishing the last one
// takes. More is a decoder taken over, working for someone else.
constexpr qint64 kIdleMilliseconds = 500;
// The slots a decoder may have mapped in the viewer: those of the pictures the viewer holds and
// a new one, which replaces every free one.
constexpr size_t kMostSlots = 6;
// What the viewer hands one decoder in all, counted from its start: a decoder keeps the memory
// of every slot it was given for as long as it likes (an honest one lets go of the free ones
// when it gets a new one; the viewer cannot tell). One that has had this much is replaced by a
// fresh one, whose predecessor's memory goes with it; one that asks past it is ended.
constexpr int kMostSlotsHanded = 32;
constexpr qint64 kMostSlotBytesHanded = qint64(2) << 30;
// A decoder's standard error is repeated in lines of at most this, and this much in all.
constexpr qsizetype kLongestErrorLine = 4096;
constexpr qint64 kMostErrorBytes = 256 * 1024;

// What a decoder's environment keeps of the viewer's: its own settings and the tests' (VELMORA_),
// where its libraries lie, and the sanitizers' settings. Nothing else: a taken-over decoder
// would read the user's tokens, agents' sockets and paths there.
bool keptForDecoder(const char *entry)
{
    static const char *const kept[] = {"VELMORA_", "QT_PLUGIN_PATH=", "LD_LIBRARY_PATH=", "TZ=",
                                       "ASAN_OPTIONS=", "UBSAN_OPTIONS=", "LSAN_OPTIONS="};
    for (const char *prefix : kept) {
        if (std::strncmp(entry, prefix, std::strlen(prefix)) == 0)
            return true;
    }
    return false;
}

void reap(pid_t pid)
{
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

struct Usage
{
    bool zombie = false;
    qint64 ticks = 0;
    int threads = 0;
};

// What /proc says of process pid; false when it cannot be read. It stays the viewer's child,
// unreaped, for as long as a client asks: the number cannot be another's.
bool usage(pid_t pid, Usage &found)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype name = line.lastIndexOf(')');
    if (name < 0)
        return false;
    // After the name: its state, ..., processor time in user and system mode (the 12th and 13th),
    // ..., the number of threads (the 18th).
    const QList<QByteArray> fields = line.mid(name + 2).split(' ');
    if (fields.size() < 18)
        return false;
    found.zombie = fields.at(0) == "Z";
    found.ticks = fields.at(11).toLongLong() + fields.at(12).toLongLong();
    found.threads = fields.at(17).toInt();
    return true;
}

} // namespace

// One shared memory file made by the viewer, mapped read-only: a picture over it is copied by
// Qt before anything changes it. It stays mapped while a picture uses it, even after its
// decoder is gone.
struct DecoderClient::Slot
{
    const uchar *memory = nullptr;
    qint64 bytes = 0;
    std::atomic<bool> held{false};

    ~Slot() { ::munmap(const_cast<uchar *>(memory), size_t(bytes)); }
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
    int errorPipe[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
        ::close(pair[0]);
        ::close(pair[1]);
        return;
    }
    // Above the decoder's own numbers, so that moving them there is always a real move (which
    // drops close-on-exec).
    const int theirs = ::fcntl(pair[1], F_DUPFD_CLOEXEC, kDecoderSocket + 1);
    const int theirErrors = ::fcntl(errorPipe[1], F_DUPFD_CLOEXEC, kDecoderSocket + 1);
    ::close(pair[1]);
    ::close(errorPipe[1]);
    ::fcntl(errorPipe[0], F_SETFL, O_NONBLOCK);
    QByteArray path = QFile::encodeName(program());
    char serve[] = "--serve";
    char *arguments[] = {path.data(), serve, nullptr};
    std::vector<char *> environment;
    for (char **entry = environ; *entry; ++entry) {
        if (keptForDecoder(*entry))
            environment.push_back(*entry);
    }
    environment.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    // Nothing of the decoder's reaches the viewer's standard output, nor does it read input.
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // Nor does it reach the user's terminal: its standard error is a pipe that the viewer reads
    // and repeats without control characters.
    ::posix_spawn_file_actions_adddup2(&actions, theirErrors, 2);
    ::posix_spawn_file_actions_adddup2(&actions, theirs, kDecoderSocket);
    // Nothing else of the viewer's, such as a descriptor it inherited without close-on-exec.
    const bool closed =
        ::posix_spawn_file_actions_addclosefrom_np(&actions, kDecoderSocket + 1) == 0;
    const bool started = closed && theirs >= 0 && theirErrors >= 0 &&
                         ::posix_spawn(&pid, path.constData(), &actions, nullptr, arguments,
                                       environment.data()) == 0;
    ::posix_spawn_file_actions_destroy(&actions);
    for (int descriptor : {theirs, theirErrors}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
    if (!started) {
        pid = -1;
        ::close(pair[0]);
        ::close(errorPipe[0]);
        return;
    }
    socket = pair[0];
    errors = errorPipe[0];
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
    if (!behaves()) {
        end();
        return false;
    }
    return true;
}

bool DecoderClient::behaves(bool owesAnswer) const
{
    static const qint64 idleTicks = kIdleMilliseconds * ::sysconf(_SC_CLK_TCK) / 1000;
    Usage now;
    if (pid <= 0 || !usage(pid, now))
        return true;
    // A zombie is still ending: its first thread is done while the others end, before it can be
    // reaped.
    return !now.zombie && now.threads <= kMostThreads &&
           (owesAnswer || answeredTicks < 0 || now.ticks - answeredTicks <= idleTicks);
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
    // Its last words, such as a sanitizer's report of what it did wrong.
    repeatErrors();
    if (errors >= 0)
        ::close(errors);
    errors = -1;
}

void DecoderClient::repeatErrors()
{
    while (errors >= 0) {
        char buffer[4096];
        const ssize_t got = ::read(errors, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        // Nothing more for now.
        if (got < 0)
            return;
        // All it wrote has been read: the last line is repeated whole or not.
        if (got == 0) {
            ::close(errors);
            errors = -1;
        }
        errorLine.append(buffer, got);
        qsizetype start = 0;
        for (;;) {
            const qsizetype newline = errorLine.indexOf('\n', start);
            const qsizetype end = newline >= 0 ? newline : errorLine.size();
            if (newline < 0 && end - start < kLongestErrorLine && (errors >= 0 || end == start))
                break;
            const qsizetype length = qMin(end - start, kLongestErrorLine);
            if (errorBytes < kMostErrorBytes) {
                errorBytes += length;
                const QByteArray line =
                    printable(QString::fromUtf8(errorLine.mid(start, length))).toUtf8() + '\n';
                std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
            }
            start += length + (start + length == newline ? 1 : 0);
        }
        errorLine.remove(0, start);
    }
}

bool DecoderClient::request(const DecoderRequest &request, int descriptor, int timeout,
                            DecoderReply &reply, int passedGrace)
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
    QDeadlineTimer passed(QDeadlineTimer::Forever);
    const auto readable = [&] {
        for (;;) {
            if (allCommandsEndedNow() || deadline.hasExpired())
                return false;
            if (commandsEnded() && passed.isForever())
                passed.setRemainingTime(passedGrace);
            if (passed.hasExpired())
                return false;
            pollfd ready[] = {{socket, POLLIN, 0}, {errors, POLLIN, 0}};
            qint64 slice = std::min<qint64>(kGiveUpPollInterval, deadline.remainingTime());
            if (!passed.isForever())
                slice = std::min(slice, passed.remainingTime());
            const int count = ::poll(ready, 2, int(slice));
            if (count < 0 && errno != EINTR)
                return false;
            // Threads multiplied while it works are as much a sign of a taken-over decoder.
            if (count == 0 && !behaves(true))
                return false;
            if (count <= 0)
                continue;
            // What it said first, then its answer.
            if (ready[1].revents)
                repeatErrors();
            if (ready[0].revents)
                return true;
        }
    };
    reply = DecoderReply();
    bool answered = sendMessage(socket, encodeMessage(sent), descriptors);
    bool slotGiven = false;
    while (answered) {
        QByteArray message;
        QList<int> received;
        answered = receiveMessage(socket, message, received, readable);
        // The viewer makes every descriptor a decoder uses: one sent back is an attack (a
        // plain file as pixels, which shrinks under the viewer's reading and kills it).
        for (int unwanted : std::as_const(received))
            ::close(unwanted);
        answered = answered && received.isEmpty() && decodeMessage(message, reply);
        if (!answered || reply.slotWanted == 0)
            break;
        // A picture needs one new slot at most.
        answered = !slotGiven && giveSlot(reply.slotWanted, sent);
        slotGiven = true;
    }
    if (answered && accept(reply)) {
        // No answer takes more than one slot of at most the allocation limit: one replaced
        // before the next answer could pass the bound never reaches it honestly.
        const qint64 limit = qint64(sent.allocationLimit) << 20;
        retiring = retiring || reply.retire || slotsHanded >= kMostSlotsHanded - 1 ||
                   slotBytesHanded > kMostSlotBytesHanded - std::max(limit, qint64(1) << 30);
        Usage now;
        answeredTicks = usage(pid, now) ? now.ticks : -1;
        return true;
    }
    end();
    return false;
}

bool DecoderClient::giveSlot(qint64 bytes, const DecoderRequest &sent)
{
    // Every free slot goes for the new one, on both sides.
    for (qint32 id : sent.freeSlots)
        mappedSlots.erase(id);
    const qint64 limit = qint64(sent.allocationLimit) << 20;
    DecoderRequest answer;
    answer.kind = DecoderRequest::NewSlot;
    int memory = -1;
    void *mapped = MAP_FAILED;
    // No larger than the reading may allocate, and only a few at once. A decoder that asks for
    // more is not sound: it gets nothing more.
    if (bytes <= 0 || (limit > 0 && bytes > limit) || slotsHanded >= kMostSlotsHanded ||
        bytes > kMostSlotBytesHanded - slotBytesHanded)
        return false;
    if (mappedSlots.size() < kMostSlots)
        memory = ::memfd_create("velmora-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    // Sealed before the decoder sees it: it can neither take pages away from under a picture
    // the viewer shows, which would kill the viewer, nor make it any larger.
    if (memory >= 0 && ::ftruncate(memory, bytes) == 0 &&
        ::fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0)
        mapped = ::mmap(nullptr, size_t(bytes), PROT_READ, MAP_SHARED, memory, 0);
    if (mapped != MAP_FAILED) {
        // The picture fills the slot: its memory is taken at once rather than by a fault for
        // each page that the decoder writes, a tenth of a new decoder's first large picture.
        // Should it fail, the pages still come as they are written.
        ::fallocate(memory, 0, 0, bytes);
        auto slot = std::make_shared<Slot>();
        slot->memory = static_cast<const uchar *>(mapped);
        slot->bytes = bytes;
        answer.slot = nextSlot++;
        mappedSlots[answer.slot] = slot;
        ++slotsHanded;
        slotBytesHanded += bytes;
    } else if (mappedSlots.size() >= kMostSlots) {
        // Every slot holds a picture the viewer keeps: a fresh decoder serves the next request.
        retiring = true;
    }
    const bool told = sendMessage(socket, encodeMessage(answer),
                                  answer.slot >= 0 ? QList<int>{memory} : QList<int>());
    if (memory >= 0)
        ::close(memory);
    return told;
}

bool DecoderClient::accept(const DecoderReply &reply) const
{
    if (reply.slot < 0)
        return true;
    // A slot the viewer gave and holds no picture it keeps.
    const auto known = mappedSlots.find(reply.slot);
    return known != mappedSlots.end() && !known->second->held;
}

QImage DecoderClient::picture(const DecoderReply &reply) const
{
    const auto found = mappedSlots.find(reply.slot);
    if (!reply.ok || found == mappedSlots.end())
        return QImage();
    const std::shared_ptr<Slot> &slot = found->second;
    auto *keeper = new std::shared_ptr<Slot>(slot);
    slot->held = true;
    const auto release = [](void *info) {
        auto *kept = static_cast<std::shared_ptr<Slot> *>(info);
        (*kept)->held = false;
        delete kept;
    };
    const QImage image = replyPicture(reply, slot->memory, slot->bytes, release, keeper);
    if (image.isNull())
        release(keeper);
    return image;
}
