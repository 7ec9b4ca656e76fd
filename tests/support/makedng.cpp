// SPDX-License-Identifier: GPL-3.0-or-later
// make-dng: writes a generated DNG file for shell-driven tests.
// Usage: make-dng <path> [width height [jpeg|rgb|none [previewWidth previewHeight]]]
#include "dngwriter.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.size() == 2 || args.size() == 5 || args.size() > 6) {
        std::fprintf(stderr, "usage: make-dng <path> [width height [jpeg|rgb|none "
                             "[previewWidth previewHeight]]]\n");
        return 2;
    }
    DngOptions options;
    if (args.size() >= 3) {
        options.width = args.at(1).toInt();
        options.height = args.at(2).toInt();
    }
    if (args.size() >= 4) {
        const QString kind = args.at(3);
        if (kind == QLatin1String("jpeg"))
            options.preview = DngOptions::Preview::Jpeg;
        else if (kind == QLatin1String("rgb"))
            options.preview = DngOptions::Preview::Rgb;
        else if (kind == QLatin1String("none"))
            options.preview = DngOptions::Preview::None;
        else
            return 2;
    }
    if (args.size() == 6) {
        options.previewWidth = args.at(4).toInt();
        options.previewHeight = args.at(5).toInt();
    }
    if (!writeDng(args.at(0), options)) {
        std::fprintf(stderr, "make-dng: cannot write %s\n", qPrintable(args.at(0)));
        return 1;
    }
    return 0;
}
