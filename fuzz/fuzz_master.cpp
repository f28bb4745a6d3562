#include "fuzzentry.h"
#include "mastercheck.h"
#include "silentmessages.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    silenceMessages();
    // The master's port and timer need an application object for their events.
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static MasterCheck check;
    return reportFinding(check.run(fuzzInput(data, size)));
}
