#include "tools/SampleTables.h"

#include "platform/TextCodec.h"

#include <QString>

namespace {

struct Device
{
    int address;
    const char *type;
    int quality;
    int version;
    const char *vcc;
    const char *state;
};

QString deviceRow(const Device &d)
{
    return QString::asprintf(" %03d %-8s %-7d %-7d %-5s %s", d.address, d.type, d.quality, d.version, d.vcc,
                             d.state);
}

} // namespace

QByteArray sampleDeviceTable(bool faulty)
{
    // Titles stand right above their fields: the reader learns the columns from them.
    QString text = QStringLiteral(" Опрос устройств сети ЦУЛ-17\n")
        + QString::asprintf(" %-3s %-8s %-7s %-7s %-5s %s\n", "N", "Type", "Quality", "Version", "Vcc", "State")
        + QString(56, QLatin1Char('-')) + QLatin1Char('\n');
    const Device healthy[] = {
        {1, "RPX-2", 98, 9, "27.2", "Ok"},     {2, "RPX-2", 97, 9, "27.0", "Ok"},
        {3, "MOLT-4", 99, 12, "26.8", "Ok"},   {4, "TSQ-1", 95, 4, "27.4", "Ok"},
        {5, "TSQ-1", 96, 4, "27.1", "Ok"},     {6, "KDL-8", 100, 3, "27.3", "Ok"},
    };
    const Device broken[] = {
        {1, "RPX-2", 98, 9, "27.2", "Ok"},     {2, "RPX-2", 0, 9, "0.0", "Error"},
        {3, "MOLT-4", 45, 12, "26.8", "Ok"},   {4, "TSQ-1", 95, 1, "27.4", "Ok"},
        {5, "RPX-2", 93, 6, "21.5", "Ok"},     {6, "KDL-8", 88, 3, "27.3", "Failure ext."},
        {7, "MOLT-4", 97, 7, "22.9", "Ok"},    {8, "KDL-8", 99, 3, "27.0", "Ok"},
    };
    if (faulty) {
        for (const Device &d : broken)
            text += deviceRow(d) + QLatin1Char('\n');
    } else {
        for (const Device &d : healthy)
            text += deviceRow(d) + QLatin1Char('\n');
    }
    text += QString(56, QLatin1Char('-')) + QLatin1Char('\n');
    text += QStringLiteral(" Всего устройств: %1\n").arg(faulty ? 8 : 6);
    return toWin1251(text);
}

QByteArray sampleChannelTable(bool faulty)
{
    QString text = QStringLiteral(" Состояние каналов TEKVAL\n")
        + QString::asprintf(" %-3s %-20s %s\n", "Ch", "Name", "State")
        + QString(40, QLatin1Char('-')) + QLatin1Char('\n');
    const char *names[] = {"Лифт 1", "Лифт 2", "ИТП", "Водомер", "Электросчетчик", "Пожарная сигн."};
    const char *healthyStates[] = {"Ok", "Ok", "Ok", "Ok", "Ok", "Ok"};
    const char *brokenStates[] = {"Ok", "Wrong data", "Error", "Ok", "Failure", "Wrong data"};
    for (int i = 0; i < 6; ++i) {
        const QString name = QString::fromUtf8(names[i]);
        text += QStringLiteral(" %1 %2 %3\n")
                    .arg(i + 1, -3)
                    .arg(name, -20)
                    .arg(QString::fromLatin1(faulty ? brokenStates[i] : healthyStates[i]));
    }
    return toWin1251(text);
}
