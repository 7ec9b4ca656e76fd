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

// A monitor of Adobe RGB (1998)'s primaries and tone curve, or a scanner of them, whose profile
// is no monitor's.
QByteArray adobeProfile(bool scanner = false)
{
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve *curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    if (scanner)
        cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

// sRGB red as LittleCMS turns it into the colours of profile.
QColor redOn(const QByteArray &profile)
{
    cmsHPROFILE sRgb = cmsCreate_sRGBProfile();
    cmsHPROFILE monitor = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHTRANSFORM transform =
        cmsCreateTransform(sRgb, TYPE_RGB_8, monitor, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const quint8 red[3] = {255, 0, 0};
    quint8 out[3] = {};
    cmsDoTransform(transform, red, out, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(monitor);
    cmsCloseProfile(sRgb);
    return QColor(out[0], out[1], out[2]);
}

// Sets the root window's property as a colour-management daemon does; empty bytes remove it.
void publishProfile(const QByteArray &bytes)
{
    xcb_connection_t *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x11)).data->root;
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(x11, xcb_intern_atom(x11, 0, 12, "_ICC_PROFILE"), nullptr);
    if (bytes.isEmpty())
        xcb_delete_property(x11, root, atom->atom);
    else
        xcb_change_property(x11, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8,
                            quint32(bytes.size()), bytes.constData());
    std::free(atom);
    xcb_flush(x11);
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
    // In this order, each from the property the one before left.
    QTest::newRow("an Adobe RGB profile set while running: sRGB red as that monitor's red")
        << adobeProfile() << true;
    QTest::newRow("the profile removed: the file's values") << QByteArray() << false;
    QTest::newRow("a scanner's profile is no monitor's: the file's values")
        << adobeProfile(true) << false;
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
    red.fill(Qt::red);
    label->setImage(red);
    label->setFitMode(false);

    publishProfile(profile);
    const QColor wanted = managed ? redOn(profile) : QColor(Qt::red);
    const auto near = [label, wanted] {
        const QColor shown = label->grab().toImage().pixelColor(label->rect().center());
        return qAbs(shown.red() - wanted.red()) <= 3 && shown.green() <= 3 && shown.blue() <= 3;
    };
    QTRY_VERIFY(near());
    // Reduced, from its smooth copy: the same colours.
    label->setFitMode(true);
    scroll.resize(60, 40);
    QTRY_VERIFY(near());
}

QTEST_MAIN(MonitorProfileTest)
#include "tst_monitorprofile.moc"
