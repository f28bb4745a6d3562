#ifndef SIGNALTEXTS_H
#define SIGNALTEXTS_H

#include <QSignalSpy>
#include <QStringList>

// The first argument of every recorded emission as text, e.g. the messages of errorOccured.
inline QStringList signalTexts(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &arguments : spy)
        texts << arguments.first().toString();
    return texts;
}

#endif // SIGNALTEXTS_H
