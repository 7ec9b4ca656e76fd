// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostilecorpus.h"

#include "dngwriter.h"
#include "newformats.h"
#include "processes.h"
#include "tiffwriter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using Group = HostileFile::Group;
using Outcome = HostileFile::Outcome;

namespace {

const QSize kPictureSize(120, 90);
constexpr int kRandomBytes = 4096;
constexpr quint32 kAbsurdSide = 100000;
// JPEG and GIF store sides in 16 bits.
constexpr quint16 kAbsurd16BitSide = 65500;
constexpr qint64 kFifoRetryMs = 100;

// A picture with detail, so that its files are long enough to cut in several places.
QImage detailedPicture()
{
    QImage image(kPictureSize, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 2, y * 2, int(noise.bounded(256))));
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, format) ? data : QByteArray();
}

// The content of a file that write makes at the path it is given.
QByteArray madeBy(const std::function<bool(const QString &)> &write)
{
    const QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("file"));
    QFile file(path);
    return scratch.isValid() && write(path) && file.open(QIODevice::ReadOnly) ? file.readAll()
                                                                              : QByteArray();
}

void appendLe16(QByteArray &out, quint16 v)
{
    out.append(2, '\0');
    qToLittleEndian(v, out.data() + out.size() - 2);
}

void appendLe32(QByteArray &out, quint32 v)
{
    out.append(4, '\0');
    qToLittleEndian(v, out.data() + out.size() - 4);
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid PNG whose header claims width by height pixels.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray png = encoded(QImage(8, 8, QImage::Format_RGB32), "PNG");
    // The IHDR chunk follows the 8-byte signature: length, type, width, height, ..., CRC.
    constexpr int kIhdrType = 12;
    constexpr int kIhdrData = 16;
    constexpr int kIhdrLength = 13;
    qToBigEndian(width, png.data() + kIhdrData);
    qToBigEndian(height, png.data() + kIhdrData + 4);
    qToBigEndian(crc32(png.mid(kIhdrType, 4 + kIhdrLength)), png.data() + kIhdrData + kIhdrLength);
    return png;
}

// A valid JPEG whose frame header claims side by side pixels.
QByteArray jpegClaiming(quint16 side)
{
    QByteArray jpeg = encoded(QImage(8, 8, QImage::Format_RGB32), "JPG");
    const int frame = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    if (frame < 0)
        return QByteArray();
    // Marker, length, precision, then height and width.
    qToBigEndian(side, jpeg.data() + frame + 5);
    qToBigEndian(side, jpeg.data() + frame + 7);
    return jpeg;
}

QByteArray bmpClaiming(quint32 side)
{
    constexpr quint32 kHeaders = 54;
    constexpr int kPixelBytes = 16;
    QByteArray bmp("BM");
    appendLe32(bmp, kHeaders + kPixelBytes); // file size
    appendLe32(bmp, 0);
    appendLe32(bmp, kHeaders); // where the pixels start
    appendLe32(bmp, 40);       // size of the information header
    appendLe32(bmp, side);
    appendLe32(bmp, side);
    appendLe16(bmp, 1);  // planes
    appendLe16(bmp, 24); // bits per pixel
    for (int i = 0; i < 6; ++i)
        appendLe32(bmp, 0);
    return bmp + QByteArray(kPixelBytes, '\x40');
}

// A file's header patched: value, big- or little-endian, at each offset.
template <typename T>
QByteArray patched(QByteArray file, std::initializer_list<int> offsets, T value, bool big)
{
    for (const int at : offsets) {
        if (big)
            qToBigEndian(value, file.data() + at);
        else
            qToLittleEndian(value, file.data() + at);
    }
    return file;
}

// Two by two pixels whose only run, of 128 or 63 bytes, goes past the picture's end.
QByteArray overrunningPsd()
{
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0\0\1", 14);
    psd += QByteArray("\0\0\0\2\0\0\0\2\0\x08\0\1", 12);   // 2 × 2, 8 bits, grey
    psd += QByteArray(12, '\0');                           // no palette, resources, layers
    psd += QByteArray("\0\1\0\2\0\2\x81\x7f\x81\x7f", 10); // run-length rows of 2 bytes
    return psd;
}
QByteArray overrunningTga()
{
    QByteArray tga("\0\0\x0a", 3); // run-length true colour
    tga += QByteArray(9, '\0') + QByteArray("\2\0\2\0\x18\x20", 6) + "\xff\x40\x80\xc0";
    return tga;
}
QByteArray overrunningPcx()
{
    QByteArray pcx("\x0a\x05\x01\x08", 4); // version 5, run-length, 8 bits
    pcx += QByteArray("\0\0\0\0\1\0\1\0", 8) + QByteArray(53, '\0');
    pcx += QByteArray("\1\2\0", 3) + QByteArray(60, '\0'); // one plane of 2 bytes a row
    return pcx + "\xff\x80";
}

