#pragma once

#include "platform/FtpClient.h"
#include "platform/HttpClient.h"
#include "shell/RunView.h"
#include "update/UploadEntry.h"

#include <QStringList>
#include <QWidget>

class CheckListBox;
class QButtonGroup;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;
class TAboutBox;
class TForm2;
struct StoredSettings;

// The main window: the recorder list, the three tabs whose controls are the
// runs' settings, the progress display and the cancel request. It is the view
// both runs work through; every getter reads its control at the moment of the call.
class TForm1 : public QWidget, public DiagnosticsView, public UpdateView
{
    Q_OBJECT
public:
    // arguments: the command line as QCoreApplication gives it (program first).
    explicit TForm1(const QStringList &arguments, QWidget *parent = nullptr);
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    TForm2 &form2() const { return *m_form2; }
    TAboutBox &aboutBox() const { return *m_aboutBox; }

    QString settingsFile() const { return SettingsFileName; }
    bool cancelRequested() const { return CancelRequested; }
    bool isRunning() const { return m_running; }
    // Chosen item of RadioGroup1, -1 when none; a value out of range is clamped.
    int radioIndex() const;
    void setRadioIndex(int index);
    void appendRecorder(const QString &address, bool checked);
    QString statusText(int panel) const;

    // RunView
    int rowCount() const override;
    bool rowChecked(int row) const override;
    QString rowText(int row) const override;
    QString ftpUser() const override;
    QString ftpPassword() const override;
    bool ftpPassive() const override;
    QString ftpTimeoutText() const override;
    void setControlsEnabled(bool enabled) override { SetControlsEnabled(enabled); }
    void setStatusText(int panel, const QString &text) override;
    void setJobProgress(int maximum, int position) override;
    void setJobPosition(int position) override;
    void setCurrentFileSize(int32_t size) override { CurrentFileSize = size; }
    FtpClient &ftp() override { return FtpClient1; }

    // DiagnosticsView
    bool devicesOn() const override;
    bool channelsOn() const override;
    QString qualityThresholdText() const override;
    QString minVoltageText() const override;
    bool datedReportName() const override;
    bool viewReport() const override;
    bool hookEnabled(HookPoint point) const override;
    QString hookCommand(HookPoint point) const override;
    QString lastReportName() const override { return LastReportName; }
    void setLastReportName(const QString &name) override { LastReportName = name; }

    // UpdateView
    bool checkSize() const override;
    bool deleteFirst() const override;
    int pollMode() const override { return radioIndex(); }
    bool pollSwitchC() const override;
    bool commandOn() const override;
    QString commandText() const override;
    int uploadCount() const override { return UploadCount; }
    TUploadEntry &uploadEntry(int index) override { return UploadList[size_t(index)]; }
    void showLogLine(const QString &line) override;
    HttpClient &http() override { return HttpCli1; }

    void SetControlsEnabled(bool enabled);

public slots:
    // Recorder list.
    void Button4Click();
    void Button5Click();
    void ListBox1DblClick();
    void Button8Click();
    void Button9Click();
    // Runs, cancel, report, about box.
    void Button6Click();
    void Button10Click();
    void Button7Click();
    void Button1Click();
    void Button11Click();
    // Hook program browse buttons.
    void Button12Click();
    void Button13Click();
    void Button14Click();
    // Upload list.
    void Button2Click();
    void ListBox2Click();
    void Button3Click();
    // FtpClient1 events.
    void FtpClient1Progress(qint64 count, bool &abort);
    void FtpClient1SessionConnected(int error);
    void FtpClient1SessionClosed(int error);

    void FormCreate();
    void FormDestroy();

signals:
    // The window has closed for good (settings written): the program may end.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildStatisticsTab(QWidget *tab);
    void buildUpdateTab(QWidget *tab);
    void buildSettingsTab(QWidget *tab);
    void applySettings(const StoredSettings &settings);
    StoredSettings collectSettings() const;
    void browseHook(QLineEdit *edit);
    // Runs a job under the run lock, then ends the program if a close came meanwhile.
    template <typename Fn>
    void runLocked(Fn &&job);
    void finishClose();

    bool RecorderFailed = false;
    QString LastReportName;
    TUploadList UploadList;
    int32_t UploadCount = 0;
    bool CancelRequested = false;
    int32_t CurrentFileSize = 0;
    QString SettingsFileName;

    FtpClient FtpClient1;
    HttpClient HttpCli1;

    QStringList m_arguments;

    bool m_running = false;
    bool m_closePending = false;
    bool m_destroyed = false;

    // Left of the tabs.
    QFrame *Panel1 = nullptr;
    CheckListBox *ListBox1 = nullptr;
    QPushButton *Button8 = nullptr;
    QPushButton *Button9 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    // Progress area and status bar.
    QFrame *Panel2 = nullptr;
    QLabel *Label6 = nullptr;
    QProgressBar *ProgressBar2 = nullptr;
    QPushButton *Button7 = nullptr;
    QLabel *Label5 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *StatusPanel0 = nullptr;
    QLabel *StatusPanel1 = nullptr;
    // "Статистика".
    QLabel *Label4 = nullptr;
    QLineEdit *Edit5 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *Edit9 = nullptr;
    QCheckBox *CheckBox4 = nullptr;
    QCheckBox *CheckBox5 = nullptr;
    QPushButton *Button1 = nullptr;
    QCheckBox *CheckBox9 = nullptr;
    QLineEdit *Edit6 = nullptr;
    QPushButton *Button12 = nullptr;
    QCheckBox *CheckBox10 = nullptr;
    QLineEdit *Edit7 = nullptr;
    QPushButton *Button13 = nullptr;
    QCheckBox *CheckBox11 = nullptr;
    QLineEdit *Edit8 = nullptr;
    QPushButton *Button14 = nullptr;
    QPushButton *Button6 = nullptr;
    // "Смена версий ПО".
    QListWidget *ListBox2 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QCheckBox *CheckBox7 = nullptr;
    QCheckBox *CheckBox8 = nullptr;
    QGroupBox *RadioGroup1 = nullptr;
    QButtonGroup *m_radioButtons = nullptr;
    QCheckBox *CheckBox12 = nullptr;
    QCheckBox *CheckBox13 = nullptr;
    QLineEdit *Edit10 = nullptr;
    QListWidget *ListBox3 = nullptr;
    QPushButton *Button10 = nullptr;
    // "Настройка".
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QCheckBox *CheckBox2 = nullptr;
    QCheckBox *CheckBox3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QCheckBox *CheckBox6 = nullptr;
    QPushButton *Button11 = nullptr;

    TForm2 *m_form2 = nullptr;
    TAboutBox *m_aboutBox = nullptr;
};
