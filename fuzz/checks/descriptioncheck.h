#ifndef DESCRIPTIONCHECK_H
#define DESCRIPTIONCHECK_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class VelmorDeviceModel;

// Loads arbitrary bytes as a device description and asks the model everything a
// window or a caller could ask; checks the same bytes with the description checker.
// Returns what went wrong, or an empty text.
class DescriptionCheck
{
public:
    DescriptionCheck();

    QString run(const QByteArray &input);

private:
    QString checkCheckerAgrees(const VelmorDeviceModel &model) const;
    static QString checkSettings(const VelmorDeviceModel &model);
    static QString checkHeaders(const VelmorDeviceModel &model);
    static QString checkRow(VelmorDeviceModel &model, int row);
    static QString checkCell(const VelmorDeviceModel &model, int row, int column);
    static QString checkValueWrites(VelmorDeviceModel &model, int row);
    static QString checkOutside(VelmorDeviceModel &model);

    QTemporaryDir m_dir;
    QString m_path;
};

#endif // DESCRIPTIONCHECK_H
