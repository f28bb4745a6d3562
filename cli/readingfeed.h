#ifndef READINGFEED_H
#define READINGFEED_H

#include "reading.h"

#include <QObject>

class VelmorDeviceModel;

// Turns one model's reads into readings, once for every output of velmor-cli.
class ReadingFeed : public QObject
{
    Q_OBJECT

public:
    explicit ReadingFeed(const VelmorDeviceModel *model, QObject *parent = nullptr);

    const VelmorDeviceModel *model() const;
    int count() const;
    // The variable as the model holds it now, read from the device or not.
    Reading current(int id) const;

signals:
    // The device sent a value and the model stored it.
    void read(const Reading &reading);
    // The read failed; the reading holds the last value known.
    void failed(const Reading &reading, const QString &reason);

private:
    const VelmorDeviceModel *m_model;
};

#endif // READINGFEED_H
