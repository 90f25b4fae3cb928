#include "shell/Unit3.h"

#include "platform/Shell.h"
#include "shell/ProgramIcon.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

const char *const kReleaseNotes =
    "Версия 1.0.0\n"
    "  Первая стабильная версия программы.\n"
    "Версия 1.0.1\n"
    "  Добавлена проверка версий прошивок устройств на объектах.\n"
    "Версия 1.0.2\n"
    "  Добавлена проверка напряжения питания устройств.\n"
    "\n"
    "Известные ограничения:\n"
    "- Файлы результатов опроса анализируются не всегда полностью: "
    "регистратор может дописывать их в то время, когда программа их читает.\n"
    "- При выгрузке файлов сравнивается только размер файла, уже лежащего "
    "на регистраторе, но не его дата: по FTP узнать дату файла на практике нельзя.\n"
    "- Изредка исправный регистратор попадает в список неисправных.";

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О себе..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(368, 283);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setGeometry(8, 8, 352, 228);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(14, 14, 64, 64);
    ProgramIcon->setPixmap(programIconPixmap(64));
    ProgramIcon->setScaledContents(true);

    ProductName = makeLabel(Panel1, "ProductName", QStringLiteral("Диагностика ЗЕНТАР"), QRect(92, 18, 250, 22));
    QFont bold = ProductName->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    ProductName->setFont(bold);

    Version = makeLabel(Panel1, "Version", QStringLiteral("Версия 1.0.2"), QRect(92, 46, 250, 20));
    QFont italic = Version->font();
    italic.setItalic(true);
    Version->setFont(italic);
    Version->setCursor(Qt::PointingHandCursor);
    Version->setToolTip(QStringLiteral("История версий"));
    Version->installEventFilter(this);

    Copyright = makeLabel(Panel1, "Copyright",
                          QStringLiteral("© 2003-2005 ООО «Зентар-Сервис», Москва"), QRect(14, 98, 324, 20));
    Copyright->setCursor(Qt::PointingHandCursor);
    Copyright->setToolTip(makerSite());
    Copyright->installEventFilter(this);

    Comments = makeLabel(Panel1, "Comments",
                         QStringLiteral("Служба поддержки: тел. (495) 000-00-00, "
                                        "e-mail: support@zentar-service.example"),
                         QRect(14, 126, 324, 90));
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Memo1 = new QPlainTextEdit(Panel1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QString::fromUtf8(kReleaseNotes));
    Memo1->setGeometry(Panel1->contentsRect());
    Memo1->hide();

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(146, 246, 75, 27);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

QString TAboutBox::makerSite()
{
    return QStringLiteral("http://www.zentar-service.example/");
}

void TAboutBox::VersionClick()
{
    Memo1->show();
    Memo1->raise();
}

void TAboutBox::CopyrightClick()
{
    shell().openUrl(makerSite());
}

void TAboutBox::FormClose()
{
    Memo1->hide();
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    // A label has no click of its own: the release over it is the click.
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        auto *label = qobject_cast<QLabel *>(watched);
        if (label && mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            if (label == Version)
                VersionClick();
            else if (label == Copyright)
                CopyrightClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::showEvent(event);
}

void TAboutBox::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        FormClose();
    QDialog::hideEvent(event);
}
