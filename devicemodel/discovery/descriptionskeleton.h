#ifndef DESCRIPTIONSKELETON_H
#define DESCRIPTIONSKELETON_H

#include "scanfind.h"
#include "scanplan.h"

#include <QByteArray>

// The description file of a device a scan found: its protocol and link settings, and no
// variables yet, for the engineer to fill in.
namespace DescriptionSkeleton {

// The name the file gives the device.
QString deviceName();
// YAML text in UTF-8; the plan gives the serial port or the TCP host and port.
QByteArray text(const ScanFind &find, const ScanPlan &plan);

} // namespace DescriptionSkeleton

#endif // DESCRIPTIONSKELETON_H
