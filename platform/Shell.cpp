#include "platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

class DesktopShell : public Shell
{
public:
    void openDocument(const QString &fileName) override
    {
        const QFileInfo info(QDir::current(), fileName);
        if (!info.exists())
            return;
        QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    }

    void openUrl(const QString &url) override { QDesktopServices::openUrl(QUrl(url)); }
};

Shell *g_replacement = nullptr;

} // namespace

Shell &shell()
{
    static DesktopShell real;
    return g_replacement ? *g_replacement : real;
}

void setShell(Shell *replacement)
{
    g_replacement = replacement;
}
