#include "fuzzentry.h"
#include "silentmessages.h"
#include "simvelmorbuscheck.h"

#include <QtGlobal>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceMessages();
    // Local time for every log line without a look at /etc/localtime each time.
    qputenv("TZ", "UTC");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static SimVelmorbusCheck check;
    return reportFinding(check.run(fuzzInput(data, size)));
}
