// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MONITORCOLOURS_H
#define MONITORCOLOURS_H

#include <QObject>

class QAction;
class QWidget;
class MonitorProfile;

// View › Colour Managed and the monitor's profile it follows: what the pane, the grid and the
// slideshow draw goes from sRGB into the colours of the monitor the window is on, or, unchecked
// or without a profile, as the pictures hold them.
class MonitorColours : public QObject
{
    Q_OBJECT

public:
    explicit MonitorColours(QObject *parent = nullptr);

    QAction *action() const { return colourManagedAction; }
    // Follows the monitor that window is on, once it is on the screen.
    void follow(QWidget *window);

signals:
    // The colours drawn are others now: what shows a picture is drawn again.
    void changed();

private:
    void apply();

    QAction *colourManagedAction = nullptr;
    MonitorProfile *monitorProfile = nullptr;
};

#endif
