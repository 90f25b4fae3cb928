#include "update/Unit2.h"

#include "platform/Dialogs.h"
#include "platform/FirstLineValidator.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QString fileNamePart(const QString &path)
{
    const qsizetype cut = qMax(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char(':')));
    return path.mid(cut + 1);
}

QString serverDirectory(const QString &path)
{
    // An empty field would send the upload to the login directory and build a
    // chmod path without a directory; the root is the one sound reading.
    if (path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

TForm2::TForm2(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Редактировать"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(420, 196);

    auto label = [this](const char *name, const QString &text, int y) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(12, y, 380, 18);
        return l;
    };
    auto edit = [this](const char *name, int y, int width) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(12, y, width, 24);
        FirstLineValidator::install(e);
        return e;
    };

    Label1 = label("Label1", QStringLiteral("Имя локального файла:"), 8);
    Edit1 = edit("Edit1", 26, 360);
    Button1 = new QPushButton(QStringLiteral("..."), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(378, 26, 30, 24);

    Label2 = label("Label2", QStringLiteral("Путь на сервере:"), 56);
    Edit2 = edit("Edit2", 74, 396);
    Edit2->setText(QStringLiteral("/mnt/dos/bin/"));

    Label3 = label("Label3", QStringLiteral("Имя на сервере:"), 104);
    Edit3 = edit("Edit3", 122, 200);

    CheckBox1 = new QCheckBox(QStringLiteral("Выполнить chmod a+x"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    // The caption stands left of the box.
    CheckBox1->setLayoutDirection(Qt::RightToLeft);
    CheckBox1->setGeometry(222, 122, 186, 24);

    Button2 = new QPushButton(QStringLiteral("Ok"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(236, 158, 80, 28);
    Button2->setDefault(true);
    Button3 = new QPushButton(QStringLiteral("Отмена"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setGeometry(328, 158, 80, 28);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, CheckBox1);

    Edit1->installEventFilter(this);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::GetEntry(QString &LocalName, QString &ServerPath, QString &ServerName, bool &DoChmod) const
{
    LocalName = Edit1->text();
    ServerPath = serverDirectory(Edit2->text());
    ServerName = Edit3->text();
    DoChmod = CheckBox1->isChecked();
}

void TForm2::Button1Click()
{
    guarded([this] {
        Dialogs::OpenFileRequest request;
        request.initialFile = Edit1->text();
        QString chosen;
        if (!dialogs().openFile(request, chosen))
            return;
        Edit1->setText(chosen);
        // The dialog gives the platform's own path form, whose separator may
        // be "/"; the file's own name is what the recorder should get.
        Edit3->setText(fileNamePart(QFileInfo(chosen).fileName()));
    });
}

void TForm2::Edit1Exit()
{
    Edit3->setText(fileNamePart(Edit1->text()));
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving the field for another control of this dialog counts; the window
    // losing the focus to another window does not.
    if (watched == Edit1 && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Edit1Exit();
    }
    return QDialog::eventFilter(watched, event);
}
