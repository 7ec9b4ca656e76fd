// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitorprofile.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Far beyond a monitor's profile, even one of tables: the property is anyone's to set.
constexpr quint32 kMostProfileBytes = 8 << 20;

xcb_connection_t *x11Connection()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                              : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t *connection)
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// The n-th monitor's property, as colour-management daemons name it; 0 when the server does not
// answer.
xcb_atom_t profileAtom(xcb_connection_t *connection, int monitor)
{
    const QByteArray name = monitor == 0 ? QByteArrayLiteral("_ICC_PROFILE")
                                         : "_ICC_PROFILE_" + QByteArray::number(monitor);
    // Made when missing, so that a profile set later is known by the same atom.
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, quint16(name.size()), name.constData()),
        nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

MonitorProfile::MonitorProfile(QObject *parent) : QObject(parent)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    // Property changes of the root window come to this client too, beside what Qt asked of it.
    const xcb_window_t root = rootWindow(connection);
    xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, root), nullptr);
    const quint32 mask =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    std::free(attributes);
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
    property = profileAtom(connection, 0);
    reread();
}

MonitorProfile::~MonitorProfile()
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->removeNativeEventFilter(this);
}

void MonitorProfile::follow(QWidget *followed)
{
    window = followed;
    if (!window || !x11Connection())
        return;
    // The native window exists from here on, and with it the signal of its moves.
    window->winId();
    connect(window->windowHandle(), &QWindow::screenChanged, this, &MonitorProfile::watchMonitor,
            Qt::UniqueConnection);
    watchMonitor();
}

void MonitorProfile::watchMonitor()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection || !window)
        return;
    // The monitors in the order that the desktop numbers them.
    const int monitor =
        qMax(0, int(QGuiApplication::screens().indexOf(window->screen())));
    property = profileAtom(connection, monitor);
    reread();
}

void MonitorProfile::reread()
{
    xcb_connection_t *connection = x11Connection();
    QByteArray bytes;
    if (connection && property != XCB_ATOM_NONE) {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, rootWindow(connection), property, XCB_ATOM_CARDINAL,
                             0, kMostProfileBytes / 4),
            nullptr);
        // Bytes of a profile, and the whole of it: a larger one is no monitor's.
        if (reply && reply->type == XCB_ATOM_CARDINAL && reply->format == 8 &&
            reply->bytes_after == 0)
            bytes = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
    }
    if (bytes == current)
        return;
    current = bytes;
    emit changed(current);
}

bool MonitorProfile::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || property == XCB_ATOM_NONE)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto *changedProperty = static_cast<const xcb_property_notify_event_t *>(message);
    if (changedProperty->atom == property && x11Connection() &&
        changedProperty->window == rootWindow(x11Connection()))
        reread();
    // Qt has its own use for the root window's property changes.
    return false;
}
