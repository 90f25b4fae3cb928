#include "shell/Unit1.h"

#include "diagnostics/DiagnosticsRun.h"
#include "diagnostics/Report.h"
#include "platform/AppState.h"
#include "platform/Dialogs.h"
#include "platform/FirstLineValidator.h"
#include "platform/TextCodec.h"
#include "shell/CheckListBox.h"
#include "shell/RunFrame.h"
#include "shell/Settings.h"
#include "shell/Unit3.h"
#include "update/Unit2.h"
#include "update/UpdateRun.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>

#include <algorithm>
#include <limits>

namespace {

const char *const kTitle = "Диагностика ЗЕНТАР";
const char *const kProgramFilter = "Программы|*.exe;*.bat;*.cmd;*.pif|Все файлы|*.*";

template <typename W>
W *place(W *widget, const char *name, int x, int y, int w, int h)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, int x, int y, int w, int h = 20)
{
    return place(new QLabel(text, parent), name, x, y, w, h);
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, int x, int y, int w, int h)
{
    return place(new QPushButton(text, parent), name, x, y, w, h);
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &text, bool checked, int x, int y, int w)
{
    auto *box = place(new QCheckBox(text, parent), name, x, y, w, 22);
    box->setChecked(checked);
    return box;
}

QLineEdit *edit(QWidget *parent, const char *name, const QString &text, int x, int y, int w)
{
    auto *line = place(new QLineEdit(text, parent), name, x, y, w, 24);
    FirstLineValidator::install(line);
    return line;
}

// Sets a progress bar the way the window's bars behave: the position is kept
// within the range, so a position beyond the maximum shows a full bar.
void setBar(QProgressBar *bar, qint64 maximum, qint64 position)
{
    const int top = int(std::clamp<qint64>(maximum, 0, std::numeric_limits<int>::max()));
    // A range of 0 to 0 would turn the bar into a busy indicator; an empty
    // transfer shows an empty bar instead.
    bar->setRange(0, top > 0 ? top : 1);
    bar->setValue(int(std::clamp<qint64>(position, 0, top)));
}

// The settings file reads a value without its surrounding blanks, and its list
// ends at the first empty one: a blank address would drop every entry after
// it at the next start.
bool isBlankAddress(const QString &address)
{
    return trimControls(address).isEmpty();
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : TForm1(QCoreApplication::arguments(), parent)
{
}

TForm1::TForm1(const QStringList &arguments, QWidget *parent)
    : QWidget(parent)
    , m_arguments(arguments)
{
    buildControls();

    connect(&FtpClient1, &FtpClient::progress, this, &TForm1::FtpClient1Progress);
    connect(&FtpClient1, &FtpClient::sessionConnected, this, &TForm1::FtpClient1SessionConnected);
    connect(&FtpClient1, &FtpClient::sessionClosed, this, &TForm1::FtpClient1SessionClosed);

    FormCreate();

    // The two dialogs live as long as the main window and start hidden.
    m_form2 = new TForm2(this);
    m_aboutBox = new TAboutBox(this);
}

TForm1::~TForm1() = default;

void TForm1::buildControls()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(790, 470);

    // The recorder list and its buttons, in a raised frame on the left.
    Panel1 = place(new QFrame(this), "Panel1", 4, 4, 185, 377);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ListBox1 = place(new CheckListBox(Panel1), "ListBox1", 12, 8, 161, 321);
    Button8 = button(Panel1, "Button8", QStringLiteral("Выд.все"), 12, 335, 70, 17);
    Button9 = button(Panel1, "Button9", QStringLiteral("Снять выд."), 103, 335, 70, 17);
    Button4 = button(Panel1, "Button4", QStringLiteral("Добавить"), 12, 356, 70, 17);
    Button5 = button(Panel1, "Button5", QStringLiteral("Удалить"), 103, 356, 70, 17);
    for (QPushButton *small : {Button8, Button9, Button4, Button5}) {
        QFont font = small->font();
        font.setPointSizeF(font.pointSizeF() * 0.85);
        small->setFont(font);
    }

    PageControl1 = place(new QTabWidget(this), "PageControl1", 197, 4, 585, 377);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Статистика"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Смена версий ПО"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Настройка"));
    buildStatisticsTab(TabSheet1);
    buildUpdateTab(TabSheet2);
    buildSettingsTab(TabSheet3);
    PageControl1->setCurrentWidget(TabSheet2);

    // The progress area under the tabs.
    Panel2 = place(new QFrame(this), "Panel2", 4, 385, 782, 60);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Label6 = label(Panel2, "Label6", QStringLiteral("Ход текущей операции:"), 10, 7, 170);
    ProgressBar2 = place(new QProgressBar(Panel2), "ProgressBar2", 186, 9, 490, 17);
    Button7 = button(Panel2, "Button7", QStringLiteral("Отмена"), 690, 5, 82, 25);
    Label5 = label(Panel2, "Label5", QStringLiteral("Выполнение задачи:"), 10, 34, 170);
    ProgressBar1 = place(new QProgressBar(Panel2), "ProgressBar1", 186, 36, 490, 17);
    for (QProgressBar *bar : {ProgressBar1, ProgressBar2}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }

    StatusBar1 = place(new QStatusBar(this), "StatusBar1", 0, 448, 790, 22);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(QStringLiteral("Готов"));
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setFixedWidth(150);
    StatusPanel1 = new QLabel;
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setMinimumWidth(50);
    for (QLabel *panel : {StatusPanel0, StatusPanel1})
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);

    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    connect(ListBox1, &CheckListBox::dblClicked, this, &TForm1::ListBox1DblClick);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
}

