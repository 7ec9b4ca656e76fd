// SPDX-License-Identifier: GPL-3.0-or-later
#include "decodermessage.h"

#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

// What the viewer takes from a decoder: a whole answer as it was sent, and nothing from a part of
// one, whatever part.
class TestDecoderMessage : public QObject
{
    Q_OBJECT

private slots:
    void replyArrivesWhole();
    void partOfAReplyIsNone();
};

namespace {

DecoderReply sampleReply()
{
    DecoderReply reply;
    reply.ok = true;
    reply.slotWanted = 4800;
    reply.slot = 3;
    reply.size = QSize(40, 30);
    reply.format = QImage::Format_ARGB32;
    reply.bytesPerLine = 160;
    reply.colourTable = {0xff102030};
    reply.colourProfile = QByteArray(300, 'p');
    reply.orientation = 5;
    reply.text.insert(QStringLiteral("Velmora-OriginalSize"), QStringLiteral("80x60"));
    reply.metadata.model = QStringLiteral("Camera");
    reply.metadata.latitude = -33.5;
    reply.messages = {{int(QtWarningMsg), QStringLiteral("odd file")}};
    return reply;
}

} // namespace

// Through a socket pair, with a descriptor riding along, as between viewer and decoder.
void TestDecoderMessage::replyArrivesWhole()
{
    int pair[2];
    QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    const QByteArray sent = encodeMessage(sampleReply());
    QVERIFY(sendMessage(pair[0], sent, {pair[0]}));
    QByteArray received;
    QList<int> descriptors;
    QVERIFY(receiveMessage(pair[1], received, descriptors, [] { return true; }));
    QCOMPARE(descriptors.size(), 1);
    DecoderReply reply;
    QVERIFY(decodeMessage(received, reply));
    QCOMPARE(encodeMessage(reply), sent);
    for (int descriptor : {pair[0], pair[1], descriptors.first()})
        close(descriptor);
}

void TestDecoderMessage::partOfAReplyIsNone()
{
    const QByteArray whole = encodeMessage(sampleReply());
    for (qsizetype length = 0; length < whole.size(); ++length) {
        DecoderReply reply;
        QVERIFY2(!decodeMessage(whole.left(length), reply), qPrintable(QString::number(length)));
    }
}

QTEST_GUILESS_MAIN(TestDecoderMessage)
#include "tst_decodermessage.moc"
