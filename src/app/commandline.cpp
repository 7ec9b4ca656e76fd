// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

StartRequest parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Browse folders of pictures and camera raw files; zoom, fit and print them."));
    // Not addHelpOption: its --help-all can only be answered by ending the process at once.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("main", "Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("path"),
        QCoreApplication::translate("main", "A picture to show, or a folder to browse."),
        QStringLiteral("[FILE|FOLDER]"));

    StartRequest request;
    const auto endLine = [](const QString &text) {
        return text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n');
    };
    if (!parser.parse(arguments)) {
        request.quit = true;
        request.exitCode = 1;
        request.message = endLine(parser.errorText()) + endLine(parser.helpText());
        return request;
    }
    if (parser.isSet(help)) {
        request.quit = true;
        request.message = endLine(parser.helpText());
        return request;
    }
    if (parser.isSet(version)) {
        request.quit = true;
        request.message = QCoreApplication::applicationName() + QLatin1Char(' ') +
                          QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return request;
    }
    const QStringList paths = parser.positionalArguments();
    if (!paths.isEmpty() && !paths.first().isEmpty())
        request.path = QDir::cleanPath(QFileInfo(paths.first()).absoluteFilePath());
    return request;
}

bool asksForTextOnly(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-h" || argument == "--help" || argument == "-v" ||
            argument == "--version")
            return true;
    }
    return false;
}
