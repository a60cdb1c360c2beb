#include "device/portname.h"

#include <QDir>
#include <QtGlobal>

QString portDeviceName(int portNumber)
{
    if (portNumber < 1 || portNumber > 255)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QString folder = qEnvironmentVariable(kPortDirVariable);
    if (!folder.isEmpty())
        // Absolute, because the serial port takes a bare relative name to be under /dev.
        return QDir(folder).absoluteFilePath(QStringLiteral("COM%1").arg(portNumber));
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 1);
#endif
}
