// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef NEWFORMATS_H
#define NEWFORMATS_H

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

// Pictures that Qt alone cannot read right: in the formats of the project's own image plugin
// (HEIF through libheif's encoders, JPEG XL through cjxl), and with colour profiles that Qt
// cannot apply (CMYK print profiles and table-based RGB ones, made with LittleCMS).

struct HeifOptions
{
    bool avif = false;     // AV1 instead of HEVC
    int bits = 8;          // 8, or 10 from a 64-bit picture
    int orientation = 1;   // 1 to 8 as in Exif, stored as the container's rotation and mirror
    int thumbnail = 0;     // the side of the box that a stored thumbnail fits, or none
    bool crop = false;     // a clean aperture keeping the middle half of an odd width
    QByteArray brand = {}; // the main brand written instead of libheif's
    int transfer = 0;      // an nclx curve with BT.2020 primaries (16 PQ, 18 HLG); 0 for none
};

// Writes picture (RGB32, ARGB32 for alpha, RGBA64 for 10 bits) as HEIC or AVIF, its sizes
// stored as cameras store them; false on failure.
bool writeHeif(const QString &path, const QImage &picture, const HeifOptions &options = {});

// Runs program to its end without showing its report; whether it succeeded.
bool runQuietly(const QString &program, const QStringList &arguments);

// Writes picture (RGB32 or ARGB32) as JPEG XL with an orientation (1 to 8, as in Exif): losslessly
// when it is 1, else through a JPEG. A transfer (16 PQ, 18 HLG) says its samples are coded with
// that curve and BT.2020 primaries.
bool writeJxl(const QString &path, const QImage &picture, int orientation = 1, int transfer = 0);

// Writes picture as JPEG 2000 through OpenJPEG's opj_compress (a JP2 file, or a bare codestream
// when path ends in .j2k), from a PNG in its depth and alpha, or with subsampled true from raw
// samples of luma and colour differences, the colours kept at half the resolution; with an ICC
// profile in its colour box when one is given. False on failure.
bool writeJp2(const QString &path, const QImage &picture, bool subsampled = false,
              const QByteArray &profile = {});

struct ExrOptions
{
    bool tiled = false;         // tiles instead of scan lines
    bool floats = false;        // 32-bit floats instead of halves
    QList<QPointF> primaries{}; // red, green, blue and white, as chromaticities; none when empty
    QRect dataWindow{};         // the pixels stored, within the picture's rectangle; all if empty
    bool luminance = false;     // luminance and colour differences at half resolution, as halves
    QByteArray layer{};         // what the channels' names start with, as "diffuse."
};

// Writes picture (RGBX32FPx4 or, for alpha, RGBA32FPx4 premultiplied: linear light, beyond 1
// where bright) as OpenEXR, its rectangle the display window; false on failure.
bool writeExr(const QString &path, const QImage &picture, const ExrOptions &options = {});

// A profile whose table, two points a side, takes RGB (3 channels) or CMYK ink (4) to Lab by a
// formula that no matrix expresses.
QByteArray tableProfile(int channels);

// Runs ImageMagick's convert with source (its arguments up to the output) and profile embedded,
// writing the JPEG or TIFF at path (which may start with the format, as "jpg:"); CMYK JPEGs come
// inverted with an Adobe marker, as Adobe's writers make them. False on failure.
bool writeProfiled(const QString &path, const QStringList &source, const QByteArray &profile);

// Writes picture through ImageMagick's convert with options before the output path (which may
// start with the format, as "BMP3:"), for the older formats' variants. False on failure.
bool writeWithMagick(const QString &path, const QImage &picture, const QStringList &options);

// An uncompressed Windows bitmap of 40-byte header rewritten with the shortest header of OS/2's
// second version: 16 bytes, up to the bits a pixel.
QByteArray os2SecondBitmap(const QByteArray &windows);

// picture in a variant that ImageMagick does not write, by the name of the file: a Photoshop
// file of 32-bit floats (linear.psd) or as Photoshop's own writer stores transparency
// (matted.psd), a TGA file of 16 bits a pixel (five.tga), a PCX file of four one-bit planes
// (ega.pcx, at most 16 colours); empty for other names.
QByteArray handMadeVariant(const QString &name, const QImage &picture);

#endif
