#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The upload entry editor. Created once and never reset: each opening shows
// what the fields held when it was last closed.
class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    // The dialog's values; the server path always ends with "/".
    void GetEntry(QString &LocalName, QString &ServerPath, QString &ServerName, bool &DoChmod) const;

public slots:
    void Button1Click();
    void Edit1Exit();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLineEdit *Edit1;
    QLineEdit *Edit2;
    QLineEdit *Edit3;
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button3;
    QCheckBox *CheckBox1;
};

// The file-name part of a local path as the editor proposes it: the text after
// the last backslash or colon, or the whole text when it holds neither.
QString fileNamePart(const QString &path);
// The server directory as handed out: "/" appended unless it ends in one.
QString serverDirectory(const QString &path);
