#include "support/ScriptedDialogs.h"

#include <QtTest>

ScriptedDialogs::ScriptedDialogs()
{
    setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    setDialogs(nullptr);
}

void ScriptedDialogs::message(const QString &caption, const QString &text)
{
    log << QStringLiteral("message|%1|%2").arg(caption, text);
}

Dialogs::Answer ScriptedDialogs::confirm(const QString &caption, const QString &text)
{
    log << QStringLiteral("confirm|%1|%2").arg(caption, text);
    if (confirmAnswers.isEmpty()) {
        m_unscripted = true;
        log << QStringLiteral("UNSCRIPTED confirm");
        return Answer::Cancel;
    }
    return confirmAnswers.dequeue();
}

bool ScriptedDialogs::inputBox(const QString &caption, const QString &prompt, QString &value)
{
    log << QStringLiteral("input|%1|%2|%3").arg(caption, prompt, value);
    if (inputAnswers.isEmpty()) {
        m_unscripted = true;
        log << QStringLiteral("UNSCRIPTED input");
        return false;
    }
    const auto answer = inputAnswers.dequeue();
    if (!answer)
        return false;
    value = answer->left(255);
    return true;
}

bool ScriptedDialogs::openFile(const OpenFileRequest &request, QString &path)
{
    log << QStringLiteral("open|%1|%2").arg(request.initialFile, request.filter);
    if (openAnswers.isEmpty()) {
        m_unscripted = true;
        log << QStringLiteral("UNSCRIPTED open");
        return false;
    }
    const auto answer = openAnswers.dequeue();
    if (!answer)
        return false;
    path = *answer;
    return true;
}

void ScriptedDialogs::errorBox(const QString &text)
{
    log << QStringLiteral("error|%1").arg(errorBoxText(text));
}

int ScriptedDialogs::execModal(QDialog &dialog)
{
    log << QStringLiteral("modal|%1").arg(dialog.objectName());
    if (modalAnswers.isEmpty()) {
        m_unscripted = true;
        log << QStringLiteral("UNSCRIPTED modal");
        return QDialog::Rejected;
    }
    return modalAnswers.dequeue()(dialog);
}

RecordingShell::RecordingShell()
{
    setShell(this);
}

RecordingShell::~RecordingShell()
{
    setShell(nullptr);
}

void RecordingShell::openDocument(const QString &fileName)
{
    documents << fileName;
    if (onOpenDocument)
        onOpenDocument(fileName);
}
