#include "scanprobe.h"

SerialFraming ScanProbe::framingOf(const ScanCandidate &line)
{
    SerialFraming framing;
    SerialFraming::parityFromName(line.parity.toStdString(), &framing.parity);
    framing.dataBits = line.dataBits;
    framing.stopBits = line.stopBits;
    return framing;
}
