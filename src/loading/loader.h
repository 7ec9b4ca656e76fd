// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LOADER_H
#define LOADER_H

#include "appearance.h"
#include "picturemetadata.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

// Reads a picture; camera raw files go through dcraw. Null when nothing can be read. The picture
// comes turned as it was taken and in sRGB; one too large for the allocation limit comes reduced,
// with its size in the file as originalSize (reduction.h) gives it.
QImage loadImage(const QString &path, bool thumbnail);

// The same read for a caller that reduces the picture first: it lands in buffer, whose memory is
// reused when the picture before had the same size and format, and orientation says how it is
// still to be turned (finishPicture, after scaling; its colour space travels with it). False,
// with buffer unusable, when nothing can be read. A positive leastSide lets a reader that can
// reduce while decoding deliver the picture smaller, though never below leastSide pixels on its
// shorter side; other readers deliver it whole.
bool loadImage(const QString &path, bool thumbnail, QImage &buffer, Orientation &orientation,
               int leastSide = 0);

// Receives what the pane shows of a picture until its full view comes: the picture read smaller,
// turned and coloured as the full view, and the size (as shown) that the full view will have.
using StandInReady = std::function<void(const QImage &standIn, const QSize &fullSize)>;

// Reads the picture at path as loadImage(path, false) does. Where the format can deliver it
// smaller at little cost (JPEG by reducing while decoding, a HEIF file's stored thumbnail) and
// that still covers the picture's fitted rectangle in a box of cover (the pane's device pixels),
// that stand-in goes to standIn first; a picture that no smaller read serves is read once. An
// invalid cover reads the full view alone.
QImage loadImage(const QString &path, const QSize &cover, const StandInReady &standIn);

// What the file at path records about how it was taken (metadata.h), read by a decoder process;
// empty when it cannot be read. It may take a while, so not from the user-interface thread.
PictureMetadata loadMetadata(const QString &path);

// The colour profile (empty for none) and orientation that the headers of the JPEG, PNG or TIFF
// file at path record, as a decoder process reads them without decoding the picture
// (readHeaderColours, metadata.h); false when its headers cannot tell.
bool loadHeaderColours(const QString &path, QByteArray &profile, Orientation &orientation);

// The format of the picture file at path as Qt's readers find it by its name and content, such
// as "jpeg"; empty when none reads it.
QByteArray loadImageFormat(const QString &path);

// Lets Qt read pictures of at least 200 megapixels while still refusing absurd sizes.
void raiseAllocationLimit();

// The interpreter arguments that run dcraw with option ("-e" or "-T") on the file at path.
QStringList decoderArguments(const QString &option, const QString &path);

#endif
