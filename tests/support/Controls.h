#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

// The control of a window by its name; a missing one ends the test program,
// since every later step would work on nothing.
template <typename T>
T *child(QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}
