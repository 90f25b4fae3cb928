#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The about box: picture, product name, version, maker and contact; a click
// on the version shows the release notes over them.
class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);

    // The maker's web site that a click on the copyright opens.
    static QString makerSite();

public slots:
    void VersionClick();
    void CopyrightClick();
    void FormClose();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QFrame *Panel1;
    QLabel *ProgramIcon;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Copyright;
    QLabel *Comments;
    QPlainTextEdit *Memo1;
    QPushButton *OKButton;
};
