#include "shell/ProgramIcon.h"
#include "shell/Unit1.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Диагностика ЗЕНТАР"));
    QApplication::setWindowIcon(programIcon());
    // The main window decides when the program ends: after a run under way
    // has finished and the settings have been written.
    QApplication::setQuitOnLastWindowClosed(false);

    // Creates the entry editor and the about box too, hidden.
    TForm1 form1;
    QObject::connect(&form1, &TForm1::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    form1.show();

    // For the documentation: grab the window once it is painted, then leave
    // without touching the settings file.
    const QString screenshot = qEnvironmentVariable("ZENTAR_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(800, &form1, [&form1, screenshot] {
            const bool saved = form1.grab().save(screenshot, "PNG");
            QCoreApplication::exit(saved ? 0 : 1);
        });
    }

    const int result = app.exec();
    // Closing the window has written the settings already; this covers an end
    // that did not come through the window (FormDestroy runs once).
    if (screenshot.isEmpty()) {
        form1.hide();
        form1.FormDestroy();
    }
    return result;
}
