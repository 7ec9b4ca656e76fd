// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MONITORPROFILE_H
#define MONITORPROFILE_H

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QObject>
#include <QPointer>

class QWidget;

// The ICC profile of the monitor a window is on, as the X server publishes it for colour
// management: the property _ICC_PROFILE of the root window for the first monitor, _ICC_PROFILE_n
// for the n-th, of type CARDINAL in bytes, as colour-management daemons set it. Followed while
// the viewer runs, as the property changes and as the window moves to another monitor. Empty
// without one, and on a display that is not X11.
class MonitorProfile : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit MonitorProfile(QObject *parent = nullptr);
    ~MonitorProfile() override;

    // Follows the monitor that window is on.
    void follow(QWidget *window);
    // The profile's bytes as published, not yet checked; empty for none.
    QByteArray profile() const { return current; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    // The monitor's profile is another one now (empty: none).
    void changed(const QByteArray &profile);

private:
    void watchMonitor();
    void reread();

    QPointer<QWidget> window;
    // The X11 property of the monitor the window is on; 0 where there is no X11.
    quint32 property = 0;
    QByteArray current;
};

#endif
