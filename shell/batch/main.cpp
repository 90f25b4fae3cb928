#include "shell/BatchFrontEnd.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char *argv[])
{
    // Widgets are never shown; without a display the offscreen platform serves.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Диагностика ЗЕНТАР"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runBatch(QCoreApplication::arguments(), out, err);
}
