// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "decoderpool.h"
#include "edition.h"
#include "imageviewer.h"
#include "loader.h"
#include "privatedirectory.h"
#include "terminationsignals.h"

#include <QApplication>
#include <QThreadPool>

#include <cstdio>

namespace {

// Help and the version on standard output, usage errors on standard error.
int answer(const StartRequest &request)
{
    std::fputs(request.message.toLocal8Bit().constData(), request.exitCode ? stderr : stdout);
    return request.exitCode;
}

} // namespace

int main(int argc, char **argv)
{
    // The window's application cannot start without a display; help and the version need none.
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
        return answer(parseCommandLine(QCoreApplication::arguments()));
    }
    // Started before the application object, which takes a while to reach the display: the
    // decoder is ready when the first picture's read reaches it.
    DecoderPool::prepare();
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    const StartRequest request = parseCommandLine(QApplication::arguments());
    if (request.quit)
        return answer(request);
    quitOnTerminationSignals();
    // Off the user-interface thread: the temporary folder may be crowded.
    QThreadPool::globalInstance()->start(removeStaleTempDirectories);
    raiseAllocationLimit();
    const QString edition = readEditionName();
    // The picture is read while the window is built; its picture or failure box comes from the
    // running event loop, with the shown window under it.
    ImageViewer viewer(edition, request.path);
    viewer.show();
    return app.exec();
}
