#ifndef EMPTYCURRENTDIR_H
#define EMPTYCURRENTDIR_H

#include <QString>
#include <QTemporaryDir>

// An empty temporary folder that is the current folder while the object lives; the one
// current before comes back on destruction. The window looks for tags/default.yml in the
// current folder at start, so an empty one keeps its list empty.
class EmptyCurrentDir
{
public:
    EmptyCurrentDir();
    ~EmptyCurrentDir();
    EmptyCurrentDir(const EmptyCurrentDir &) = delete;
    EmptyCurrentDir &operator=(const EmptyCurrentDir &) = delete;

    // The temporary folder was made.
    bool isValid() const;
    // Changing into it succeeded.
    bool isCurrent() const;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    bool m_current = false;
};

#endif // EMPTYCURRENTDIR_H
