#ifndef CYCLERUN_H
#define CYCLERUN_H

#include "signaltexts.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QStringList>

// What one update cycle of a model did, as its signals told.
struct CycleRun {
    bool finished = false;
    int updateTimeMs = -1;
    QStringList errors;
    int storedValues = 0;
};

// Starts an update cycle and waits for its end (or the timeout).
inline CycleRun runCycle(VelmorDeviceModel &model, int timeoutMs = 5000)
{
    QSignalSpy finished(&model, &VelmorDeviceModel::updateFinished);
    QSignalSpy errors(&model, &VelmorDeviceModel::errorOccured);
    QSignalSpy viewport(&model, &VelmorDeviceModel::updateViewport);
    model.updateDeviceModel();
    CycleRun run;
    run.finished = finished.wait(timeoutMs);
    if (run.finished)
        run.updateTimeMs = finished.first().first().toInt();
    run.errors = signalTexts(errors);
    run.storedValues = viewport.count();
    return run;
}

#endif // CYCLERUN_H
