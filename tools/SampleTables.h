#pragma once

#include <QByteArray>

// Poll tables as a recorder writes them: a header block with the column
// titles, a "---" separator, fixed-width rows; Windows-1251, LF line ends.
// The faulty set holds a faulty device, poor link quality, low supply
// voltage, outdated firmware, an external failure and wrong channels.
QByteArray sampleDeviceTable(bool faulty);
QByteArray sampleChannelTable(bool faulty);
