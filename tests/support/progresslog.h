#ifndef PROGRESSLOG_H
#define PROGRESSLOG_H

#include <QObject>
#include <QStringList>

class VelmorDeviceModel;

// Records a model's typed progress signals in the order they come, one line each:
// "read 0", "failed 1: reason", "write failed 3: reason", "flash failed",
// "abandoned: reason", "lost: reason".
class ProgressLog : public QObject
{
    Q_OBJECT

public:
    explicit ProgressLog(VelmorDeviceModel *model);

    QStringList lines() const;

private:
    QStringList m_lines;
};

#endif // PROGRESSLOG_H
