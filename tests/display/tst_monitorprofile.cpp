// SPDX-License-Identifier: GPL-3.0-or-later
#include "colourtransform.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "monitorprofile.h"

#include <QGuiApplication>
#include <QtTest>

#include <lcms2.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

QByteArray saved(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// A monitor of Adobe RGB (1998)'s primaries and tone curve, or a scanner of them, whose profile
// is no monitor's.
QByteArray monitorProfile(bool scanner)
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve *curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    if (scanner)
        cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsFreeToneCurve(curve);
    return saved(profile);
}

// colour, in sRGB, as LittleCMS turns it into the colours of profile.
QColor onMonitor(const QByteArray &profile, const QColor &colour)
{
    cmsHPROFILE sRgb = cmsCreate_sRGBProfile();
    cmsHPROFILE monitor = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHTRANSFORM transform =
        cmsCreateTransform(sRgb, TYPE_RGB_8, monitor, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const quint8 in[3] = {quint8(colour.red()), quint8(colour.green()), quint8(colour.blue())};
    quint8 out[3] = {};
    cmsDoTransform(transform, in, out, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(monitor);
    cmsCloseProfile(sRgb);
    return QColor(out[0], out[1], out[2]);
}

// Sets the root window's property as a colour-management daemon does; empty bytes remove it.
void publishProfile(const QByteArray &bytes)
{
    xcb_connection_t *connection =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, 12, "_ICC_PROFILE"), nullptr);
    if (bytes.isEmpty())
        xcb_delete_property(connection, root, atom->atom);
    else
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, root, atom->atom,
                            XCB_ATOM_CARDINAL, 8, quint32(bytes.size()), bytes.constData());
    std::free(atom);
    xcb_flush(connection);
}

} // namespace

class MonitorProfileTest : public QObject
{
    Q_OBJECT

private slots:
    void paneShowsTheMonitorsColours_data();
    void paneShowsTheMonitorsColours();
};

void MonitorProfileTest::paneShowsTheMonitorsColours_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<bool>("managed");
    const QByteArray adobe = monitorProfile(false);
    // In this order, each from the state the one before left.
    QTest::newRow("an Adobe RGB profile set while running: sRGB red as that monitor's red") << adobe << true;
    QTest::newRow("the profile removed: the file's values") << QByteArray() << false;
    QTest::newRow("the profile set again after its removal") << adobe << true;
    QTest::newRow("a scanner's profile is no monitor's: the file's values")
        << monitorProfile(true) << false;
    QTest::newRow("bytes that are no profile: the file's values")
        << QByteArray(4096, '\x7f') << false;
}

void MonitorProfileTest::paneShowsTheMonitorsColours()
{
    QFETCH(QByteArray, profile);
    QFETCH(bool, managed);
    // Wired as the window wires them.
    MonitorProfile monitor;
    ImageScroll scroll;
    auto *label = new ImageLabel;
    scroll.setWidget(label);
    label->setScrollArea(&scroll);
    connect(&monitor, &MonitorProfile::changed, label, [label](const QByteArray &bytes) {
        ColourTransform::setMonitor(bytes);
        label->update();
    });
    scroll.resize(300, 200);
    scroll.show();
    QVERIFY(QTest::qWaitForWindowExposed(&scroll));
    monitor.follow(&scroll);
    ColourTransform::setMonitor(monitor.profile());
    QImage red(100, 60, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    label->setImage(red);
    label->setFitMode(false);

    publishProfile(profile);
    const QColor wanted = managed ? onMonitor(profile, Qt::red) : QColor(Qt::red);
    const auto shown = [label] { return label->grab().toImage().pixelColor(label->rect().center()); };
    const auto near = [](const QColor &a, const QColor &b) {
        return qAbs(a.red() - b.red()) <= 3 && qAbs(a.green() - b.green()) <= 3 &&
               qAbs(a.blue() - b.blue()) <= 3;
    };
    QTRY_VERIFY2(near(shown(), wanted), qPrintable(shown().name() + " for " + wanted.name()));
    // Reduced, from its smooth copy: the same colours.
    label->setFitMode(true);
    scroll.resize(60, 40);
    QTRY_VERIFY2(near(shown(), wanted), qPrintable(shown().name() + " for " + wanted.name()));
}

QTEST_MAIN(MonitorProfileTest)
#include "tst_monitorprofile.moc"
