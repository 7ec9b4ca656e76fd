// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DNGWRITER_H
#define DNGWRITER_H

#include <QColor>
#include <QString>

// Settings of a generated DNG file.
//
// The raw picture is a 16-bit Bayer mosaic (RGGB, uncompressed) whose four quadrants decode to
// red (top left), green (top right), blue (bottom left) and white (bottom right). Its colour
// matrix makes the camera's primaries those of sRGB, so dcraw renders these colours plainly.
//
// The embedded preview, when there is one, is a plain area of previewColor:
// - Preview::Jpeg: a baseline JPEG; "dcraw -e" writes it as <base>.thumb.jpg.
// - Preview::Rgb: uncompressed 8-bit RGB; "dcraw -e" writes it as <base>.thumb.ppm.
// - Preview::None: "dcraw -e" fails with "<file> has no thumbnail." and exit code 1.
// "dcraw -T" converts the raw picture to <base>.tiff, width by height pixels, in every case.
struct DngOptions
{
    enum class Preview { None, Jpeg, Rgb };

    int width = 64;  // even, at least 22 (dcraw refuses smaller pictures)
    int height = 48; // even, at least 22
    Preview preview = Preview::Jpeg;
    int previewWidth = 32; // at most width: dcraw takes the largest picture as the raw one
    int previewHeight = 24;
    QColor previewColor = QColor(40, 90, 200);
    // The preview shows the raw picture's quadrants as the viewer shows dcraw's conversion,
    // not previewColor.
    bool previewShowsRaw = false;
    // The TIFF orientation of the raw picture (1 to 8, 6 for a camera turned clockwise); 0
    // writes no orientation at all.
    int orientation = 0;
    // When valid, the preview's first stored corner is a block of this colour, so that a
    // preview's turn shows (the raw picture has red in that corner).
    QColor previewMarkColor;
    // The TIFF header's 42 replaced by 43: dcraw reads such a file all the same, metadata
    // libraries refuse it.
    bool oddMagic = false;
    // The raw picture as a JPEG-compressed linear DNG (DNG 1.4's lossy kind): RGB, not a mosaic.
    bool lossy = false;
};

// Writes a DNG file at path; false when the options are out of range or the file cannot be
// written.
bool writeDng(const QString &path, const DngOptions &options = DngOptions());

#endif
