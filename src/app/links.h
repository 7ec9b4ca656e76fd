// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LINKS_H
#define LINKS_H

#include <QString>

// The maker's addresses. The converter's download host carries the edition between the two
// pieces, so that each edition has a download page of its own.
inline constexpr char kMakerAddress[] = "http://www.velmora.example";
inline constexpr char kConverterHostBegin[] = "http://www.";
inline constexpr char kConverterHostEnd[] = "converter.velmora.example";
inline constexpr char kConverterPath[] = "/download.php?fromviewer=1";

// The converter's download page for an edition, as in "http://www.rawconverter...". An edition
// holding a character that would end the host name or leave it (/ \ ? # @ : %, a control
// character) gets the default edition's page; others, spaces too, enter as they are.
QString converterAddress(const QString &edition);

#endif
