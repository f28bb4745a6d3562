#include "scanorder.h"

namespace {

void appendAddresses(const ScanPlan &plan, ScanCandidate candidate, QVector<ScanCandidate> *candidates)
{
    for (int address = plan.firstAddress; address <= plan.lastAddress; ++address) {
        candidate.address = address;
        candidates->append(candidate);
    }
}

// Modbus RTU before Velmorbus, whatever order the plan lists them in.
QVector<ScanPlan::Protocol> serialProtocols(const ScanPlan &plan)
{
    QVector<ScanPlan::Protocol> protocols;
    for (ScanPlan::Protocol protocol : {ScanPlan::Protocol::ModbusRtu, ScanPlan::Protocol::VelmorbusRtu}) {
        if (plan.protocols.contains(protocol))
            protocols.append(protocol);
    }
    return protocols;
}

} // namespace

namespace ScanOrder {

QVector<ScanCandidate> candidates(const ScanPlan &plan)
{
    QVector<ScanCandidate> candidates;
    ScanCandidate candidate;
    candidate.stopBits = plan.stopBits;
    candidate.dataBits = plan.dataBits;
    if (plan.isTcp()) {
        candidate.protocol = ScanPlan::Protocol::ModbusTcp;
        appendAddresses(plan, candidate, &candidates);
        return candidates;
    }
    const QVector<ScanPlan::Protocol> protocols = serialProtocols(plan);
    for (int baudRate : plan.baudRates) {
        candidate.baudRate = baudRate;
        for (const QString &parity : plan.parities) {
            candidate.parity = parity;
            for (ScanPlan::Protocol protocol : protocols) {
                candidate.protocol = protocol;
                appendAddresses(plan, candidate, &candidates);
            }
        }
    }
    return candidates;
}

bool sameLine(const ScanCandidate &first, const ScanCandidate &second)
{
    return first.protocol == second.protocol && first.baudRate == second.baudRate && first.parity == second.parity
        && first.stopBits == second.stopBits && first.dataBits == second.dataBits;
}

} // namespace ScanOrder
