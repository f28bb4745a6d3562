#ifndef FAULTINJECTOR_H
#define FAULTINJECTOR_H

#include <QRandomGenerator>
#include <QString>
#include <QVector>

// Decides for each request whether its answer goes wrong, and how. The random source
// is seeded, so a run with the same seed and traffic injects the same faults.
class FaultInjector
{
public:
    enum Fault {
        NoFault,
        Silence,
        WrongId,
        BadCrc,
        Short,
        BadStatus,
        Exception
    };

    FaultInjector(double rate, const QVector<Fault> &faults, quint32 seed);

    Fault next();

    static QString name(Fault fault);
    static bool fromName(const QString &name, Fault *fault);

private:
    double m_rate = 0;
    QVector<Fault> m_faults;
    QRandomGenerator m_random;
};

#endif // FAULTINJECTOR_H
