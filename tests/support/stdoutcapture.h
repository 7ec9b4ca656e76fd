// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STDOUTCAPTURE_H
#define STDOUTCAPTURE_H

#include <QByteArray>
#include <QTemporaryFile>

// Sends the process's standard output (file descriptor 1), or the descriptor given, to a temporary
// file while it lives, so that a test can read what the code under test printed, from any thread
// and through any API.
// When the running test has failed, the captured text is passed on to standard error, so that
// the test framework's own messages printed meanwhile are not lost.
class StdoutCapture
{
public:
    explicit StdoutCapture(int descriptor = 1);
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    // Everything printed since the capture began.
    QByteArray text();

private:
    QTemporaryFile file;
    int descriptor;
    int savedDescriptor = -1;
};

#endif