void TForm1::buildStatisticsTab(QWidget *tab)
{
    Label4 = label(tab, "Label4", QStringLiteral("Критический порог качества связи по ЦУЛ-17:"), 12, 14, 330);
    Edit5 = edit(tab, "Edit5", QStringLiteral("90"), 350, 12, 60);
    Label7 = label(tab, "Label7", QStringLiteral("Минимально допустимое U питания:"), 12, 44, 330);
    Edit9 = edit(tab, "Edit9", QStringLiteral("24.0"), 350, 42, 60);
    CheckBox4 = checkBox(tab, "CheckBox4", QStringLiteral("Обрабатывать данные устройств"), true, 12, 76, 300);
    CheckBox5 = checkBox(tab, "CheckBox5", QStringLiteral("Обрабатывать данные каналов"), true, 12, 100, 300);
    Button1 = button(tab, "Button1", QStringLiteral("Последний отчет"), 430, 12, 140, 27);

    CheckBox9 = checkBox(tab, "CheckBox9", QStringLiteral("Запустить в начале"), false, 12, 136, 300);
    Edit6 = edit(tab, "Edit6", QString(), 12, 160, 524);
    Edit6->setToolTip(QStringLiteral("Программа, которая будет выполняться до сбора статистики."));
    Button12 = button(tab, "Button12", QStringLiteral("..."), 542, 160, 28, 24);

    CheckBox10 = checkBox(tab, "CheckBox10", QStringLiteral("Запускать для каждого"), false, 12, 192, 300);
    Edit7 = edit(tab, "Edit7", QString(), 12, 216, 524);
    Edit7->setToolTip(QStringLiteral("Программа, которая будет выполняться после получения файлов\n"
                                     "статистики с каждого IP.\n"
                                     "В командной строке можно использовать подстановку: $(IP) - адрес \n"
                                     "последнего обработанного домового регистратора."));
    Button13 = button(tab, "Button13", QStringLiteral("..."), 542, 216, 28, 24);

    CheckBox11 = checkBox(tab, "CheckBox11", QStringLiteral("Запустить в конце"), false, 12, 248, 300);
    Edit8 = edit(tab, "Edit8", QString(), 12, 272, 524);
    Edit8->setToolTip(QStringLiteral("Программа, которая будет выполняться после сбора статистики"));
    Button14 = button(tab, "Button14", QStringLiteral("..."), 542, 272, 28, 24);

    Button6 = button(tab, "Button6", QStringLiteral("Пуск !"), 470, 308, 100, 30);

    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button12, &QPushButton::clicked, this, &TForm1::Button12Click);
    connect(Button13, &QPushButton::clicked, this, &TForm1::Button13Click);
    connect(Button14, &QPushButton::clicked, this, &TForm1::Button14Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
}

