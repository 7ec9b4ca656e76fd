// SPDX-License-Identifier: GPL-3.0-or-later
// loadprobe <picture> <thumbnail|full> [hold]: loads a picture the way the viewer does, then
// reports the private temporary directory and the picture's size on standard error. With hold it
// then waits for its standard input to close before it exits, so that a test can act on the folder
// meanwhile. Termination signals end it as they end the viewer. Standard output carries only what
// the loader itself prints.
#include "loader.h"
#include "paths.h"
#include "terminationsignals.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool hold = args.size() == 4 && args.at(3) == QLatin1String("hold");
    if (args.size() != 3 && !hold)
        return 2;
    quitOnTerminationSignals();
    raiseAllocationLimit();
    const QImage image = loadImage(args.at(1), args.at(2) == QLatin1String("thumbnail"));
    std::fprintf(stderr, "%s\n%dx%d\n", qPrintable(privateTempDirectory()), image.width(),
                 image.height());
    while (hold && std::fgetc(stdin) != EOF) {
    }
    return image.isNull() ? 1 : 0;
}
