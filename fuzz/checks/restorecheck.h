#ifndef RESTORECHECK_H
#define RESTORECHECK_H

#include <QByteArray>
#include <QString>

#include <memory>

class DescriptionDir;

// Reads arbitrary bytes as a velmor-cli --restore file and queues its entries on a
// fresh model of a fixed description, as a restore does; the model is the oracle of
// which variables an entry fits. Returns what went wrong, or an empty text.
class RestoreCheck
{
public:
    RestoreCheck();
    ~RestoreCheck();

    QString run(const QByteArray &input);

private:
    std::unique_ptr<DescriptionDir> m_dir;
    QString m_descriptionPath;
};

#endif // RESTORECHECK_H
