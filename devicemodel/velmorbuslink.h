#ifndef VELMORBUSLINK_H
#define VELMORBUSLINK_H

#include "devicelink.h"

class VelmorBusPacket;
class VelmorbusReply;
class VelmorbusRtuSerialMaster;

// Velmorbus over a serial line: every value travels as 4 data bytes at its address.
class VelmorbusLink : public DeviceLink
{
    Q_OBJECT

public:
    explicit VelmorbusLink(const ProtocolTraits &protocol, QObject *parent = nullptr);

    bool open(const LinkSettings &settings) override;
    void close() override;
    QString openFailure() const override;
    QString openFailureReason() const override;
    quint64 read(const VariableLink &variable, int devId) override;
    quint64 write(const VariableLink &variable, quint32 pattern, int devId) override;
    quint64 storeConfiguration(int devId) override;
    void dropPendingRequest() override;
    void enableTrace() override;

private:
    VelmorbusReply *send(const VelmorBusPacket &request, int devId);
    quint64 sendCommand(const VelmorBusPacket &request, int devId);
    void onReadFinished(VelmorbusReply *reply, quint64 request);
    static QString failure(const VelmorbusReply *reply);

    VelmorbusRtuSerialMaster *m_master;
    LinkSettings m_settings;
    VelmorbusReply *m_pending = nullptr;
};

#endif // VELMORBUSLINK_H
