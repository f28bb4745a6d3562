#include "linkrecovery.h"

#include "sessionconsole.h"

namespace {

// The pause before the first attempt to open a failed link again; it doubles with
// every further failure up to the longest.
const int firstReconnectDelayMs = 1000;
const int longestReconnectDelayMs = 30000;

} // namespace

LinkRecovery::LinkRecovery(std::function<void()> reconnect, SessionConsole *console)
    : m_console(console)
    , m_retry(firstReconnectDelayMs, longestReconnectDelayMs, std::move(reconnect))
{
}

void LinkRecovery::linkDown()
{
    if (!m_outage) {
        m_outage = true;
        m_console->note(QStringLiteral("link down; opening it again after %1 s, then up to every %2 s")
                            .arg(firstReconnectDelayMs / 1000).arg(longestReconnectDelayMs / 1000));
    }
    m_retry.retryLater();
}

void LinkRecovery::linkUp()
{
    if (!m_outage)
        return;
    m_outage = false;
    m_retry.reset();
    m_console->note(QStringLiteral("link up again"));
}

bool LinkRecovery::inOutage() const
{
    return m_outage;
}

void LinkRecovery::stop()
{
    m_retry.reset();
}
