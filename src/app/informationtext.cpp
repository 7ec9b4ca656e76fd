// SPDX-License-Identifier: GPL-3.0-or-later
#include "informationtext.h"
#include "formats.h"
#include "loader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace {

constexpr double kLongestFraction = 0.25;
constexpr double kFractionTolerance = 0.1;

const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString tr(const char *text)
{
    return QCoreApplication::translate("Information", text);
}

// One decimal, none when it is zero: "2.8", "11".
QString shortNumber(double value)
{
    return QLocale::c().toString(value, 'f', std::abs(value - std::round(value)) < 0.05 ? 0 : 1);
}

QString formatName(const QString &path)
{
    if (isRawFile(path))
        return tr("Camera raw (%1)").arg(QFileInfo(path).suffix().toUpper());
    // The decoder names a format by its reader's key, a HEIF file by its brands; JPEG XL's key
    // is its suffix, not its name.
    const QByteArray format = loadImageFormat(path);
    return format == "jxl" ? tr("JPEG XL") : QString::fromLatin1(format.toUpper());
}

// The model alone when it already names the maker, as most cameras' do.
QString cameraName(const QString &make, const QString &model)
{
    if (model.startsWith(make, Qt::CaseInsensitive))
        return model;
    return model.isEmpty() ? make : make + QLatin1Char(' ') + model;
}

void add(InformationSection &section, const QString &label, const QString &value)
{
    if (!value.isEmpty())
        section.rows.append({label, value});
}

QString exposureText(double seconds)
{
    if (seconds <= 0)
        return QString();
    // Cameras give short times as fractions of a second, 1/250 rather than 0.004, and longer ones
    // as fractions too where they are (1/2), but as decimals where not (0.6).
    const double inverse = 1 / seconds;
    if (seconds < kLongestFraction ||
        (seconds < 1 && std::abs(inverse - std::round(inverse)) < kFractionTolerance))
        return QStringLiteral("1/%1 s").arg(std::lround(inverse));
    return shortNumber(seconds) + QStringLiteral(" s");
}

QString apertureText(double fNumber)
{
    return fNumber > 0 ? QStringLiteral("f/") + shortNumber(fNumber) : QString();
}

QString focalLengthText(double millimetres)
{
    return millimetres > 0 ? shortNumber(millimetres) + QStringLiteral(" mm") : QString();
}

QString positionText(double latitude, double longitude)
{
    const QLocale c = QLocale::c();
    return QStringLiteral("%1° %2, %3° %4")
        .arg(c.toString(std::abs(latitude), 'f', 5), latitude < 0 ? tr("S") : tr("N"),
             c.toString(std::abs(longitude), 'f', 5), longitude < 0 ? tr("W") : tr("E"));
}

} // namespace

QList<InformationSection> pictureInformation(const QString &path, const QSize &pictureSize)
{
    const PictureMetadata m = loadMetadata(path);
    const QFileInfo info(path);
    InformationSection file{tr("File"), {}};
    add(file, tr("Name"), info.fileName());
    add(file, tr("Folder"), QDir::toNativeSeparators(info.absolutePath()));
    add(file, tr("Size on disk"),
        QLocale::c().formattedDataSize(info.size(), 1, QLocale::DataSizeSIFormat));
    add(file, tr("Modified"), info.lastModified().toString(kDateFormat));

    InformationSection picture{tr("Picture"), {}};
    if (!pictureSize.isEmpty())
        add(picture, tr("Size"),
            QStringLiteral("%1 × %2").arg(pictureSize.width()).arg(pictureSize.height()));
    add(picture, tr("Format"), formatName(path));
    add(picture, tr("Colour profile"), m.colourProfile);
    add(picture, tr("Data window"), m.dataWindow);
    add(picture, tr("Channels"), m.channels);
    add(picture, tr("Dynamic range"), m.hdrGainMap ? tr("HDR gain map") : QString());

    InformationSection camera{tr("Camera"), {}};
    add(camera, tr("Taken"), m.dateTaken.toString(kDateFormat));
    add(camera, tr("Camera"), cameraName(m.make, m.model));
    add(camera, tr("Lens"), m.lens);

    InformationSection exposure{tr("Exposure"), {}};
    add(exposure, tr("Time"), exposureText(m.exposureTime));
    add(exposure, tr("Aperture"), apertureText(m.aperture));
    add(exposure, tr("ISO"), m.iso > 0 ? QStringLiteral("ISO %1").arg(m.iso) : QString());
    add(exposure, tr("Focal length"), focalLengthText(m.focalLength));
    add(exposure, tr("Flash"), m.flash);

    InformationSection position{tr("Position"), {}};
    if (m.hasPosition)
        add(position, tr("GPS"), positionText(m.latitude, m.longitude));

    QList<InformationSection> sections;
    for (const InformationSection &section : {file, picture, camera, exposure, position}) {
        if (!section.rows.isEmpty())
            sections.append(section);
    }
    return sections;
}

QString informationHtml(const QList<InformationSection> &sections)
{
    QString html;
    for (const InformationSection &section : sections) {
        html += QStringLiteral("<p><b>%1</b></p><table>").arg(section.title.toHtmlEscaped());
        for (const auto &[label, value] : section.rows)
            html += QStringLiteral("<tr><td>%1&nbsp;&nbsp;</td><td>%2</td></tr>")
                        .arg(label.toHtmlEscaped(), value.toHtmlEscaped());
        html += QStringLiteral("</table>");
    }
    return html;
}
