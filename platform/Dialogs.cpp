#include "platform/Dialogs.h"

#include "platform/Errors.h"
#include "platform/FirstLineValidator.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {

// Windows-style filter "Name|*.a;*.b|Other|*.*" in Qt's form "Name (*.a *.b);;Other (*)".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns == QLatin1String("*.*"))
            patterns = QStringLiteral("*");
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return out.join(QStringLiteral(";;"));
}

class QtDialogs : public Dialogs
{
public:
    void message(const QString &caption, const QString &text) override
    {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }

    Answer confirm(const QString &caption, const QString &text) override
    {
        // Lines of our boxes are broken by a single CR, which Qt's labels do not break on.
        QString shown = text;
        shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QMessageBox box(QMessageBox::NoIcon, caption, shown,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                        QApplication::activeWindow());
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }

    bool inputBox(const QString &caption, const QString &prompt, QString &value) override
    {
        QInputDialog box(QApplication::activeWindow());
        box.setWindowTitle(caption);
        box.setLabelText(prompt);
        box.setTextValue(value);
        if (auto *edit = box.findChild<QLineEdit *>()) {
            edit->setMaxLength(255);
            FirstLineValidator::install(edit);
        }
        if (box.exec() != QDialog::Accepted)
            return false;
        value = box.textValue().left(255);
        return true;
    }

    bool openFile(const OpenFileRequest &request, QString &path) override
    {
        const QString chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString(),
                                                            request.initialFile, qtFilter(request.filter));
        if (chosen.isEmpty())
            return false;
        path = chosen;
        return true;
    }

    void errorBox(const QString &text) override
    {
        QMessageBox box(QMessageBox::Critical, applicationTitle(), errorBoxText(text), QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }

    int execModal(QDialog &dialog) override { return dialog.exec(); }
};

Dialogs *g_replacement = nullptr;

} // namespace

QString errorBoxText(const QString &message)
{
    if (message.endsWith(QLatin1Char('.')))
        return message;
    return message + QLatin1Char('.');
}

Dialogs &dialogs()
{
    static QtDialogs real;
    return g_replacement ? *g_replacement : real;
}

void setDialogs(Dialogs *replacement)
{
    g_replacement = replacement;
}

QString applicationTitle()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Диагностика ЗЕНТАР") : name;
}

void showUnhandledError(const std::exception &error)
{
    if (const auto *appError = dynamic_cast<const AppError *>(&error))
        dialogs().errorBox(appError->message());
    else
        dialogs().errorBox(QString::fromLocal8Bit(error.what()));
}