QByteArray gifClaiming(quint16 side)
{
    QByteArray gif("GIF89a");
    appendLe16(gif, side);
    appendLe16(gif, side);
    gif.append("\x80\x00\x00", 3);             // a global table of two colours
    gif.append("\x00\x00\x00\xff\xff\xff", 6); // black, white
    gif.append(',');                           // the picture's descriptor
    appendLe16(gif, 0);
    appendLe16(gif, 0);
    appendLe16(gif, side);
    appendLe16(gif, side);
    gif.append('\0');
    gif.append("\x02\x02\x44\x01\x00", 5); // a few LZW codes, then the end of the data
    gif.append(';');
    return gif;
}

// A HEIF file whose picture's spatial extent (ispe) claims side x side.
QByteArray heifClaiming(QByteArray heif, quint32 side)
{
    const int extent = heif.indexOf("ispe");
    if (extent < 0)
        return QByteArray();
    // Type, version and flags, then width and height.
    qToBigEndian(side, heif.data() + extent + 8);
    qToBigEndian(side, heif.data() + extent + 12);
    return heif;
}

// A bare JPEG XL codestream whose size header claims side x side, with default metadata and
// nothing after it.
QByteArray jxlClaiming(quint32 side)
{
    QByteArray jxl("\xff\x0a", 2);
    QList<bool> bits;
    // Not small; the height in 30 bits; no ratio, so the width follows, in 30 bits; all the
    // metadata default.
    const QList<QPair<quint32, int>> fields{{0, 1}, {3, 2},         {side - 1, 30}, {0, 3},
                                            {3, 2}, {side - 1, 30}, {1, 1}};
    for (const auto &[value, count] : fields)
        for (int i = 0; i < count; ++i)
            bits.append((value >> i) & 1);
    jxl.append(QByteArray(16, '\0'));
    for (int i = 0; i < bits.size(); ++i)
        jxl[2 + i / 8] = char(jxl.at(2 + i / 8) | (bits.at(i) << (i % 8)));
    return jxl;
}

// A JPEG 2000 codestream whose size (SIZ: the picture's and its one tile's) claims side x side.
QByteArray j2kClaiming(QByteArray j2k, quint32 side)
{
    // After SOC, SIZ's marker, length and capabilities; then Xsiz, Ysiz, their offsets, XTsiz and
    // YTsiz.
    for (const int at : {8, 12, 24, 28})
        if (j2k.size() > at + 4)
            qToBigEndian(side, j2k.data() + at);
    return j2k;
}

// An OpenEXR file whose display and data windows (box2i attributes) claim side x side.
QByteArray exrClaiming(QByteArray exr, qint32 side)
{
    for (const QByteArray &name : {QByteArray("displayWindow"), QByteArray("dataWindow")}) {
        // The name and type, each ended by a zero, the size, then the least and the greatest
        // corner.
        const QByteArray attribute = name + '\0' + "box2i" + '\0';
        const qsizetype at = exr.indexOf(attribute);
        if (at < 0 || exr.size() < at + attribute.size() + 20)
            return QByteArray();
        for (const int corner : {12, 16})
            qToLittleEndian(side - 1, exr.data() + at + attribute.size() + corner);
    }
    return exr;
}

QByteArray randomBytes(quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray data(kRandomBytes, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32 *>(data.data()), kRandomBytes / 4);
    return data;
}

QByteArray checksum(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QByteArrayLiteral("unreadable");
    QCryptographicHash hash(QCryptographicHash::Sha1);
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        hash.addData(QByteArrayView(buffer, n));
    ::close(fd);
    return n < 0 ? QByteArrayLiteral("unreadable") : hash.result().toHex();
}

