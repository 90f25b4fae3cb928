// zentar-screenshots: pictures of the windows for the documentation. Shows the
// main window on the settings file named, grabs each tab and the about box
// into the folder named, and ends without writing the settings back.
#include "shell/ProgramIcon.h"
#include "shell/Unit1.h"
#include "shell/Unit3.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Диагностика ЗЕНТАР"));
    QApplication::setWindowIcon(programIcon());
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: zentar-screenshots SETTINGS OUTPUT-FOLDER" << Qt::endl;
        return 2;
    }
    const QDir out(args[2]);
    TForm1 form(QStringList{args[0], args[1]});
    form.show();
    QTest::qWait(500);

    auto *tabs = form.findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    const char *names[] = {"tab-statistics.png", "main-window.png", "tab-settings.png"};
    bool ok = true;
    for (int tab : {1, 0, 2}) {
        tabs->setCurrentIndex(tab);
        QTest::qWait(200);
        ok = form.grab().save(out.filePath(QLatin1String(names[tab])), "PNG") && ok;
    }
    TAboutBox &about = form.aboutBox();
    about.show();
    QTest::qWait(300);
    ok = about.grab().save(out.filePath(QStringLiteral("about-box.png")), "PNG") && ok;
    about.hide();
    return ok ? 0 : 1;
}
