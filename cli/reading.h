#ifndef READING_H
#define READING_H

#include "velmordevicemodel.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

// One variable's value as the model holds it, with all that the outputs of velmor-cli
// show of it: the table and the CSV file its text, the metrics its number, MQTT both.
struct Reading
{
    int id = -1;
    // As messages, series and topics name the variable (see variableLabel()).
    QString label;
    // float for "float32", int otherwise; invalid when the variable holds none.
    QVariant value;
    // The value as the model shows it.
    QString text;
    VelmorDeviceModel::ValueQuality quality = VelmorDeviceModel::QualityFromFile;
    // Invalid while the value was never read from the device.
    QDateTime readTime;
    // The value as the number its text shows; 0 when it holds none.
    double number = 0;

    static Reading of(const VelmorDeviceModel *model, int id);
};

#endif // READING_H
