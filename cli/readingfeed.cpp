#include "readingfeed.h"

#include "velmordevicemodel.h"

ReadingFeed::ReadingFeed(const VelmorDeviceModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(model, &VelmorDeviceModel::variableRead, this, [this](int id) {
        if (id >= 0 && id < count())
            emit read(current(id));
    });
    connect(model, &VelmorDeviceModel::variableFailed, this, [this](int id, const QString &reason) {
        if (id >= 0 && id < count())
            emit failed(current(id), reason);
    });
}

const VelmorDeviceModel *ReadingFeed::model() const
{
    return m_model;
}

int ReadingFeed::count() const
{
    return m_model->varCount();
}

Reading ReadingFeed::current(int id) const
{
    return Reading::of(m_model, id);
}
