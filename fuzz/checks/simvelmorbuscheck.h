#ifndef SIMVELMORBUSCHECK_H
#define SIMVELMORBUSCHECK_H

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdio>
#include <memory>

class FaultInjector;
class VelmorbusSlave;

// Feeds arbitrary frames to the simulator's Velmorbus slave as whole frames from the
// line and checks each against a decoder of its own: a request is answered exactly when
// it is one, with a frame the tools' packet decoder takes, of the request's command and
// address, and a variable written reads back as written. Returns what went wrong, or an
// empty text.
//
// Script: steps of a head byte (bit 7: close the frame with its right CRC, bits 0-6:
// length) and that many frame bytes.
class SimVelmorbusCheck
{
public:
    SimVelmorbusCheck();
    ~SimVelmorbusCheck();
    SimVelmorbusCheck(const SimVelmorbusCheck &) = delete;
    SimVelmorbusCheck &operator=(const SimVelmorbusCheck &) = delete;

    QString run(const QByteArray &script);

private:
    struct Request
    {
        int cmd = 0;
        quint16 addr = 0;
        quint16 size = 0;
        QByteArray data;
    };

    static bool decodeRequest(const QByteArray &frame, Request *request);
    QString checkAnswer(const Request &request, const QByteArray &answer);
    QString checkStore(const Request &request, int stat, const QByteArray &data);

    // The traffic log goes nowhere: it is written, not judged.
    std::FILE *m_log;
    // Made once: seeding its random source costs more than a run.
    std::unique_ptr<FaultInjector> m_noFaults;
    // What each variable must read, by address: its file value, then what was written.
    QMap<quint16, QByteArray> m_expected;
};

#endif // SIMVELMORBUSCHECK_H