QByteArray fingerprint(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return QByteArrayLiteral("missing");
    const QByteArray common = QByteArray::number(st.st_mode, 8) + ' ' +
                              QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' +
                              QByteArray::number(qint64(st.st_mtim.tv_nsec));
    if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);
        return "link " + QByteArray(target, int(qMax<ssize_t>(n, 0)));
    }
    if (S_ISREG(st.st_mode))
        return "file " + common + ' ' + QByteArray::number(qint64(st.st_size)) + ' ' +
               checksum(path);
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "device " + common + ' ' + QByteArray::number(major(st.st_rdev)) + ',' +
               QByteArray::number(minor(st.st_rdev));
    return (S_ISDIR(st.st_mode) ? "folder " : "other ") + common;
}

std::atomic<int> sizeLimitHits{0};

extern "C" void countSizeLimitHit(int)
{
    sizeLimitHits.fetch_add(1);
}

qint64 statusKilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

HostileCorpus::HostileCorpus(const QString &directory, const QString &damagedRawDir)
    : dir(QDir(directory).absolutePath()), nativeDir(QFile::encodeName(dir))
{
    const QSize previewSize(DngOptions().previewWidth, DngOptions().previewHeight);
    const QSize rawSize(DngOptions().width, DngOptions().height);
    const QImage picture = detailedPicture();
    const QByteArray dng = madeBy([](const QString &path) { return writeDng(path); });
    const QByteArray heic =
        madeBy([&picture](const QString &path) { return writeHeif(path, picture); });
    const QByteArray avif = madeBy([&picture](const QString &path) {
        HeifOptions options;
        options.avif = true;
        return writeHeif(path, picture, options);
    });
    const QByteArray cmyk = madeBy([](const QString &path) {
        return writeProfiled(QStringLiteral("jpg:") + path,
                             {"-size", "120x90", "gradient:cyan-yellow", "-colorspace", "CMYK"},
                             tableProfile(4));
    });
    const QByteArray jxl =
        madeBy([&picture](const QString &path) { return writeJxl(path, picture); });
    const auto magick = [&picture](const char *prefix, const QStringList &options) {
        return madeBy([&](const QString &path) {
            return writeWithMagick(QLatin1String(prefix) + path, picture, options);
        });
    };
    const QByteArray psd = magick("PSD:", {});
    const QByteArray tga = magick("TGA:", {"-compress", "RLE"});
    const QByteArray pcx = magick("PCX:", {});
    const QByteArray exr = madeBy([&picture](const QString &path) {
        return writeExr(path, picture.convertToFormat(QImage::Format_RGBX32FPx4));
    });
    // OpenJPEG's tool knows the kind to write by the name's suffix.
    const auto jpeg2000 = [&picture](const char *suffix) {
        return madeBy([&](const QString &path) {
            return writeJp2(path + suffix, picture) && QFile::rename(path + suffix, path);
        });
    };

    // Every kind the viewer lists, and a few camera kinds.
    QStringList kinds{QStringLiteral("jpg"),  QStringLiteral("png"),  QStringLiteral("tif"),
                            QStringLiteral("bmp"),  QStringLiteral("gif"),  QStringLiteral("cr2"),
                            QStringLiteral("nef"),  QStringLiteral("dng"),  QStringLiteral("arw"),
                            QStringLiteral("heic"), QStringLiteral("avif"), QStringLiteral("jxl"),
                            QStringLiteral("psd"),  QStringLiteral("tga"),  QStringLiteral("pcx")};
    kinds << QStringLiteral("jp2");
    kinds << QStringLiteral("exr");
    for (int i = 0; i < kinds.size(); ++i) {
        const QString &kind = kinds.at(i);
        add({QStringLiteral("zero bytes named .") + kind,
             {},
             "empty." + kind.toLatin1(),
             Group::Empty,
             Outcome::Null,
             {},
             {}},
            QByteArray());
        add({QStringLiteral("random bytes named .") + kind,
             {},
             "random." + kind.toLatin1(),
             Group::Random,
             Outcome::Null,
             {},
             {}},
            randomBytes(quint32(1000 + i)));
    }

    struct Whole
    {
        const char *format;
        const char *extension;
        QByteArray data;
        QSize thumbnailSize;
        QSize fullSize;
    };
    const QList<Whole> wholes{
        {"JPEG", "jpg", encoded(picture, "JPG"), kPictureSize, kPictureSize},
        {"PNG", "png", encoded(picture, "PNG"), kPictureSize, kPictureSize},
        {"TIFF", "tif", encoded(picture, "TIFF"), kPictureSize, kPictureSize},
        {"DNG", "dng", dng, previewSize, rawSize},
        {"HEIC", "heic", heic, kPictureSize, kPictureSize},
        {"AVIF", "avif", avif, kPictureSize, kPictureSize},
        {"JXL", "jxl", jxl, kPictureSize, kPictureSize},
        {"JPEG 2000", "jp2", jpeg2000(".jp2"), kPictureSize, kPictureSize},
        {"OpenEXR", "exr", exr, kPictureSize, kPictureSize},
        {"CMYK JPEG", "jpg", cmyk, kPictureSize, kPictureSize},
        {"PSD", "psd", psd, kPictureSize, kPictureSize},
        {"TGA", "tga", tga, kPictureSize, kPictureSize},
        {"PCX", "pcx", pcx, kPictureSize, kPictureSize},
    };
    for (const Whole &whole : wholes) {
        if (whole.data.isEmpty()) {
            problem = QStringLiteral("cannot encode a %1 picture").arg(whole.format);
            return;
        }
        const QList<int> lengths{8, int(whole.data.size() / 3), int(whole.data.size() * 2 / 3),
                                 int(whole.data.size() - 1)};
        for (const int length : lengths) {
            add({QStringLiteral("%1 cut at %2 of %3 bytes")
                     .arg(whole.format)
                     .arg(length)
                     .arg(whole.data.size()),
                 {},
                 QByteArray("cut-") + QByteArray(whole.format).replace(' ', '-') + '-' +
                     QByteArray::number(length) + '.' + whole.extension,
                 Group::Cut,
                 Outcome::NullOrPicture,
                 whole.thumbnailSize,
                 whole.fullSize},
                whole.data.left(length));
        }
    }

    // The new formats once more, with a byte in every ninth of the file turned over.
    for (const Whole &whole : wholes.mid(4)) {
        QByteArray flipped = whole.data;
        for (int i = 1; i < 9; ++i)
            flipped[flipped.size() * i / 9] = char(flipped.at(flipped.size() * i / 9) ^ 0x5a);
        add({QStringLiteral("%1 with bytes turned over").arg(whole.format),
             {},
             QByteArray("flipped.") + whole.extension,
             Group::Damaged,
             Outcome::NullOrPicture,
             whole.thumbnailSize,
             whole.fullSize},
            flipped);
    }

    const QDir damaged(damagedRawDir);
    if (!damagedRawDir.isEmpty() && damaged.exists()) {
        for (const QString &name : damaged.entryList(QDir::Files, QDir::Name)) {
            QFile in(damaged.filePath(name));
            if (!in.open(QIODevice::ReadOnly)) {
                problem = QStringLiteral("cannot read ") + in.fileName();
                return;
            }
            add({QStringLiteral("damaged camera file ") + name,
                 {},
                 QFile::encodeName(name),
                 Group::Damaged,
                 Outcome::Null,
                 {},
                 {}},
                in.readAll());
        }
    }

    const QString absurd = QStringLiteral(" header claiming %1 x %1 pixels");
    add({QStringLiteral("PNG") + absurd.arg(kAbsurdSide),
         {},
         "absurd.png",
         Group::Absurd,
         Outcome::Null,
         {},
         {}},
        pngClaiming(kAbsurdSide, kAbsurdSide));
    add({QStringLiteral("TIFF") + absurd.arg(kAbsurdSide),
         {},
         "absurd.tif",
         Group::Absurd,
         Outcome::Null,
         {},
         {}},
        madeBy([](const QString &path) {
            return writePlainTiff(path, kAbsurdSide, kAbsurdSide, Qt::gray);
        }));
    add({QStringLiteral("BMP") + absurd.arg(kAbsurdSide),
         {},
         "absurd.bmp",
         Group::Absurd,
         Outcome::Null,
         {},
         {}},
        bmpClaiming(kAbsurdSide));
    add({QStringLiteral("JPEG") + absurd.arg(kAbsurd16BitSide),
         {},
         "absurd.jpg",
         Group::Absurd,
         Outcome::Null,
         {},
         {}},
        jpegClaiming(kAbsurd16BitSide));
    add({QStringLiteral("GIF") + absurd.arg(kAbsurd16BitSide),
         {},
         "absurd.gif",
         Group::Absurd,
         Outcome::Null,
         {},
         {}},
        gifClaiming(kAbsurd16BitSide));
    add({QStringLiteral("PPM") + absurd.arg(kAbsurdSide),
         {},
         "absurd.ppm",
         Group::Absurd,
         Outcome::Null,
         {},
         {}},
        QByteArray("P6\n") + QByteArray::number(kAbsurdSide) + ' ' +
            QByteArray::number(kAbsurdSide) + "\n255\n" + QByteArray(64, '\x7f'));

    const QList<QPair<QByteArray, QByteArray>> claiming{{"heic", heifClaiming(heic, kAbsurdSide)},
                                                        {"avif", heifClaiming(avif, kAbsurdSide)},
                                                        {"jxl", jxlClaiming(kAbsurdSide)},
                                                        {"j2k", j2kClaiming(jpeg2000(".j2k"), kAbsurdSide)},
                                                        {"exr", exrClaiming(exr, kAbsurdSide)}};
    // The older formats: sizes beyond every limit over a few bytes, and runs past the end of a
    // row or of the picture, which a reader must cut or refuse.
    const QList<QPair<QByteArray, QByteArray>> older{
        {"psd", patched<quint32>(psd, {14, 18}, 30000, true)},
        {"tga", patched<quint16>(tga, {12, 14}, 65535, false)},
        {"pcx",
         patched<quint16>(patched<quint16>(pcx, {8, 10}, 65534, false), {66}, 65535, false)}};
    for (const auto &[extension, data] : older)
        add({QString::fromLatin1(extension.toUpper()) +
                 QStringLiteral(" header claiming 65535 x 65535 pixels or more"),
             {},
             "absurd." + extension,
             Group::Absurd,
             Outcome::Null,
             {},
             {}},
            data);
    add({QStringLiteral("PSD whose run of 128 bytes fills a row of 2"),
         {},
         "overrun.psd",
         Group::Damaged,
         Outcome::Null,
         {},
         {}},
        overrunningPsd());
    for (const auto &[extension, data] : {qMakePair(QByteArray("tga"), overrunningTga()),
                                          qMakePair(QByteArray("pcx"), overrunningPcx())})
        add({QString::fromLatin1(extension.toUpper()) +
                 QStringLiteral(" whose last run goes past the picture"),
             {},
             "overrun." + extension,
             Group::Damaged,
             Outcome::Picture,
             QSize(2, 2),
             QSize(2, 2)},
            data);
    for (const auto &[extension, data] : claiming)
        add({QString::fromLatin1(extension.toUpper()) + absurd.arg(kAbsurdSide),
             {},
             "absurd." + extension,
             Group::Absurd,
             Outcome::Null,
             {},
             {}},
            data);

    addSpecial({QStringLiteral("folder named like a JPEG"),
                {},
                "folder.jpg",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("folder named like a camera file"),
                {},
                "folder.nef",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("symbolic link loop named like a PNG"),
                {},
                "loop.png",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("symbolic link loop named like a camera file"),
                {},
                "loop.cr2",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("FIFO named like a JPEG"),
                {},
                "fifo.jpg",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("FIFO named like a camera file"),
                {},
                "fifo.nef",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("link to /dev/zero named like a JPEG"),
                {},
                "zero.jpg",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    addSpecial({QStringLiteral("link to /dev/zero named like a camera file"),
                {},
                "zero.dng",
                Group::Special,
                Outcome::Null,
                {},
                {}});
    // Only root may make device nodes.
    if (::geteuid() == 0) {
        addSpecial({QStringLiteral("device node named like a GIF"),
                    {},
                    "device.gif",
                    Group::Special,
                    Outcome::Null,
                    {},
                    {}});
        addSpecial({QStringLiteral("device node named like a camera file"),
                    {},
                    "device.arw",
                    Group::Special,
                    Outcome::Null,
                    {},
                    {}});
    }
    // Root reads a file whatever its permissions say; the result is then the picture.
    add({QStringLiteral("PNG without read permission"),
         {},
         "locked.png",
         Group::Special,
         Outcome::Picture,
         kPictureSize,
         kPictureSize},
        encoded(picture, "PNG"));
    add({QStringLiteral("camera file without read permission"),
         {},
         "locked.dng",
         Group::Special,
         Outcome::Picture,
         previewSize,
         rawSize},
        dng);

    struct Named
    {
        const char *what;
        QByteArray name;
    };
    const QList<Named> names{
        {"blanks", "  summer  trip 01 .png"},
        {"quotes", "it's a \"quoted\" name.jpg"},
        {"a command substitution", "$(touch pwned-png).png"},
        {"backquotes and a semicolon", "`touch pwned-tif`; touch pwned-tif2.tif"},
        {"a newline", "new\nline.png"},
        {"bytes that are not UTF-8", "not-utf8-\xff\xfe.png"},
        {"markup that fetches a picture", "<img src=pwned.png><b>bold.png"},
        {"blanks and quotes", "  my 'raw' \"file\" .dng"},
        {"a command substitution", "$(touch pwned-nef).nef"},
        {"backquotes and a semicolon", "`touch pwned-cr2`; touch pwned-cr2b.cr2"},
        {"a newline", "new\nline.arw"},
        {"bytes that are not UTF-8", "not-utf8-\xff\xfe.dng"},
    };
    for (const Named &named : names) {
        const QByteArray extension = named.name.mid(named.name.lastIndexOf('.') + 1);
        const bool raw =
            extension == "dng" || extension == "nef" || extension == "cr2" || extension == "arw";
        const QByteArray data = raw                  ? dng
                                : extension == "jpg" ? encoded(picture, "JPG")
                                : extension == "tif" ? encoded(picture, "TIFF")
                                                     : encoded(picture, "PNG");
        add({QStringLiteral("%1 named with %2").arg(raw ? "camera file" : "picture", named.what),
             {},
             named.name,
             Group::Name,
             Outcome::Picture,
             raw ? previewSize : kPictureSize,
             raw ? rawSize : kPictureSize},
            data);
    }
    const QString markup = QStringLiteral("random bytes named with markup that fetches a picture");
    add({markup, {}, "<img src=\"data:;base64,AAAA\"><i>x.png", Group::Name, Outcome::Null, {}, {}},
        "?");
}

HostileCorpus::~HostileCorpus()
{
    // Removed here because Qt cannot remove what it cannot name: a name that is not UTF-8.
    for (const HostileFile &file : made) {
        const QByteArray path = nativeDir + '/' + file.bytes;
        if (::unlink(path.constData()) != 0)
            ::rmdir(path.constData());
    }
}

QList<HostileFile> HostileCorpus::files(HostileFile::Group group) const
{
    QList<HostileFile> found;
    for (const HostileFile &file : made) {
        if (file.group == group)
            found.append(file);
    }
    return found;
}

HostileFile HostileCorpus::file(const QString &name) const
{
    for (const HostileFile &file : made) {
        if (file.name == name)
            return file;
    }
    return {};
}

bool HostileCorpus::writeBytes(const QByteArray &name, const QByteArray &content)
{
    const QByteArray path = nativeDir + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    qsizetype written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + written, content.size() - written);
        if (n <= 0)
            break;
        written += n;
    }
    return ::close(fd) == 0 && written == content.size();
}