void TForm1::buildUpdateTab(QWidget *tab)
{
    ListBox2 = place(new QListWidget(tab), "ListBox2", 8, 8, 472, 96);
    ListBox2->setSelectionMode(QAbstractItemView::SingleSelection);
    Button2 = button(tab, "Button2", QStringLiteral("Добавить"), 488, 8, 84, 27);
    Button3 = button(tab, "Button3", QStringLiteral("Удалить"), 488, 40, 84, 27);
    Button3->setEnabled(false);

    GroupBox1 = place(new QGroupBox(QStringLiteral("Условия"), tab), "GroupBox1", 8, 110, 232, 78);
    CheckBox7 = checkBox(GroupBox1, "CheckBox7", QStringLiteral("Проверять размер файла"), false, 10, 22, 216);
    CheckBox7->setToolTip(QStringLiteral("Не копировать файл, если его размер совпадает со старым"));
    CheckBox8 = checkBox(GroupBox1, "CheckBox8", QStringLiteral("Удалять перед копированием"), false, 10, 48, 216);
    CheckBox8->setToolTip(QStringLiteral("Удалить файл на сервере перед копированием нового"));

    RadioGroup1 = place(new QGroupBox(QStringLiteral("Дополнительные действия"), tab), "RadioGroup1",
                        248, 110, 324, 96);
    m_radioButtons = new QButtonGroup(RadioGroup1);
    const QString items[] = {QStringLiteral("Ничего не делать"), QStringLiteral("Перезапустить в конце"),
                             QStringLiteral("Остановить до и запустить после")};
    for (int i = 0; i < 3; ++i) {
        auto *radio = new QRadioButton(items[i], RadioGroup1);
        radio->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
        radio->setGeometry(10, 20 + i * 24, i == 1 ? 186 : 300, 22);
        m_radioButtons->addButton(radio, i);
    }
    m_radioButtons->button(0)->setChecked(true);
    // The letters of "с ключом -с" are Cyrillic; the switch sent is the Latin -c.
    CheckBox12 = checkBox(RadioGroup1, "CheckBox12", QStringLiteral("с ключом -с"), false, 200, 44, 118);

    CheckBox13 = checkBox(tab, "CheckBox13", QStringLiteral("После копирования выполнить:"), false, 8, 214, 232);
    Edit10 = edit(tab, "Edit10", QString(), 248, 213, 324);

    ListBox3 = place(new QListWidget(tab), "ListBox3", 8, 244, 452, 100);
    Button10 = button(tab, "Button10", QStringLiteral("Пуск !"), 470, 308, 100, 30);
    QPalette red = Button10->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    Button10->setPalette(red);

    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
    // A change of the selected line by the keyboard counts as a click.
    connect(ListBox2, &QListWidget::currentRowChanged, this, &TForm1::ListBox2Click);
    ListBox2->viewport()->installEventFilter(this);
}

void TForm1::buildSettingsTab(QWidget *tab)
{
    Label1 = label(tab, "Label1", QStringLiteral("Логин:"), 12, 16, 90);
    Edit1 = edit(tab, "Edit1", QString(), 104, 14, 160);
    Label2 = label(tab, "Label2", QStringLiteral("Пароль:"), 12, 48, 90);
    Edit2 = edit(tab, "Edit2", QString(), 104, 46, 160);
    Edit2->setEchoMode(QLineEdit::Password);
    Edit2->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    CheckBox1 = checkBox(tab, "CheckBox1", QStringLiteral("Passive mode"), false, 12, 78, 250);
    Label3 = label(tab, "Label3", QStringLiteral("Time out:"), 12, 112, 90);
    Edit3 = edit(tab, "Edit3", QStringLiteral("10"), 104, 110, 60);

    CheckBox2 = checkBox(tab, "CheckBox2", QStringLiteral("Просмотр в NOTEPAD"), true, 300, 14, 270);
    CheckBox3 = checkBox(tab, "CheckBox3", QStringLiteral("Послать по адресу"), false, 300, 46, 270);
    Edit4 = edit(tab, "Edit4", QString(), 300, 72, 270);
    CheckBox6 = checkBox(tab, "CheckBox6", QStringLiteral("Имя отчета с датой"), false, 300, 110, 270);

    Button11 = button(tab, "Button11", QStringLiteral("О себе..."), 470, 308, 100, 30);
    connect(Button11, &QPushButton::clicked, this, &TForm1::Button11Click);
}

// ---- Settings --------------------------------------------------------------

