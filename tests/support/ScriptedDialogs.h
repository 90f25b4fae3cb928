#pragma once

#include "platform/Dialogs.h"
#include "platform/Shell.h"

#include <QDialog>
#include <QQueue>
#include <QStringList>
#include <functional>
#include <optional>

// Dialogs for tests: answers are queued in, every box shown is logged. A box
// that nobody scripted never blocks: it is logged as "UNSCRIPTED ...",
// answered with Cancel, and unscripted() turns true for the test to check.
class ScriptedDialogs : public Dialogs
{
public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // One entry per box shown: "message|caption|text", "confirm|caption|text",
    // "input|caption|prompt|value", "open|initialFile|filter", "error|text",
    // "modal|objectName".
    QStringList log;

    QQueue<Answer> confirmAnswers;
    // Input box answers: a value, or an empty optional for Cancel.
    QQueue<std::optional<QString>> inputAnswers;
    QQueue<std::optional<QString>> openAnswers;
    // Modal windows: a function that works the dialog and returns its result.
    QQueue<std::function<int(QDialog &)>> modalAnswers;

    bool unscripted() const { return m_unscripted; }

    void message(const QString &caption, const QString &text) override;
    Answer confirm(const QString &caption, const QString &text) override;
    bool inputBox(const QString &caption, const QString &prompt, QString &value) override;
    bool openFile(const OpenFileRequest &request, QString &path) override;
    void errorBox(const QString &text) override;
    int execModal(QDialog &dialog) override;

private:
    bool m_unscripted = false;
};

// A shell that only records what would have been opened.
class RecordingShell : public Shell
{
public:
    RecordingShell();
    ~RecordingShell() override;
    QStringList documents;
    QStringList urls;
    std::function<void(const QString &)> onOpenDocument;
    void openDocument(const QString &fileName) override;
    void openUrl(const QString &url) override { urls << url; }
};
