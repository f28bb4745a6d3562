#ifndef TOPICNAMES_H
#define TOPICNAMES_H

#include <QHash>
#include <QString>
#include <QStringList>

class VelmorDeviceModel;

// The MQTT topic levels of one device's variables: their names with the characters
// MQTT gives a meaning or forbids replaced and cut to a length every broker takes, unique
// within the device and apart from "status".
class TopicNames
{
public:
    explicit TopicNames(const VelmorDeviceModel *model);

    // A name as one topic level: "/", "+", "#", control characters and non-characters
    // become "_", and so does an empty name; cut after 200 bytes of UTF-8.
    static QString level(const QString &name);

    QString variableLevel(int id) const;
    // The variable published at that level, or -1.
    int variableId(const QString &level) const;

private:
    static QStringList uniqueLevels(const VelmorDeviceModel *model);

    QStringList m_levels;
    QHash<QString, int> m_ids;
};

#endif // TOPICNAMES_H
