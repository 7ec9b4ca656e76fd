#ifndef PRINTPICTURES_H
#define PRINTPICTURES_H

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

// Pictures with colour profiles that Qt cannot apply: CMYK print profiles and table-based RGB
// ones, made here with LittleCMS.

// A profile whose table, two points a side, takes RGB (3 channels) or CMYK ink (4) to Lab by a
// formula that no matrix expresses.
QByteArray tableProfile(int channels);

// Writes a picture of one colour, values (3 bytes RGB or 4 bytes CMYK ink, 255 for full), or of
// as many as values holds pixels (row after row), with profile embedded: a JPEG (CMYK inverted with an Adobe marker, as Adobe's writers do) or, when
// path ends in .tif, a plain CMYK TIFF. False on failure.
bool writeProfiled(const QString &path, const QSize &size, const QByteArray &values,
                   const QByteArray &profile);

// The sRGB colour that LittleCMS gives values through profile.
QColor lcmsColour(const QByteArray &profile, const QByteArray &values);

#endif
