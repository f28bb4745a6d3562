#ifndef CHILDPROCESS_H
#define CHILDPROCESS_H

#include <QProcess>

// A QProcess whose child can be held to a file size limit, so that a test can make
// the disk look full to the program.
class ChildProcess : public QProcess
{
    Q_OBJECT

public:
    using QProcess::QProcess;

    // Takes effect at the next start; 0 means no limit.
    void setFileSizeLimit(qint64 bytes);

protected:
    void setupChildProcess() override;

private:
    qint64 m_fileSizeLimitBytes = 0;
};

#endif // CHILDPROCESS_H
