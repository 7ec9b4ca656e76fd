// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitorcolours.h"

#include "colourtransform.h"
#include "monitorprofile.h"

#include <QAction>

MonitorColours::MonitorColours(QObject *parent) : QObject(parent)
{
    colourManagedAction = new QAction(tr("&Colour Managed"), this);
    colourManagedAction->setCheckable(true);
    colourManagedAction->setChecked(true);
    connect(colourManagedAction, &QAction::toggled, this, &MonitorColours::apply);
    monitorProfile = new MonitorProfile(this);
    connect(monitorProfile, &MonitorProfile::changed, this, &MonitorColours::apply);
    apply();
}

void MonitorColours::follow(QWidget *window)
{
    monitorProfile->follow(window);
}

void MonitorColours::apply()
{
    ColourTransform::setMonitor(colourManagedAction->isChecked() ? monitorProfile->profile()
                                                                 : QByteArray());
    emit changed();
}