void TForm1::FormCreate()
{
    SettingsFileName = settingsFileName(m_arguments);
    // An empty argument names no file (the default is used), so the caption names none either.
    if (m_arguments.size() > 1 && !m_arguments.at(1).isEmpty())
        setWindowTitle(QString::fromUtf8(kTitle) + QStringLiteral(" : ") + m_arguments.at(1));
    guarded([this] { applySettings(loadSettings(resolveSettingsPath(SettingsFileName))); });
    CancelRequested = false;
}

void TForm1::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    guarded([this] { saveSettings(resolveSettingsPath(SettingsFileName), collectSettings()); });
}

void TForm1::applySettings(const StoredSettings &settings)
{
    for (const StoredRecorder &recorder : settings.recorders)
        ListBox1->appendEntry(recorder.address, recorder.checked);

    UploadCount = 0;
    for (const TUploadEntry &entry : settings.uploads) {
        if (UploadCount >= kUploadSlots)
            break;
        UploadList[size_t(UploadCount)] = entry;
        ListBox2->addItem(uploadDisplayLine(entry));
        ++UploadCount;
    }

    Edit1->setText(settings.login);
    Edit2->setText(settings.password);
    CheckBox1->setChecked(settings.passive);
    Edit3->setText(settings.timeoutText);

    Edit5->setText(settings.level);
    Edit9->setText(settings.vmin);
    CheckBox4->setChecked(settings.doDev);
    CheckBox5->setChecked(settings.doLmc);
    CheckBox6->setChecked(settings.repDate);
    CheckBox3->setChecked(settings.sendEmail);
    Edit4->setText(settings.email);
    LastReportName = settings.lastReport;
    setRadioIndex(settings.stopStart);
    CheckBox7->setChecked(settings.checkDate);
    CheckBox8->setChecked(settings.bdel);
    CheckBox9->setChecked(settings.runB);
    CheckBox10->setChecked(settings.runI);
    CheckBox11->setChecked(settings.runA);
    Edit6->setText(settings.runBS);
    Edit7->setText(settings.runIS);
    Edit8->setText(settings.runAS);

    // Entries from the file do not enable removal; the operator clicks the last line first.
    ListBox2->clearSelection();
    ListBox2->setCurrentItem(nullptr);
    Button3->setEnabled(false);
}

StoredSettings TForm1::collectSettings() const
{
    StoredSettings settings;
    for (int row = 0; row < ListBox1->count(); ++row)
        settings.recorders.append({ListBox1->item(row)->text(), ListBox1->isChecked(row)});
    for (int i = 0; i < UploadCount && i < kUploadSlots; ++i)
        settings.uploads.push_back(UploadList[size_t(i)]);
    settings.login = Edit1->text();
    settings.password = Edit2->text();
    settings.passive = CheckBox1->isChecked();
    settings.timeoutText = Edit3->text();
    settings.level = Edit5->text();
    settings.vmin = Edit9->text();
    settings.doDev = CheckBox4->isChecked();
    settings.doLmc = CheckBox5->isChecked();
    settings.repDate = CheckBox6->isChecked();
    settings.sendEmail = CheckBox3->isChecked();
    settings.email = Edit4->text();
    settings.lastReport = LastReportName;
    settings.stopStart = radioIndex();
    settings.checkDate = CheckBox7->isChecked();
    settings.bdel = CheckBox8->isChecked();
    settings.runB = CheckBox9->isChecked();
    settings.runI = CheckBox10->isChecked();
    settings.runA = CheckBox11->isChecked();
    settings.runBS = Edit6->text();
    settings.runIS = Edit7->text();
    settings.runAS = Edit8->text();
    return settings;
}

int TForm1::radioIndex() const
{
    return m_radioButtons->checkedId();
}

void TForm1::setRadioIndex(int index)
{
    index = qBound(-1, index, 2);
    if (index >= 0) {
        m_radioButtons->button(index)->setChecked(true);
        return;
    }
    // An exclusive group never lets its last button go; "none" needs it lifted.
    m_radioButtons->setExclusive(false);
    for (QAbstractButton *radio : m_radioButtons->buttons())
        radio->setChecked(false);
    m_radioButtons->setExclusive(true);
}

// ---- Closing ---------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        // Every FTP wait of the run now fails at once; the run goes on to its
        // end, and the window closes when its handler returns.
        setApplicationEnding(true);
        m_closePending = true;
        event->ignore();
        return;
    }
    event->accept();
    hide();
    FormDestroy();
    emit closed();
}

void TForm1::finishClose()
{
    m_closePending = false;
    hide();
    FormDestroy();
    emit closed();
}

