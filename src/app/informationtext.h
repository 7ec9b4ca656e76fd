// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef INFORMATIONTEXT_H
#define INFORMATIONTEXT_H

#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

// The information dock's text for a picture: headed sections of labelled values, in the forms a
// photographer reads ("1/250 s", "f/2.8", "ISO 400", "50 mm"). Values the file lacks are left
// out, and a section left empty with them.

struct InformationSection
{
    QString title;
    QList<QPair<QString, QString>> rows;
};

// The sections for the file at path, shown at pictureSize: the file, the picture, the camera, the
// exposure and the position. Reads the file's metadata, so meant for a worker thread.
QList<InformationSection> pictureInformation(const QString &path, const QSize &pictureSize);

// The sections as HTML, for a label.
QString informationHtml(const QList<InformationSection> &sections);

#endif
