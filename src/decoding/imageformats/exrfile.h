// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef EXRFILE_H
#define EXRFILE_H

#include <QByteArray>
#include <QRect>

#include <openexr.h>

// An OpenEXR file read from memory through the library's C interface, which links no C++
// runtime of its own and starts no thread: no name reaches it. Usable (ok) once its first part's
// header is read and its windows are of sensible sizes.
struct ExrFile
{
    explicit ExrFile(const QByteArray &bytes);
    ~ExrFile();
    ExrFile(const ExrFile &) = delete;
    ExrFile &operator=(const ExrFile &) = delete;

    struct Memory
    {
        const QByteArray &bytes;
    };

    Memory memory;
    exr_context_t context = nullptr;
    exr_storage_t storage = EXR_STORAGE_LAST_TYPE;
    const exr_attr_chlist_t *channels = nullptr;
    QRect displayWindow;
    QRect dataWindow;
    bool ok = false;
};

#endif
