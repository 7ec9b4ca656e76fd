// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>
#include <QStringList>

// What the viewer was asked to do when it started. Qt's own options are no longer among the
// arguments: the application object has taken them.
struct StartRequest
{
    // The file or folder to open, absolute; empty to start with nothing open.
    QString path;
    // Help, the version or a usage error: print message and end with exitCode, with no window.
    bool quit = false;
    int exitCode = 0;
    QString message;
};

// Reads arguments (the program name first, as QCoreApplication::arguments gives them). A
// relative path counts from the working directory; only the first path is used, the way a
// file manager passes one file to each viewer it starts.
StartRequest parseCommandLine(const QStringList &arguments);

// Whether the arguments ask for help or the version, which are answered without a window, and
// so without a display.
bool asksForTextOnly(int argc, const char *const *argv);

#endif
