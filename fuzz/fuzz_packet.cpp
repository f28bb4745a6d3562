#include "fuzzentry.h"
#include "packetcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const PacketCheck check;
    return reportFinding(check.run(fuzzInput(data, size)));
}
