#ifndef TRAFFICLOGGER_H
#define TRAFFICLOGGER_H

#include <QByteArray>
#include <QString>

#include <cstdio>

// Writes the simulator's traffic to standard output, one flushed line per event, so
// that a watching person or test sees each exchange as it happens:
//   05:40:01.123 rx 01 02 10 00 04 00 7e 0a | read addr=0x0010 size=4 (T1)
class TrafficLogger
{
public:
    explicit TrafficLogger(std::FILE *stream = stdout);

    // A line without a time stamp, such as the one that says the simulator is ready.
    void status(const QString &text);
    void request(const QByteArray &bytes, const QString &meaning);
    // fault: the injected fault's name, empty when the answer is the true one.
    void answer(const QByteArray &bytes, const QString &meaning, const QString &fault = QString());
    // Something that happened to the link rather than a frame, e.g. a lost serial port.
    void event(const QString &text);

    static QString hex(const QByteArray &bytes);

private:
    void writeLine(const QString &line);
    void timedLine(const QString &direction, const QString &text);

    std::FILE *m_stream;
};

#endif // TRAFFICLOGGER_H
