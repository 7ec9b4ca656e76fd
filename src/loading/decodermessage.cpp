// SPDX-License-Identifier: GPL-3.0-or-later
#include "decodermessage.h"

#include <QDataStream>
#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Both sides come from the same build; a decoder of another one (an older installed copy)
// answers nothing the viewer takes.
constexpr quint32 kProtocol = 0x564d4401;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;
// Far above any description, profile or metadata; a length beyond it is garbage.
constexpr quint32 kLargestMessage = 64 * 1024 * 1024;
// A picture and its memory file at most travel together.
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
                  << m.hasPosition << m.latitude << m.longitude;
}

QDataStream &operator>>(QDataStream &stream, PictureMetadata &m)
{
    qint32 iso = 0;
    stream >> m.colourProfile >> m.dateTaken >> m.make >> m.model >> m.lens >> m.exposureTime >>
        m.aperture >> iso >> m.focalLength >> m.flash >> m.hasPosition >> m.latitude >>
        m.longitude;
    m.iso = iso;
    return stream;
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
        s << quint8(request.kind) << request.leastSide << request.allocationLimit << request.name
          << request.freeSlots;
    });
}

QByteArray encodeMessage(const DecoderReply &reply)
{
    return encode([&](QDataStream &s) {
        s << reply.ok << reply.retire << reply.slot << reply.slotBytes << reply.dropped
          << reply.size << reply.format << reply.bytesPerLine << reply.colourTable
          << reply.frameDelay << reply.frameNumber << reply.loopCount
          << reply.colourProfile << reply.orientation << reply.text << reply.formats
          << reply.metadata << reply.messages << reply.sandboxMissing;
    });
}

bool decodeMessage(const QByteArray &message, DecoderRequest &request)
{
    quint8 kind = 0;
    const bool whole = decode(message, [&](QDataStream &s) {
        s >> kind >> request.leastSide >> request.allocationLimit >> request.name >>
            request.freeSlots;
    });
    request.kind = DecoderRequest::Kind(kind);
    return whole && kind <= DecoderRequest::NextFrame;
}

bool decodeMessage(const QByteArray &message, DecoderReply &reply)
{
    return decode(message, [&](QDataStream &s) {
        s >> reply.ok >> reply.retire >> reply.slot >> reply.slotBytes >> reply.dropped >>
            reply.size >> reply.format >> reply.bytesPerLine >> reply.colourTable >>
            reply.frameDelay >> reply.frameNumber >> reply.loopCount >>
            reply.colourProfile >> reply.orientation >> reply.text >> reply.formats >>
            reply.metadata >> reply.messages >> reply.sandboxMissing;
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
