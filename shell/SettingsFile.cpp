#include "shell/Settings.h"

#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/Numbers.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace {

const QString kList = QStringLiteral("LIST");
const QString kUpList = QStringLiteral("UPLIST");
const QString kFtp = QStringLiteral("FTP");
const QString kOptions = QStringLiteral("OPTIONS");

// RadioGroup1 has three items, 0 to 2; -1 chooses none.
constexpr int kLastStopStartItem = 2;

QString indexed(const char *prefix, int n)
{
    return QLatin1String(prefix) + QString::number(n);
}

} // namespace

QString settingsFileName(const QStringList &arguments)
{
    // An empty argument ("") names no file; it would resolve to a folder.
    if (arguments.size() > 1 && !arguments.at(1).isEmpty())
        return arguments.at(1);
    return QStringLiteral("zentar.ini");
}

QString resolveSettingsPath(const QString &name)
{
    if (QFileInfo(name).fileName() != name)
        return name;
    // A bare name has no Windows directory to go to here: it lives with the
    // user's other configuration.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/zentar");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

StoredSettings loadSettings(const QString &fileName)
{
    const IniFile ini(fileName);
    StoredSettings s;

    for (int n = 0;; ++n) {
        const QString address = ini.readString(kList, QString::number(n), QString());
        if (address.isEmpty())
            break;
        s.recorders.append({address, ini.readBool(kList, indexed("SELECT", n), true)});
    }

    for (int n = 0; n < kUploadSlots; ++n) {
        TUploadEntry entry;
        entry.LocalName = ini.readString(kUpList, indexed("FN", n), QString());
        if (entry.LocalName.isEmpty())
            break;
        entry.ServerPath = ini.readString(kUpList, indexed("PN", n), QString());
        entry.ServerName = ini.readString(kUpList, indexed("TN", n), QString());
        entry.DoChmod = ini.readBool(kUpList, indexed("CM", n), false);
        s.uploads.push_back(entry);
    }

    s.login = ini.readString(kFtp, QStringLiteral("LOGIN"), s.login);
    s.password = ini.readString(kFtp, QStringLiteral("PASS"), s.password);
    s.passive = ini.readBool(kFtp, QStringLiteral("PASSIVE"), s.passive);
    s.timeoutText = QString::number(ini.readInteger(kFtp, QStringLiteral("TIMEOUT"), 10));

    s.level = ini.readString(kOptions, QStringLiteral("LEVEL"), s.level);
    s.vmin = ini.readString(kOptions, QStringLiteral("VMIN"), s.vmin);
    s.doDev = ini.readBool(kOptions, QStringLiteral("DODEV"), s.doDev);
    s.doLmc = ini.readBool(kOptions, QStringLiteral("DOLMC"), s.doLmc);
    s.repDate = ini.readBool(kOptions, QStringLiteral("REPDATE"), s.repDate);
    s.sendEmail = ini.readBool(kOptions, QStringLiteral("SENDEMAIL"), s.sendEmail);
    s.email = ini.readString(kOptions, QStringLiteral("EMAIL"), s.email);
    s.lastReport = ini.readString(kOptions, QStringLiteral("LASTREPORT"), s.lastReport);
    s.stopStart = qBound(-1, ini.readInteger(kOptions, QStringLiteral("STOPSTART"), s.stopStart),
                         kLastStopStartItem);
    s.checkDate = ini.readBool(kOptions, QStringLiteral("CHECKDATE"), s.checkDate);
    s.bdel = ini.readBool(kOptions, QStringLiteral("BDEL"), s.bdel);
    s.runB = ini.readBool(kOptions, QStringLiteral("RUNB"), s.runB);
    s.runI = ini.readBool(kOptions, QStringLiteral("RUNI"), s.runI);
    s.runA = ini.readBool(kOptions, QStringLiteral("RUNA"), s.runA);
    s.runBS = ini.readString(kOptions, QStringLiteral("RUNBS"), s.runBS);
    s.runIS = ini.readString(kOptions, QStringLiteral("RUNIS"), s.runIS);
    s.runAS = ini.readString(kOptions, QStringLiteral("RUNAS"), s.runAS);
    return s;
}

void saveSettings(const QString &fileName, const StoredSettings &s)
{
    IniFile ini(fileName);

    // Rewritten whole, so entries that no longer exist leave no keys behind.
    ini.eraseSection(kList);
    for (int i = 0; i < s.recorders.size(); ++i) {
        ini.writeString(kList, QString::number(i), s.recorders[i].address);
        ini.writeBool(kList, indexed("SELECT", i), s.recorders[i].checked);
    }
    ini.eraseSection(kUpList);
    for (int i = 0; i < int(s.uploads.size()); ++i) {
        const TUploadEntry &entry = s.uploads[std::size_t(i)];
        ini.writeString(kUpList, indexed("FN", i), entry.LocalName);
        ini.writeString(kUpList, indexed("PN", i), entry.ServerPath);
        ini.writeString(kUpList, indexed("TN", i), entry.ServerName);
        ini.writeBool(kUpList, indexed("CM", i), entry.DoChmod);
    }

    ini.writeString(kFtp, QStringLiteral("LOGIN"), s.login);
    ini.writeString(kFtp, QStringLiteral("PASS"), s.password);
    ini.writeBool(kFtp, QStringLiteral("PASSIVE"), s.passive);
    int timeout = 0;
    try {
        timeout = strToInt(s.timeoutText);
    } catch (const ConversionError &) {
        // What came before the time-out is kept; the time-out and the options
        // keep their stored values.
        ini.save();
        throw;
    }
    ini.writeInteger(kFtp, QStringLiteral("TIMEOUT"), timeout);

    ini.writeString(kOptions, QStringLiteral("LEVEL"), s.level);
    ini.writeString(kOptions, QStringLiteral("VMIN"), s.vmin);
    ini.writeBool(kOptions, QStringLiteral("DODEV"), s.doDev);
    ini.writeBool(kOptions, QStringLiteral("DOLMC"), s.doLmc);
    ini.writeBool(kOptions, QStringLiteral("REPDATE"), s.repDate);
    ini.writeBool(kOptions, QStringLiteral("SENDEMAIL"), s.sendEmail);
    ini.writeString(kOptions, QStringLiteral("EMAIL"), s.email);
    ini.writeString(kOptions, QStringLiteral("LASTREPORT"), s.lastReport);
    ini.writeInteger(kOptions, QStringLiteral("STOPSTART"), s.stopStart);
    ini.writeBool(kOptions, QStringLiteral("CHECKDATE"), s.checkDate);
    ini.writeBool(kOptions, QStringLiteral("BDEL"), s.bdel);
    ini.writeBool(kOptions, QStringLiteral("RUNB"), s.runB);
    ini.writeBool(kOptions, QStringLiteral("RUNI"), s.runI);
    ini.writeBool(kOptions, QStringLiteral("RUNA"), s.runA);
    ini.writeString(kOptions, QStringLiteral("RUNBS"), s.runBS);
    ini.writeString(kOptions, QStringLiteral("RUNIS"), s.runIS);
    ini.writeString(kOptions, QStringLiteral("RUNAS"), s.runAS);
    ini.save();
}

void saveLastReport(const QString &fileName, const QString &lastReport)
{
    IniFile ini(fileName);
    ini.writeString(kOptions, QStringLiteral("LASTREPORT"), lastReport);
    ini.save();
}
