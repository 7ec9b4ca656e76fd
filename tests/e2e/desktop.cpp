// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSize>

#include <cstdlib>

namespace {

// xdotool answers at once; a call that takes longer is stuck.
constexpr int kCallTimeoutMs = 15000;
// Between the two clicks of a double-click: well inside the double-click interval.
constexpr int kDoubleClickDelayMs = 80;
// Between typed keys: fast enough for type-ahead search, which forgets after a pause.
constexpr int kTypingDelayMs = 20;

QString number(qint64 value)
{
    return QString::number(value);
}

QStringList pointerMove(const QPoint &point)
{
    return {QStringLiteral("mousemove"), QStringLiteral("--sync"), number(point.x()),
            number(point.y())};
}

} // namespace

namespace Desktop {

QString xdotool(const QStringList &args, bool *ok)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), args);
    const bool finished =
        process.waitForStarted(kCallTimeoutMs) && process.waitForFinished(kCallTimeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(kCallTimeoutMs);
    }
    const bool succeeded =
        finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = succeeded;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QList<qulonglong> windows(qint64 pid, const QString &title)
{
    // "search" fails when nothing matches, which here is an answer, not an error.
    const QString found =
        xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), number(pid), QStringLiteral("--name"),
                 QLatin1Char('^') + title + QLatin1Char('$')});
    QList<qulonglong> ids;
    for (const QString &line : found.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qulonglong id = line.toULongLong(&ok);
        // The regular expression is xdotool's; the title must match exactly, whatever it holds.
        if (ok && windowTitle(id) == title)
            ids.append(id);
    }
    return ids;
}

QString windowTitle(qulonglong window)
{
    return xdotool({QStringLiteral("getwindowname"), number(window)});
}

QRect windowGeometry(qulonglong window)
{
    bool ok = false;
    const QString shell = xdotool(
        {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), number(window)}, &ok);
    if (!ok)
        return QRect();
    int x = 0, y = 0, width = 0, height = 0;
    for (const QString &line : shell.split(QLatin1Char('\n'))) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (key == QLatin1String("X"))
            x = value;
        else if (key == QLatin1String("Y"))
            y = value;
        else if (key == QLatin1String("WIDTH"))
            width = value;
        else if (key == QLatin1String("HEIGHT"))
            height = value;
    }
    return QRect(x, y, width, height);
}

bool resizeWindow(qulonglong window, const QSize &size)
{
    bool ok = false;
    xdotool({QStringLiteral("windowsize"), QStringLiteral("--sync"), number(window),
             number(size.width()), number(size.height())},
            &ok);
    return ok;
}

bool focusWindow(qulonglong window)
{
    bool ok = false;
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), number(window)}, &ok);
    return ok;
}

bool pressKeys(const QStringList &chords)
{
    bool ok = false;
    xdotool(QStringList{QStringLiteral("key")} + chords, &ok);
    return ok;
}

bool typeText(const QString &text)
{
    bool ok = false;
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), number(kTypingDelayMs), text}, &ok);
    return ok;
}

bool click(const QPoint &screenPoint)
{
    bool ok = false;
    xdotool(pointerMove(screenPoint) + QStringList{QStringLiteral("click"), QStringLiteral("1")},
            &ok);
    return ok;
}

bool doubleClick(const QPoint &screenPoint)
{
    bool ok = false;
    xdotool(pointerMove(screenPoint) +
                QStringList{QStringLiteral("click"), QStringLiteral("--repeat"),
                            QStringLiteral("2"), QStringLiteral("--delay"),
                            number(kDoubleClickDelayMs), QStringLiteral("1")},
            &ok);
    return ok;
}

bool movePointer(const QPoint &screenPoint)
{
    bool ok = false;
    xdotool(pointerMove(screenPoint), &ok);
    return ok;
}

bool turnWheel(const QPoint &screenPoint, int notches, const QString &modifier)
{
    // X reports the wheel as buttons 4 (away from the user) and 5 (towards). No --sync on the
    // move: it waits for a motion that never comes when the pointer is there already, and the
    // server takes the move and the buttons in order anyway.
    QStringList args{QStringLiteral("mousemove"), number(screenPoint.x()),
                     number(screenPoint.y())};
    if (!modifier.isEmpty())
        args << QStringLiteral("keydown") << modifier;
    args << QStringLiteral("click") << QStringLiteral("--repeat") << number(std::abs(notches))
         << (notches > 0 ? QStringLiteral("4") : QStringLiteral("5"));
    if (!modifier.isEmpty())
        args << QStringLiteral("keyup") << modifier;
    bool ok = false;
    xdotool(args, &ok);
    return ok;
}

QImage grab(const QRect &rect)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QImage();
    return screen->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace Desktop
