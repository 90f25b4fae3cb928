#pragma once

#include <QString>

class QDialog;
class QWidget;

// Every modal box of the program goes through this seam, so tests can script
// the answers and no test ever shows a window or blocks.
class Dialogs
{
public:
    enum class Answer { Ok, Cancel, Yes, No };

    struct OpenFileRequest
    {
        QString initialFile;  // preselected file name (may hold a path)
        QString filter;       // "Программы|*.exe;*.bat|Все файлы|*.*"; empty: none
    };

    virtual ~Dialogs() = default;

    // A box with an OK button and no icon ("Error" boxes of a run).
    virtual void message(const QString &caption, const QString &text) = 0;
    // Yes, No and Cancel, no icon.
    virtual Answer confirm(const QString &caption, const QString &text) = 0;
    // The input box: at most 255 characters. True when confirmed; value in and out.
    virtual bool inputBox(const QString &caption, const QString &prompt, QString &value) = 0;
    // An existing file; true and its full path when the operator chose one.
    virtual bool openFile(const OpenFileRequest &request, QString &path) = 0;
    // The application's default error box: title as caption, error icon, a full stop added.
    virtual void errorBox(const QString &text) = 0;
    // Shows one of our own modal windows (the entry editor, the about box).
    virtual int execModal(QDialog &dialog) = 0;
};

// The text the default error box shows: a full stop is added unless the text ends in one.
QString errorBoxText(const QString &message);

// The dialogs in force: the real Qt boxes unless a test installed its own.
Dialogs &dialogs();
// Installs replacement dialogs (nullptr restores the real ones). Not owned.
void setDialogs(Dialogs *replacement);

// Runs an event handler body: an AppError or other exception that escapes it
// ends the handler and is shown in the default error box; the program goes on.
template <typename Fn>
void guarded(Fn &&body);

// The application title, caption of the default error box.
QString applicationTitle();

void showUnhandledError(const std::exception &error);

template <typename Fn>
void guarded(Fn &&body)
{
    try {
        body();
    } catch (const std::exception &error) {
        showUnhandledError(error);
    }
}
