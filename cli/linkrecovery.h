#ifndef LINKRECOVERY_H
#define LINKRECOVERY_H

#include "retrytimer.h"

#include <functional>

class SessionConsole;

// Paces the attempts to open a failed or lost link again, and tells of the outage
// once: when it begins and when it ends.
class LinkRecovery
{
public:
    LinkRecovery(std::function<void()> reconnect, SessionConsole *console);

    // The link is down: it is opened again after the pause.
    void linkDown();
    // A cycle finished: the link is back.
    void linkUp();
    // The link is down and being opened again; its errors were reported once.
    bool inOutage() const;
    // The run ends: no attempt is due any more.
    void stop();

private:
    SessionConsole *m_console;
    bool m_outage = false;
    RetryTimer m_retry;
};

#endif // LINKRECOVERY_H
