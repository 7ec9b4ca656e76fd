// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourtransform.h"

#include <QMutex>

#include <lcms2.h>

#include <map>

namespace {

// Qt's 32-bit formats are words 0xAARRGGBB: in memory, byte by byte, as the machine orders them.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kPixels = TYPE_BGRA_8;
constexpr cmsUInt32Number kPremultipliedPixels = TYPE_BGRA_8_PREMUL;
#else
constexpr cmsUInt32Number kPixels = TYPE_ARGB_8;
constexpr cmsUInt32Number kPremultipliedPixels = TYPE_ARGB_8_PREMUL;
#endif
// Shared by the threads that draw: a transform without its cache of the last pixel may be used
// by several at once. Alpha goes through unchanged.
constexpr cmsUInt32Number kTransformFlags = cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA;
// The monitors of one desktop, and a profile or two that they had before.
constexpr size_t kMostCachedProfiles = 8;

struct Cache
{
    QMutex mutex;
    std::map<QByteArray, std::shared_ptr<const ColourTransform>> transforms;
    std::shared_ptr<const ColourTransform> monitor;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

// Whether profile describes a monitor's RGB colours: a printer's CMYK, a grey or an abstract
// profile would turn pictures into nonsense.
bool describesMonitor(cmsHPROFILE profile)
{
    const cmsProfileClassSignature kind = cmsGetDeviceClass(profile);
    return cmsGetColorSpace(profile) == cmsSigRgbData &&
           (kind == cmsSigDisplayClass || kind == cmsSigOutputClass);
}

} // namespace

ColourTransform::~ColourTransform()
{
    for (void *transform : {opaque, premultiplied}) {
        if (transform)
            cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
    }
}

std::shared_ptr<const ColourTransform> ColourTransform::forProfile(const QByteArray &profile)
{
    if (profile.isEmpty())
        return nullptr;
    QMutexLocker lock(&cache().mutex);
    auto &transforms = cache().transforms;
    const auto known = transforms.find(profile);
    if (known != transforms.end())
        return known->second;

    std::shared_ptr<ColourTransform> made;
    cmsHPROFILE monitor =
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    if (monitor && describesMonitor(monitor)) {
        cmsHPROFILE sRgb = cmsCreate_sRGBProfile();
        static quint64 lastId = 0;
        made.reset(new ColourTransform);
        made->id = ++lastId;
        made->opaque = cmsCreateTransform(sRgb, kPixels, monitor, kPixels, INTENT_PERCEPTUAL,
                                          kTransformFlags);
        made->premultiplied =
            cmsCreateTransform(sRgb, kPremultipliedPixels, monitor, kPremultipliedPixels,
                               INTENT_PERCEPTUAL, kTransformFlags);
        cmsCloseProfile(sRgb);
        if (!made->opaque || !made->premultiplied)
            made.reset();
    }
    if (monitor)
        cmsCloseProfile(monitor);
    // Unusable profiles are remembered too, so that each is parsed once.
    if (transforms.size() >= kMostCachedProfiles)
        transforms.erase(transforms.begin());
    transforms.emplace(profile, made);
    return made;
}

std::shared_ptr<const ColourTransform> ColourTransform::monitor()
{
    QMutexLocker lock(&cache().mutex);
    return cache().monitor;
}

void ColourTransform::setMonitor(const QByteArray &profile)
{
    std::shared_ptr<const ColourTransform> transform = forProfile(profile);
    QMutexLocker lock(&cache().mutex);
    cache().monitor = std::move(transform);
}

QImage ColourTransform::apply(const QImage &image) const
{
    if (image.isNull())
        return image;
    QImage source = image;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32 &&
        source.format() != QImage::Format_ARGB32_Premultiplied)
        source.convertTo(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                  : QImage::Format_RGB32);
    QImage converted(source.size(), source.format());
    if (converted.isNull())
        return QImage();
    const bool isPremultiplied = source.format() == QImage::Format_ARGB32_Premultiplied;
    cmsDoTransformLineStride(static_cast<cmsHTRANSFORM>(isPremultiplied ? premultiplied : opaque),
                             source.constBits(), converted.bits(),
                             cmsUInt32Number(source.width()), cmsUInt32Number(source.height()),
                             cmsUInt32Number(source.bytesPerLine()),
                             cmsUInt32Number(converted.bytesPerLine()), 0, 0);
    converted.setDevicePixelRatio(image.devicePixelRatio());
    return converted;
}