template <typename Fn>
void TForm1::runLocked(Fn &&job)
{
    m_running = true;
    // The lock is released before the error box shows an error that ended the run.
    guarded([&] { runUnderLock(*this, job); });
    m_running = false;
    if (m_closePending)
        finishClose();
}

// ---- Run lock, runs, cancel ------------------------------------------------

void TForm1::SetControlsEnabled(bool enabled)
{
    QWidget *const locked[] = {Button4, Button5, Button6, Button8, Button9, Button10, CheckBox4, CheckBox5,
                               PageControl1, CheckBox9, CheckBox10, CheckBox11};
    for (QWidget *control : locked)
        control->setEnabled(enabled);
}

void TForm1::Button6Click()
{
    runLocked([this] { RunDiagnostics(*this); });
}

void TForm1::Button10Click()
{
    const QString text = QStringLiteral("ВНИМАНИЕ !\r"
                                        "Вы собираетесь произвести запись выбранных файлов в компьютеры "
                                        "домовых регистраторов !\r"
                                        "Вы уверены, что хотите выполнить указанное действие ?");
    if (dialogs().confirm(QStringLiteral("ВНИМАНИЕ !"), text) != Dialogs::Answer::Yes)
        return;
    runLocked([this] {
        ListBox3->clear();
        RunSoftwareUpdate(*this);
    });
}

void TForm1::Button7Click()
{
    CancelRequested = true;
}

void TForm1::FtpClient1Progress(qint64 count, bool &abort)
{
    setBar(ProgressBar2, CurrentFileSize, count);
    abort = CancelRequested;
    CancelRequested = false;
}

void TForm1::FtpClient1SessionConnected(int)
{
    setStatusText(1, sessionConnectedText());
}

void TForm1::FtpClient1SessionClosed(int)
{
    setStatusText(1, sessionClosedText());
}

void TForm1::Button1Click()
{
    guarded([this] { ShowLastReport(LastReportName); });
}

void TForm1::Button11Click()
{
    dialogs().execModal(*m_aboutBox);
}

void TForm1::browseHook(QLineEdit *target)
{
    guarded([&] {
        Dialogs::OpenFileRequest request;
        request.initialFile = target->text();
        request.filter = QString::fromUtf8(kProgramFilter);
        QString chosen;
        if (dialogs().openFile(request, chosen))
            target->setText(chosen);
    });
}

void TForm1::Button12Click()
{
    browseHook(Edit6);
}

void TForm1::Button13Click()
{
    browseHook(Edit7);
}

void TForm1::Button14Click()
{
    browseHook(Edit8);
}

// ---- Recorder list ---------------------------------------------------------

void TForm1::appendRecorder(const QString &address, bool checked)
{
    ListBox1->appendEntry(address, checked);
}

void TForm1::Button4Click()
{
    QString address;
    if (!dialogs().inputBox(QStringLiteral("Введите IP-адрес"), QStringLiteral("IP"), address))
        return;
    if (isBlankAddress(address))
        return;
    ListBox1->appendEntry(address, false);
}

void TForm1::Button5Click()
{
    bool deleted = false;
    for (int row = ListBox1->count() - 1; row >= 0; --row) {
        if (ListBox1->item(row)->isSelected()) {
            delete ListBox1->takeItem(row);
            deleted = true;
        }
    }
    // The view would move the highlight on to a neighbour, and a second press
    // would then delete an entry the operator never chose.
    if (deleted)
        ListBox1->setHighlightedRow(-1);
}

void TForm1::ListBox1DblClick()
{
    const int row = ListBox1->highlightedRow();
    if (row < 0)
        return;
    const QString old = ListBox1->item(row)->text();
    QString address = old;
    if (!dialogs().inputBox(QStringLiteral("Введите IP-адрес"), QStringLiteral("IP"), address))
        return;
    if (isBlankAddress(address) || address == old)
        return;
    QListWidgetItem *entry = ListBox1->item(row);
    if (!entry)
        return;
    entry->setText(address);
    entry->setCheckState(Qt::Unchecked);
    ListBox1->setHighlightedRow(-1);
}

void TForm1::Button8Click()
{
    ListBox1->setAllChecked(true);
}

void TForm1::Button9Click()
{
    ListBox1->setAllChecked(false);
}

// ---- Upload list -----------------------------------------------------------

