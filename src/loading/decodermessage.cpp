// SPDX-License-Identifier: GPL-3.0-or-later
#include "decodermessage.h"

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Both sides come from the same build; a decoder of another one (an older installed copy)
// answers nothing the viewer takes.
constexpr quint32 kProtocol = 0x564d4402;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;
// Far above any description, profile or metadata; a length beyond it is garbage.
constexpr quint32 kLargestMessage = 64 * 1024 * 1024;
// One descriptor travels with a message; a few more are taken in only to be closed.
constexpr int kMostDescriptors = 4;

template <typename Write> QByteArray encode(Write write)
{
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream.setVersion(kStreamVersion);
    stream << kProtocol;
    write(stream);
    return message;
}

// What the reading side takes from the other's message is bounded by the message: every count
// (of a list, a map, a string's bytes) is checked against the bytes left before anything is
// reserved for it, so that a count of four thousand million costs nothing.
template <typename T> struct Least
{
    static constexpr qint64 bytes = sizeof(T);
};
template <> struct Least<QString>
{
    static constexpr qint64 bytes = sizeof(quint32);
};
template <typename A, typename B> struct Least<std::pair<A, B>>
{
    static constexpr qint64 bytes = Least<A>::bytes + Least<B>::bytes;
};

// Whether the count that comes next leaves room for that many items of least bytes each; the
// stream fails when not. Strings and byte arrays count all bits set for null.
bool countFits(QDataStream &s, qint64 least, bool nullable)
{
    const QByteArray next = s.device()->peek(sizeof(quint32));
    if (s.status() != QDataStream::Ok || next.size() != sizeof(quint32)) {
        s.setStatus(QDataStream::ReadPastEnd);
        return false;
    }
    const quint32 count = qFromBigEndian<quint32>(next.constData());
    if ((nullable && count == 0xffffffff) ||
        qint64(count) * least <= s.device()->bytesAvailable() - qint64(sizeof(quint32)))
        return true;
    s.setStatus(QDataStream::ReadCorruptData);
    return false;
}

void get(QDataStream &s, QString &text)
{
    if (countFits(s, 1, true))
        s >> text;
}

void get(QDataStream &s, QByteArray &bytes)
{
    if (countFits(s, 1, true))
        s >> bytes;
}

void get(QDataStream &s, PictureMetadata &m);
template <typename T> void get(QDataStream &s, T &value);
template <typename A, typename B> void get(QDataStream &s, std::pair<A, B> &pair);
template <typename T> void get(QDataStream &s, QList<T> &list);
template <typename K, typename V> void get(QDataStream &s, QMap<K, V> &map);

template <typename T> void get(QDataStream &s, T &value)
{
    s >> value;
}

template <typename A, typename B> void get(QDataStream &s, std::pair<A, B> &pair)
{
    get(s, pair.first);
    get(s, pair.second);
}

template <typename T> void get(QDataStream &s, QList<T> &list)
{
    list.clear();
    quint32 count = 0;
    if (!countFits(s, Least<T>::bytes, false))
        return;
    s >> count;
    list.reserve(count);
    while (list.size() < qsizetype(count) && s.status() == QDataStream::Ok) {
        T item;
        get(s, item);
        list.append(std::move(item));
    }
}

template <typename K, typename V> void get(QDataStream &s, QMap<K, V> &map)
{
    map.clear();
    quint32 count = 0;
    if (!countFits(s, Least<K>::bytes + Least<V>::bytes, false))
        return;
    s >> count;
    for (quint32 i = 0; i < count && s.status() == QDataStream::Ok; ++i) {
        K key;
        V value;
        get(s, key);
        get(s, value);
        map.insert(key, value);
    }
}

template <typename... T> void getAll(QDataStream &s, T &...values)
{
    (get(s, values), ...);
}

void get(QDataStream &s, PictureMetadata &m)
{
    qint32 iso = 0;
    getAll(s, m.colourProfile, m.dateTaken, m.make, m.model, m.lens, m.exposureTime, m.aperture,
           iso, m.focalLength, m.flash, m.hasPosition, m.latitude, m.longitude, m.hdrGainMap);
    getAll(s, m.dataWindow, m.channels);
    m.iso = iso;
}

template <typename Read> bool decode(const QByteArray &message, Read read)
{
    QDataStream stream(message);
    stream.setVersion(kStreamVersion);
    quint32 protocol = 0;
    stream >> protocol;
    if (protocol != kProtocol)
        return false;
    read(stream);
    return stream.status() == QDataStream::Ok && stream.atEnd();
}

