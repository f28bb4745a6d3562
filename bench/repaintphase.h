#ifndef REPAINTPHASE_H
#define REPAINTPHASE_H

#include <QString>
#include <QtGlobal>

class PaintCounter;
class VelmorDeviceModel;

// One measured stretch of the tool window polling: after a warm-up, counts stored values,
// finished cycles and viewport repaints, takes the processor use of the window's process
// and of the simulator, and prints them as two table rows.
class RepaintPhase
{
public:
    RepaintPhase(VelmorDeviceModel *model, PaintCounter *paints, qint64 simPid, int variableCount);

    void measure(const QString &label);

private:
    PaintCounter *m_paints;
    qint64 m_simPid;
    int m_variableCount;
    int m_stored = 0;
    int m_cycles = 0;
};

#endif // REPAINTPHASE_H
