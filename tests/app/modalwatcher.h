// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef MODALWATCHER_H
#define MODALWATCHER_H

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>

// Answers the next modal dialog of type T that the code under test opens: the handler sees
// it (to record its texts or fill it in) and then decides how it ends.
template <typename T> class ModalWatcher
{
public:
    explicit ModalWatcher(std::function<void(T *)> handler) : handler(std::move(handler))
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start();
    }

    bool seen() const { return wasSeen; }

private:
    void poll()
    {
        T *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer.stop();
        wasSeen = true;
        handler(dialog);
    }

    std::function<void(T *)> handler;
    QTimer timer;
    bool wasSeen = false;
};

#endif
