#include "velmorbusresponder.h"

#include "controllerclock.h"
#include "variablestore.h"
#include "velmorbusconstants.h"
#include "velmorbusrequest.h"

#include <QtEndian>

namespace {

constexpr int VariableSize = 4;

QString clockText(const QDateTime &dateTime)
{
    return dateTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

} // namespace

VelmorbusResponder::VelmorbusResponder(VariableStore *store, ControllerClock *clock)
    : m_store(store)
    , m_clock(clock)
{
}

VelmorBusPacket VelmorbusResponder::respond(const VelmorbusRequest &request, QString *meaning)
{
    if (request.cmd() == VelmorBusPacket::CmdWrite)
        return write(request, meaning);
    return read(request, meaning);
}

VelmorBusPacket VelmorbusResponder::read(const VelmorbusRequest &request, QString *meaning) const
{
    // Command 1 always reads 4 bytes and carries no size.
    const int size = request.cmd() == VelmorBusPacket::CmdRead4 ? VariableSize : request.size();
    if (request.addr() == Velmorbus::clockBlockAddr && size == Velmorbus::clockBlockSize) {
        *meaning = QStringLiteral("ok clock=") + clockText(m_clock->now());
        return answer(request, VelmorBusPacket::StatOk, m_clock->read());
    }
    const int index = m_store->findByAddress(request.addr());
    if (index < 0 || size != VariableSize) {
        *meaning = QStringLiteral("status 0x20: not held");
        return answer(request, StatNotHeld);
    }
    *meaning = QStringLiteral("ok ") + variableText(index);
    return answer(request, VelmorBusPacket::StatOk, m_store->readBytes(index));
}

VelmorBusPacket VelmorbusResponder::write(const VelmorbusRequest &request, QString *meaning)
{
    const QByteArray data = request.data();
    if (request.addr() == Velmorbus::flashStoreAddr && data.size() == VariableSize
        && qFromLittleEndian<qint32>(data.constData()) == FlashStoreValue) {
        *meaning = QStringLiteral("ok configuration stored to flash");
        return answer(request, VelmorBusPacket::StatOk);
    }
    if (request.addr() == Velmorbus::clockBlockAddr && data.size() == Velmorbus::clockBlockSize) {
        if (!m_clock->write(data)) {
            *meaning = QStringLiteral("status 0x20: not a valid date and time");
            return answer(request, StatNotHeld);
        }
        *meaning = QStringLiteral("ok clock set to ") + clockText(m_clock->now());
        return answer(request, VelmorBusPacket::StatOk);
    }
    const int index = m_store->findByAddress(request.addr());
    if (index < 0 || data.size() != VariableSize) {
        *meaning = QStringLiteral("status 0x20: not held");
        return answer(request, StatNotHeld);
    }
    if (m_store->writeBytes(index, data) == VariableStore::ReadOnly) {
        *meaning = QStringLiteral("status 0x20: %1 is read-only").arg(m_store->variable(index).name);
        return answer(request, StatNotHeld);
    }
    *meaning = QStringLiteral("ok ") + variableText(index);
    return answer(request, VelmorBusPacket::StatOk);
}

VelmorBusPacket VelmorbusResponder::answer(const VelmorbusRequest &request, int stat, const QByteArray &data)
{
    VelmorBusPacket packet(request.cmd(), request.addr(), request.size());
    packet.setStat(stat);
    packet.setData(data);
    return packet;
}

QString VelmorbusResponder::variableText(int index) const
{
    return m_store->variable(index).name + QLatin1Char('=') + m_store->valueText(index);
}