void HostileCorpus::add(HostileFile file, const QByteArray &content)
{
    if (!problem.isEmpty())
        return;
    if (!writeBytes(file.bytes, content)) {
        problem = QStringLiteral("cannot write ") + file.name;
        return;
    }
    const QByteArray path = nativeDir + '/' + file.bytes;
    if (file.bytes.startsWith("locked.") && ::chmod(path.constData(), 0) != 0) {
        problem = QStringLiteral("cannot lock ") + file.name;
        return;
    }
    file.path = QFile::decodeName(path);
    // A name that is not UTF-8 does not survive the trip through QString: what a caller can
    // hand over then names no file, and loading it must give nothing. Likewise a file that
    // this process may not read.
    if (::access(QFile::encodeName(file.path).constData(), R_OK) != 0)
        file.outcome = Outcome::Null;
    made.append(file);
}

void HostileCorpus::addSpecial(HostileFile file)
{
    if (!problem.isEmpty())
        return;
    const QByteArray path = nativeDir + '/' + file.bytes;
    bool ok = false;
    if (file.bytes.startsWith("folder."))
        ok = ::mkdir(path.constData(), 0755) == 0;
    else if (file.bytes.startsWith("loop."))
        ok = ::symlink(file.bytes.constData(), path.constData()) == 0;
    else if (file.bytes.startsWith("fifo."))
        ok = ::mkfifo(path.constData(), 0644) == 0;
    else if (file.bytes.startsWith("zero."))
        ok = ::symlink("/dev/zero", path.constData()) == 0;
    else if (file.bytes.startsWith("device."))
        ok = ::mknod(path.constData(), S_IFCHR | 0644, makedev(1, 5)) == 0; // as /dev/zero
    if (!ok) {
        problem = QStringLiteral("cannot make ") + file.name;
        return;
    }
    file.path = QFile::decodeName(path);
    made.append(file);
}

