#ifndef HOSTILECORPUS_H
#define HOSTILECORPUS_H

#include <QByteArray>
#include <QString>
#include <QVector>

// Description files made to break a reader: binary junk, deep nesting, alias bombs,
// odd encodings, each with what the model makes of it.
struct HostileFile
{
    const char *name;
    QByteArray contents;
    bool valid;
    // The one critical log line of a refused file; empty for a valid one.
    QString message;
    int varCount;
};

QVector<HostileFile> hostileCorpus();

#endif // HOSTILECORPUS_H
