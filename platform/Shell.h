#pragma once

#include <QString>

// Hands documents and web addresses to the desktop. Tests install their own
// to see what would have been opened.
class Shell
{
public:
    virtual ~Shell() = default;
    // Opens a file with the desktop's default viewer and returns at once.
    // A relative name is looked up in the current directory at the time of the call.
    virtual void openDocument(const QString &fileName) = 0;
    virtual void openUrl(const QString &url) = 0;
};

Shell &shell();
void setShell(Shell *replacement);