QMap<QByteArray, QByteArray> HostileCorpus::snapshot() const
{
    QMap<QByteArray, QByteArray> entries;
    DIR *listing = ::opendir(nativeDir.constData());
    if (!listing)
        return entries;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            entries.insert(name, fingerprint(nativeDir + '/' + name));
    }
    ::closedir(listing);
    return entries;
}

void releaseFifoReaders(const QString &directory)
{
    const QByteArray native = QFile::encodeName(directory);
    DIR *listing = ::opendir(native.constData());
    if (!listing)
        return;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray path = native + '/' + entry->d_name;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0 || !S_ISFIFO(st.st_mode))
            continue;
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }
    ::closedir(listing);
}

QString checkOutcome(const HostileFile &file, const QImage &image, bool thumbnail,
                     const QSize &bound)
{
    const auto fitted = [&bound](const QSize &size) {
        return bound.isValid() ? size.scaled(bound, Qt::KeepAspectRatio) : size;
    };
    const auto sizeText = [](const QSize &size) {
        return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
    };
    const QSize wanted = fitted(thumbnail ? file.thumbnailSize : file.fullSize);
    switch (file.outcome) {
    case Outcome::Null:
        if (!image.isNull())
            return QStringLiteral("expected no picture, got ") + sizeText(image.size());
        break;
    case Outcome::Picture:
        if (image.size() != wanted)
            return QStringLiteral("expected a picture of %1, got %2")
                .arg(sizeText(wanted),
                     image.isNull() ? QStringLiteral("none") : sizeText(image.size()));
        break;
    case Outcome::NullOrPicture:
        if (!image.isNull() && image.size() != fitted(file.thumbnailSize) &&
            image.size() != fitted(file.fullSize))
            return QStringLiteral("a damaged picture gave an unexpected size ") +
                   sizeText(image.size());
        break;
    }
    return QString();
}

