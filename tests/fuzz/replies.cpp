// SPDX-License-Identifier: GPL-3.0-or-later
// fuzz_replies: what the viewer does with a decoder's answer, fed what a decoder taken over by a
// hostile file could send: the message (decodeMessage), the checks of the picture it describes
// over its slot (replyPicture), and what the viewer then does with the picture (colours, turn,
// smooth reductions, the texts it reads). An input is the slot's size (4 bytes, big-endian)
// and the message; the slot holds the input's bytes over and over.
//
// With clang's libFuzzer, by hand (from the source tree, after a build in build/):
//   clang++ -std=c++17 -fPIC -fsanitize=fuzzer,address,undefined -DVELMORA_LIBFUZZER
//     tests/fuzz/replies.cpp -Isrc/loading build/src/loading/libloading.a
//     $(pkg-config --cflags --libs Qt6Gui) -o fuzz_replies
//   (one command line)
//   ./fuzz_replies -max_total_time=600 tests/fuzz/corpus
// Otherwise (the sanitizer build's test) its own main replays the corpus and then mutates it,
// always in the same order, until the given number of seconds has passed.
#include "appearance.h"
#include "decodermessage.h"
#include "reduction.h"
#include "replypicture.h"
#include "smoothreduction.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImageReader>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

constexpr quint32 kMostSlotBytes = 1 << 20;
// Megabytes: what a run may convert, small so that each run is quick.
constexpr int kAllocationLimit = 16;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    QImageReader::setAllocationLimit(kAllocationLimit);
    const QByteArray message =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data) + 4, qsizetype(size - 4));
    DecoderRequest request;
    decodeMessage(message, request);
    DecoderReply reply;
    if (!decodeMessage(message, reply))
        return 0;
    QByteArray slot(qsizetype(qFromBigEndian<quint32>(data) % kMostSlotBytes), Qt::Uninitialized);
    for (qsizetype i = 0; i < slot.size(); ++i)
        slot[i] = char(data[size_t(i) % size]);
    const QImage picture = replyPicture(reply, reinterpret_cast<const uchar *>(slot.constData()),
                                        slot.size(), nullptr, nullptr);
    if (picture.isNull())
        return 0;
    const QImage finished = finishPicture(picture, Orientation(reply.orientation & 7));
    smoothlyReduced(finished, QSize(7, 5));
    smoothlyReduced(picture, sizeInFile(picture).boundedTo(QSize(64, 64)));
    withoutPalette(picture);
    fullViewSize(picture);
    isAnimation(picture);
    return 0;
}

#ifndef VELMORA_LIBFUZZER
namespace {

void run(const QByteArray &input)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.constData()),
                           size_t(input.size()));
}

// One change of the kind that finds the edges of a reader: a byte, a bit, a count at its
// limits, bytes cut out.
void mutate(QByteArray &input, std::mt19937 &random)
{
    static const quint32 edges[] = {0, 1, 3, 4, 15, 16, 255, 256, 0x7fffffff, 0xffffffff};
    const qsizetype at = qsizetype(random() % quint32(input.size()));
    switch (random() % 4) {
    case 0:
        input[at] = char(random());
        break;
    case 1:
        input[at] = char(input.at(at) ^ (1 << (random() % 8)));
        break;
    case 2:
        if (input.size() >= 4)
            qToBigEndian(edges[random() % std::size(edges)],
                         input.data() + qMin(at, input.size() - 4));
        break;
    default:
        input.remove(at, qsizetype(random() % 16));
    }
}

} // namespace

// fuzz_replies <corpus folder> <seconds>
int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    QList<QByteArray> corpus;
    const QFileInfoList entries = QDir(QString::fromLocal8Bit(argv[1])).entryInfoList(QDir::Files);
    for (const QFileInfo &entry : entries) {
        QFile file(entry.filePath());
        if (file.open(QIODevice::ReadOnly))
            corpus.append(file.readAll());
    }
    if (corpus.isEmpty())
        return 2;
    // Qt's complaints of every broken profile; a fatal one still ends the run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    for (const QByteArray &input : std::as_const(corpus))
        run(input);
    std::mt19937 random(1);
    QElapsedTimer timer;
    timer.start();
    long runs = 0;
    while (!timer.hasExpired(std::atol(argv[2]) * 1000)) {
        QByteArray input = corpus.at(qsizetype(random() % quint32(corpus.size())));
        for (int changes = 1 + int(random() % 8); changes > 0 && !input.isEmpty(); --changes)
            mutate(input, random);
        run(input);
        ++runs;
    }
    std::printf("%ld mutated replies handled\n", runs);
    return 0;
}
#endif
