// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTUREMETADATA_H
#define PICTUREMETADATA_H

#include <QDateTime>
#include <QString>

// What a picture file records about how it was taken, as plain values. A field the file does not
// record stays empty or zero.
struct PictureMetadata
{
    // The name of the embedded colour profile, as the profile itself gives it.
    QString colourProfile;
    QDateTime dateTaken;
    QString make;
    QString model;
    QString lens;
    double exposureTime = 0; // seconds
    double aperture = 0;     // the f-number
    int iso = 0;
    double focalLength = 0; // millimetres
    // How the flash behaved, in the metadata library's words ("Fired", "No flash", ...).
    QString flash;
    bool hasPosition = false;
    double latitude = 0;  // degrees, south negative
    double longitude = 0; // degrees, west negative
    // An OpenEXR file's data window, "(x0, y0) – (x1, y1)", and its channels with their types.
    QString dataWindow;
    QString channels;
    // A JPEG that carries an HDR gain map beside the SDR picture shown (gainmap.h).
    bool hdrGainMap = false;
};

#endif
