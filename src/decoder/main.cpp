// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-decoder --serve: decodes pictures for the viewer that started it, over the socket on
// descriptor 3 (decodermessage.h), locked down by sandbox.cpp.
#include "decoderserver.h"
#include "metadata.h"
#include "sandbox.h"
#ifdef VELMORA_ATTACKS
#include "attacks.h"
#endif

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QSet>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kViewerSocket = 3;

// The keys of the image plugins linked into the decoder but the first of each: one read of an
// empty sample creates such a plugin for all of its keys, and each further read costs the start
// a look through every plugin's metadata.
QSet<QByteArray> linkedPluginAliases()
{
    QSet<QByteArray> aliases;
    const QList<QStaticPlugin> plugins = QPluginLoader::staticPlugins();
    for (const QStaticPlugin &plugin : plugins) {
        const QJsonObject data = plugin.metaData();
        if (data.value(QStringLiteral("IID")).toString() !=
            QLatin1String(QImageIOHandlerFactoryInterface_iid))
            continue;
        const QJsonArray keys =
            data.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("Keys")).toArray();
        for (qsizetype i = 1; i < keys.size(); ++i)
            aliases.insert(keys.at(i).toString().toLatin1());
    }
    return aliases;
}

// Loads now what the readers would load at their first picture, while files can still be
// opened: every image plugin, and what each reader sets up at its first use (a picture of each
// format that Qt can write, read back).
void loadReaders()
{
    // The readers complain about the empty samples of formats Qt cannot write.
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    const QSet<QByteArray> aliases = linkedPluginAliases();
    for (const QByteArray &format : QImageReader::supportedImageFormats()) {
        if (aliases.contains(format) && !writable.contains(format))
            continue;
        QByteArray bytes;
        if (writable.contains(format)) {
            QBuffer out(&bytes);
            out.open(QIODevice::WriteOnly);
            QImage sample(4, 4, QImage::Format_RGB32);
            sample.fill(Qt::gray);
            QImageWriter(&out, format).write(sample);
        }
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        QImageReader(&in, format).read();
    }
    qInstallMessageHandler(previous);
    // The metadata library's one-time set-up; no file is named.
    readMetadata(QString());
    // The local time zone, which the colour library asks for its profiles' dates: glibc reads
    // /etc/localtime again at every question unless TZ names it, and then only once.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    ::tzset();
}

// The decoder ends with the viewer, even in the middle of a picture: the viewer's side of the
// socket closes when it ends in any way.
void endWithViewer()
{
    std::thread([] {
        pollfd hangUp{kViewerSocket, POLLRDHUP, 0};
        while (::poll(&hangUp, 1, -1) < 0 && errno == EINTR) {
        }
        ::_exit(0);
    }).detach();
}

// A decoder that the kernel would not lock down reads nothing, unless the user accepts the risk
// of reading pictures without the sandbox.
void refuseOrAcceptRisk(DecoderServer &server)
{
    const bool riskAccepted = qgetenv("VELMORA_NO_SANDBOX") == "1";
    std::fputs(riskAccepted ? "velmora-decoder: the kernel refused the lock-down; reading "
                              "pictures without it, as VELMORA_NO_SANDBOX=1 asks\n"
                            : "velmora-decoder: the kernel refused the lock-down; reading no "
                              "pictures\n",
               stderr);
    if (!riskAccepted)
        server.readNothing();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--serve") != 0)
        return 2;
    const bool enclosed = encloseProcess();
    loadReaders();
    DecoderServer server(kViewerSocket);
    endWithViewer();
    const bool lockedDown = lockDown() && enclosed;
    if (!lockedDown)
        refuseOrAcceptRisk(server);
#ifdef VELMORA_ATTACKS
    // The tests' attack build: hostile code where a taken-over library would run it.
    attack(qgetenv("VELMORA_ATTACK"));
#endif
    server.run();
    // Nothing to flush or free: the viewer has gone or sent nonsense.
    ::_exit(0);
}
