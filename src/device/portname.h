#pragma once

#include <QString>

/// Environment variable naming a folder whose entries "COM<n>" stand for port n.
inline constexpr char kPortDirVariable[] = "KESTRAVA_PORT_DIR";

/// The device that port number n names: "COMn" on Windows; elsewhere the entry "COM<n>" of the
/// folder named by KESTRAVA_PORT_DIR when that is set, otherwise /dev/ttyUSB<n-1>.
/// Empty for a number outside 1..255.
QString portDeviceName(int portNumber);
