#include "fuzzentry.h"
#include "silentmessages.h"
#include "simmodbuscheck.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SimModbusCheck check;
    return reportFinding(check.run(fuzzInput(data, size)));
}
