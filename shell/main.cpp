#include "shell/ProgramIcon.h"
#include "shell/Unit1.h"

#include <QApplication>

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

    const int result = app.exec();
    // Closing the window has written the settings already; this covers an end
    // that did not come through the window (FormDestroy runs once).
    form1.hide();
    form1.FormDestroy();
    return result;
}
