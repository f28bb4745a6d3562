#include "scanplan.h"

#include <algorithm>

int ScanPlan::candidateCount() const
{
    const int addresses = std::max(0, lastAddress - firstAddress + 1);
    if (isTcp())
        return addresses;
    const auto serialProtocols = std::count_if(protocols.cbegin(), protocols.cend(),
                                               [](Protocol protocol) { return protocol != Protocol::ModbusTcp; });
    return baudRates.size() * parities.size() * int(serialProtocols) * addresses;
}
