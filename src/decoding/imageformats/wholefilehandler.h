// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef WHOLEFILEHANDLER_H
#define WHOLEFILEHANDLER_H

#include <QByteArray>
#include <QImageIOHandler>

// A reader for a library that takes the whole file from memory: the bytes are read once, at the
// first question that needs them, and kept for the read that follows.
class WholeFileHandler : public QImageIOHandler
{
public:
    bool canRead() const override;

protected:
    const QByteArray &fileData() const;
    // Whether bytes, the start of a file, are of the handler's format.
    virtual bool recognises(const QByteArray &bytes) const = 0;
    // How many bytes of a file's start recognises looks at.
    virtual int signatureBytes() const = 0;

private:
    mutable QByteArray data;
    mutable bool dataRead = false;
};

#endif
