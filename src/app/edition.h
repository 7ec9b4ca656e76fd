// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef EDITION_H
#define EDITION_H

#include <QString>

// The upper-cased first line of velmora.properties in the working directory, or RAW
// when the file is missing or empty.
QString readEditionName();

#endif
