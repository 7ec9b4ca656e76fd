// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DESKTOP_H
#define DESKTOP_H

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

// The user's hands and eyes on the X server in $DISPLAY: real key presses and mouse clicks
// through xdotool, and grabs of the screen. There is no window manager under Xvfb, so a window
// gets the keyboard only when it is given the input focus explicitly.
namespace Desktop {

// Runs xdotool with args and returns its standard output; false in ok when it fails or hangs.
QString xdotool(const QStringList &args, bool *ok = nullptr);

// The visible top-level windows of process pid whose title is exactly title.
QList<qulonglong> windows(qint64 pid, const QString &title);

QString windowTitle(qulonglong window);
QRect windowGeometry(qulonglong window);
bool resizeWindow(qulonglong window, const QSize &size);

// Gives window the keyboard and waits until the server has done so.
bool focusWindow(qulonglong window);

// Key chords in xdotool's names, pressed one after the other into the focused window.
bool pressKeys(const QStringList &chords);

// Types text into the focused window, as quickly as a fast typist.
bool typeText(const QString &text);

bool click(const QPoint &screenPoint);
bool doubleClick(const QPoint &screenPoint);
bool movePointer(const QPoint &screenPoint);
// Turns the wheel over screenPoint by notches (positive away from the user) while holding the
// key modifier (an xdotool name such as "ctrl"; none when empty).
bool turnWheel(const QPoint &screenPoint, int notches, const QString &modifier = QString());

// What the screen shows inside rect, in the screen's own pixels.
QImage grab(const QRect &rect);

} // namespace Desktop

#endif
