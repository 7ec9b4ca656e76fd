#ifndef NEWFORMATS_H
#define NEWFORMATS_H

#include <QImage>
#include <QString>

// Pictures in the formats that the project's own image plugin reads, written with the encoders
// of the very libraries it decodes with.

struct HeifOptions
{
    bool avif = false;   // AV1 instead of HEVC
    int bits = 8;        // 8, or 10 from a 64-bit picture
    int orientation = 1; // 1 to 8 as in Exif, stored as the container's rotation and mirror
    int thumbnail = 0;   // the largest side of a stored thumbnail; 0 for none
};

// Writes picture (RGB32, ARGB32 for alpha, RGBA64 for 10 bits) as HEIC or AVIF; false on failure.
bool writeHeif(const QString &path, const QImage &picture, const HeifOptions &options = {});

// Writes picture (RGB32 or ARGB32) losslessly as JPEG XL with an Exif-style orientation.
bool writeJxl(const QString &path, const QImage &picture, int orientation = 1);

#endif
