// loadprobe <picture> <thumbnail|full>: loads a picture the way the viewer does, then reports the
// private temporary directory and the picture's size on standard error. Standard output carries
// only what the loader itself prints.
#include "loader.h"
#include "paths.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        return 2;
    raiseAllocationLimit();
    const QImage image = loadImage(args.at(1), args.at(2) == QLatin1String("thumbnail"));
    std::fprintf(stderr, "%s\n%dx%d\n", qPrintable(privateTempDirectory()), image.width(),
                 image.height());
    return image.isNull() ? 1 : 0;
}
