#ifndef VELMORBUSRESPONDER_H
#define VELMORBUSRESPONDER_H

#include "velmorbuspacket.h"

#include <QString>

class ControllerClock;
class VariableStore;
class VelmorbusRequest;

// The controller's answers to Velmorbus requests: its variables (4 bytes each), the
// clock block and the flash-store command. Anything else is answered as not held.
class VelmorbusResponder
{
public:
    static constexpr qint32 FlashStoreValue = 1;
    static constexpr int StatNotHeld = 0x20;

    VelmorbusResponder(VariableStore *store, ControllerClock *clock);

    // The response body; meaning says in words what it answers.
    VelmorBusPacket respond(const VelmorbusRequest &request, QString *meaning);

private:
    VelmorBusPacket read(const VelmorbusRequest &request, QString *meaning) const;
    VelmorBusPacket write(const VelmorbusRequest &request, QString *meaning);
    static VelmorBusPacket answer(const VelmorbusRequest &request, int stat, const QByteArray &data = QByteArray());
    QString variableText(int index) const;

    VariableStore *m_store;
    ControllerClock *m_clock;
};

#endif // VELMORBUSRESPONDER_H
