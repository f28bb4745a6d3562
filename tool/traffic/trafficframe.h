#ifndef TRAFFICFRAME_H
#define TRAFFICFRAME_H

#include "framedecode.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One traced frame of one device. The texts for people are made when a view asks.
struct TrafficFrame
{
    QDateTime time;
    // The dock's number for the device, told apart even when two devices share a name.
    int deviceKey = -1;
    QString deviceName;
    FrameDecode::Protocol protocol = FrameDecode::Protocol::Unknown;
    bool sent = false;
    QByteArray bytes;
};

#endif // TRAFFICFRAME_H