QDataStream &operator<<(QDataStream &stream, const PictureMetadata &m)
{
    return stream << m.colourProfile << m.dateTaken << m.make << m.model << m.lens
                  << m.exposureTime << m.aperture << qint32(m.iso) << m.focalLength << m.flash
                  << m.hasPosition << m.latitude << m.longitude << m.hdrGainMap << m.dataWindow
                  << m.channels;
}

void closeAll(QList<int> &descriptors)
{
    for (int descriptor : descriptors)
        ::close(descriptor);
    descriptors.clear();
}

// Reads exactly size bytes, or fails.
bool readFully(int socket, char *data, size_t size, const std::function<bool()> &readable)
{
    while (size > 0) {
        if (!readable())
            return false;
        const ssize_t got = ::recv(socket, data, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= size_t(got);
    }
    return true;
}

} // namespace

QByteArray encodeMessage(const DecoderRequest &request)
{
    return encode([&](QDataStream &s) {
        s << quint8(request.kind) << request.leastSide << request.coverSize
          << request.allocationLimit << request.name
          << request.freeSlots << request.slot;
    });
}

QByteArray encodeMessage(const DecoderReply &reply)
{
    return encode([&](QDataStream &s) {
        s << reply.ok << reply.retire << reply.slotWanted << reply.slot << reply.size
          << reply.format << reply.bytesPerLine << reply.colourTable << reply.frameDelay
          << reply.frameNumber << reply.loopCount << reply.colourProfile << reply.orientation
          << reply.text << reply.formats << reply.metadata << reply.messages
          << reply.sandboxMissing;
    });
}

bool decodeMessage(const QByteArray &message, DecoderRequest &request)
{
    quint8 kind = 0;
    const bool whole = decode(message, [&](QDataStream &s) {
        getAll(s, kind, request.leastSide, request.coverSize, request.allocationLimit, request.name,
               request.freeSlots, request.slot);
    });
    request.kind = DecoderRequest::Kind(kind);
    return whole && kind <= DecoderRequest::RawPicture;
}

bool decodeMessage(const QByteArray &message, DecoderReply &reply)
{
    return decode(message, [&](QDataStream &s) {
        getAll(s, reply.ok, reply.retire, reply.slotWanted, reply.slot, reply.size, reply.format,
               reply.bytesPerLine, reply.colourTable, reply.frameDelay, reply.frameNumber,
               reply.loopCount, reply.colourProfile, reply.orientation, reply.text, reply.formats,
               reply.metadata, reply.messages, reply.sandboxMissing);
    });
}

bool sendMessage(int socket, const QByteArray &message, const QList<int> &descriptors)
{
    if (quint32(message.size()) > kLargestMessage || descriptors.size() > kMostDescriptors)
        return false;
    const quint32 length = quint32(message.size());
    QByteArray framed(reinterpret_cast<const char *>(&length), sizeof length);
    framed += message;

    // The descriptors ride on the first bytes; the rest follows as the socket takes it.
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostDescriptors)] = {};
    iovec part{framed.data(), size_t(framed.size())};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    if (!descriptors.isEmpty()) {
        header.msg_control = control;
        header.msg_controllen = CMSG_SPACE(sizeof(int) * descriptors.size());
        cmsghdr *rights = CMSG_FIRSTHDR(&header);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int) * descriptors.size());
        std::memcpy(CMSG_DATA(rights), descriptors.constData(), sizeof(int) * descriptors.size());
    }
    size_t sent = 0;
    while (sent < size_t(framed.size())) {
        part.iov_base = framed.data() + sent;
        part.iov_len = size_t(framed.size()) - sent;
        // No SIGPIPE: a side that is gone is an answer, not a reason to die.
        const ssize_t done = ::sendmsg(socket, &header, MSG_NOSIGNAL);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        sent += size_t(done);
        header.msg_control = nullptr;
        header.msg_controllen = 0;
    }
    return true;
}

bool receiveMessage(int socket, QByteArray &message, QList<int> &descriptors,
                    const std::function<bool()> &readable)
{
    descriptors.clear();
    quint32 length = 0;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostDescriptors)] = {};
    iovec part{&length, sizeof length};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t got = -1;
    do {
        if (!readable())
            return false;
        got = ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
        return false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int descriptor = -1;
            std::memcpy(&descriptor, CMSG_DATA(c) + i * sizeof(int), sizeof descriptor);
            descriptors.append(descriptor);
        }
    }
    const bool whole = (header.msg_flags & MSG_CTRUNC) == 0 &&
                       readFully(socket, reinterpret_cast<char *>(&length) + got,
                                 sizeof length - size_t(got), readable) &&
                       length <= kLargestMessage;
    if (whole) {
        message.resize(qsizetype(length));
        if (readFully(socket, message.data(), length, readable))
            return true;
    }
    closeAll(descriptors);
    return false;
}