void TForm1::Button2Click()
{
    if (dialogs().execModal(*m_form2) != QDialog::Accepted)
        return;
    if (UploadCount >= kUploadAddLimit)
        return;
    TUploadEntry &entry = UploadList[size_t(UploadCount)];
    m_form2->GetEntry(entry.LocalName, entry.ServerPath, entry.ServerName, entry.DoChmod);
    ListBox2->addItem(uploadDisplayLine(entry));
    ++UploadCount;
}

void TForm1::ListBox2Click()
{
    const QListWidgetItem *current = ListBox2->currentItem();
    const int selected = current && current->isSelected() ? ListBox2->row(current) : -1;
    Button3->setEnabled(ListBox2->count() > 0 && selected == ListBox2->count() - 1);
}

void TForm1::Button3Click()
{
    if (UploadCount <= 0)
        return;
    --UploadCount;
    const int last = ListBox2->count() - 1;
    if (last >= 0) {
        const bool wasSelected = ListBox2->item(last)->isSelected();
        delete ListBox2->takeItem(last);
        if (wasSelected) {
            ListBox2->clearSelection();
            ListBox2->setCurrentItem(nullptr);
        }
    }
    Button3->setEnabled(UploadCount > 0);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    // Any click in the upload list decides the remove button, on a line or not;
    // the view has already moved its selection by the time the button is released.
    if (watched == ListBox2->viewport() && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        const bool handled = QWidget::eventFilter(watched, event);
        ListBox2Click();
        return handled;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The view the runs work through ----------------------------------------

int TForm1::rowCount() const
{
    return ListBox1->count();
}

bool TForm1::rowChecked(int row) const
{
    return ListBox1->isChecked(row);
}

QString TForm1::rowText(int row) const
{
    const QListWidgetItem *entry = ListBox1->item(row);
    return entry ? entry->text() : QString();
}

QString TForm1::ftpUser() const
{
    return Edit1->text();
}

QString TForm1::ftpPassword() const
{
    return Edit2->text();
}

bool TForm1::ftpPassive() const
{
    return CheckBox1->isChecked();
}

QString TForm1::ftpTimeoutText() const
{
    return Edit3->text();
}

void TForm1::setStatusText(int panel, const QString &text)
{
    (panel == 0 ? StatusPanel0 : StatusPanel1)->setText(text);
}

QString TForm1::statusText(int panel) const
{
    return (panel == 0 ? StatusPanel0 : StatusPanel1)->text();
}

void TForm1::setJobProgress(int maximum, int position)
{
    setBar(ProgressBar1, maximum, position);
}

void TForm1::setJobPosition(int position)
{
    setBar(ProgressBar1, ProgressBar1->maximum(), position);
}

bool TForm1::devicesOn() const
{
    return CheckBox4->isChecked();
}

bool TForm1::channelsOn() const
{
    return CheckBox5->isChecked();
}

QString TForm1::qualityThresholdText() const
{
    return Edit5->text();
}

QString TForm1::minVoltageText() const
{
    return Edit9->text();
}

bool TForm1::datedReportName() const
{
    return CheckBox6->isChecked();
}

bool TForm1::viewReport() const
{
    return CheckBox2->isChecked();
}

bool TForm1::hookEnabled(HookPoint point) const
{
    switch (point) {
    case HookPoint::BeforeRun:
        return CheckBox9->isChecked();
    case HookPoint::EachRecorder:
        return CheckBox10->isChecked();
    case HookPoint::AfterRun:
        return CheckBox11->isChecked();
    }
    return false;
}

QString TForm1::hookCommand(HookPoint point) const
{
    switch (point) {
    case HookPoint::BeforeRun:
        return Edit6->text();
    case HookPoint::EachRecorder:
        return Edit7->text();
    case HookPoint::AfterRun:
        return Edit8->text();
    }
    return QString();
}

bool TForm1::checkSize() const
{
    return CheckBox7->isChecked();
}

bool TForm1::deleteFirst() const
{
    return CheckBox8->isChecked();
}

bool TForm1::pollSwitchC() const
{
    return CheckBox12->isChecked();
}

bool TForm1::commandOn() const
{
    return CheckBox13->isChecked();
}

QString TForm1::commandText() const
{
    return Edit10->text();
}

void TForm1::showLogLine(const QString &line)
{
    ListBox3->addItem(line);
    ListBox3->scrollToBottom();
}