FifoWatchdog::FifoWatchdog(const QString &directory, int timeoutMs)
{
    watcher = std::thread([this, directory, timeoutMs] {
        std::unique_lock<std::mutex> lock(mutex);
        if (done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return cancelled; }))
            return;
        didFire = true;
        // A reader may reach its open() only later; keep letting readers through.
        do {
            releaseFifoReaders(directory);
        } while (!done.wait_for(lock, std::chrono::milliseconds(kFifoRetryMs),
                                [this] { return cancelled; }));
    });
}

FifoWatchdog::~FifoWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
    }
    done.notify_all();
    watcher.join();
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    rlimit old;
    if (::getrlimit(RLIMIT_FSIZE, &old) != 0)
        return;
    oldSoft = qint64(old.rlim_cur);
    oldHard = qint64(old.rlim_max);
    struct sigaction action = {};
    action.sa_handler = countSizeLimitHit;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
    sizeLimitHits = 0;
    rlimit limit{rlim_t(bytes), old.rlim_max};
    active = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (active) {
        rlimit old{rlim_t(oldSoft), rlim_t(oldHard)};
        ::setrlimit(RLIMIT_FSIZE, &old);
    }
    ::signal(SIGXFSZ, SIG_DFL);
}

int FileSizeLimit::hits() const
{
    return active ? sizeLimitHits.load() : -1;
}

QString leftBehind(const QString &privateTempDir)
{
    const QStringList files =
        QDir(privateTempDir)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (!files.isEmpty())
        return QStringLiteral("temporary files: ") + files.join(QLatin1Char(' '));
    if (!privateTempDir.isEmpty() && !processesMentioning(privateTempDir).isEmpty())
        return QStringLiteral("a decoder is still running");
    if (!childProcesses().isEmpty())
        return QStringLiteral("a child process is left");
    return QString();
}

qint64 residentKilobytes()
{
    return statusKilobytes("VmRSS");
}

qint64 peakResidentKilobytes()
{
    return statusKilobytes("VmHWM");
}

bool resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}
