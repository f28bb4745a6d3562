#ifndef VELMORBUSSCANPROBE_H
#define VELMORBUSSCANPROBE_H

#include "scanplan.h"
#include "scanprobe.h"

#include <QPointer>

class VelmorbusReply;
class VelmorbusRtuSerialMaster;

// Asks with a Velmorbus read of one value (4 data bytes) at the probe address.
class VelmorbusScanProbe : public ScanProbe
{
    Q_OBJECT

public:
    VelmorbusScanProbe(const ScanPlan &plan, QObject *parent = nullptr);
    ~VelmorbusScanProbe() override;

    bool open(const ScanCandidate &line, QString *reason) override;
    void close() override;
    void ask(const ScanCandidate &candidate, int probeAddress) override;
    void abandon() override;

private:
    void onFinished();

    VelmorbusRtuSerialMaster *m_master;
    QPointer<VelmorbusReply> m_reply;
    ScanCandidate m_candidate;
    int m_probeAddress = 0;
};

#endif // VELMORBUSSCANPROBE_H
