#include "restorecheck.h"

#include "descriptiondir.h"
#include "dumpfile.h"
#include "valuesetter.h"
#include "velmordevicemodel.h"

#include <QPair>
#include <QSet>

#include <cmath>

namespace {

// Names that repeat with and without their address, a read-only twin, names that are
// not UTF-8 and decode alike, every type: each way an entry can fit no, one or two
// writable variables.
const QByteArray description =
    "protocol: ModBUS TCP\n"
    "variables:\n"
    "  - {name: A, addr: 0, type: int16, rw: true}\n"
    "  - {name: A, addr: 1, type: int32, rw: true}\n"
    "  - {name: B, addr: 3, type: float32, rw: true}\n"
    "  - {name: B, addr: 3, type: float32, rw: yes}\n"
    "  - {name: C, addr: 5, type: int16}\n"
    "  - {name: C, addr: 5, type: int16, rw: true, bitfield: true}\n"
    "  - {name: \xff, addr: 6, rw: true}\n"
    "  - {name: \xfe, addr: 6, type: int32, rw: on}\n"
    "  - {name: \xfd, addr: 0x8, type: int16, rw: true}\n"
    "  - {name: E, addr: 10, type: float32, rw: true}\n"
    "  - {addr: 9, rw: true}\n"
    "  - {name: D, rw: true}\n";

const int valueColumn = 2;

QString attribute(const VelmorDeviceModel &model, int id, const char *key)
{
    return model.getVarAttr(unsigned(id), QLatin1String(key)).toString();
}

// Ids of the writable variables with the entry's name and address, as the model shows them.
QVector<int> fittingIds(const VelmorDeviceModel &model, const DumpFile::Entry &entry)
{
    QVector<int> ids;
    for (int id = 0; id < model.varCount(); ++id) {
        const bool writable = model.flags(model.index(id, valueColumn)).testFlag(Qt::ItemIsEditable);
        if (writable && attribute(model, id, "name") == entry.name && attribute(model, id, "addr") == entry.addr)
            ids.append(id);
    }
    return ids;
}

QString checkEntries(const QVector<DumpFile::Entry> &entries)
{
    QSet<QPair<QString, QString>> seen;
    for (const DumpFile::Entry &entry : entries) {
        if (entry.name.isEmpty() || entry.addr.isEmpty() || entry.value.isEmpty())
            return QStringLiteral("an entry without name, address or value was read");
        if (seen.contains({entry.name, entry.addr}))
            return QStringLiteral("%1 at %2 was read twice").arg(entry.name, entry.addr);
        seen.insert({entry.name, entry.addr});
    }
    return QString();
}

QString checkQueued(const VelmorDeviceModel &model, const QVector<int> &fitting, const DumpFile::Entry &entry)
{
    const QString where = QStringLiteral("%1 at %2: ").arg(entry.name, entry.addr);
    if (fitting.size() != 1)
        return where + QStringLiteral("queued though %1 writable variables fit").arg(fitting.size());
    const QVariant held = model.getVarValue(unsigned(fitting.first()));
    if (!held.isValid() || !std::isfinite(held.toDouble()))
        return where + QStringLiteral("queued %1, which the model holds as \"%2\"")
                           .arg(entry.value, attribute(model, fitting.first(), "value"));
    return QString();
}

QString checkOutcome(const VelmorDeviceModel &model, ValueSetter::Outcome outcome, const QString &errorText,
                     const DumpFile::Entry &entry)
{
    const QVector<int> fitting = fittingIds(model, entry);
    switch (outcome) {
    case ValueSetter::Outcome::Queued:
        return checkQueued(model, fitting, entry);
    case ValueSetter::Outcome::Refused:
        if (fitting.size() > 1 || errorText.isEmpty())
            return QStringLiteral("%1 at %2: refused without reason or though %3 writable variables fit")
                .arg(entry.name, entry.addr).arg(fitting.size());
        return QString();
    case ValueSetter::Outcome::Ambiguous:
        if (fitting.size() < 2)
            return QStringLiteral("%1 at %2: ambiguous though %3 writable variables fit")
                .arg(entry.name, entry.addr).arg(fitting.size());
        return QString();
    }
    return QStringLiteral("unknown outcome");
}

QString checkRefusal(const QString &path, const QString &errorText)
{
    const QString prefix = QStringLiteral("cannot load %1: ").arg(path);
    if (!errorText.startsWith(prefix) || errorText.size() == prefix.size())
        return QStringLiteral("refused without a reason: \"%1\"").arg(errorText);
    return QString();
}

QString checkQueueing(const QString &descriptionPath, const QVector<DumpFile::Entry> &entries)
{
    VelmorDeviceModel model(descriptionPath);
    if (!model.valid())
        return QStringLiteral("the fixed description does not load");
    ValueSetter setter(&model);
    int queued = 0;
    for (const DumpFile::Entry &entry : entries) {
        QString errorText;
        const ValueSetter::Outcome outcome = setter.setAt(entry.name, entry.addr, entry.value, &errorText);
        const QString failure = checkOutcome(model, outcome, errorText, entry);
        // A restore stops at the first ambiguous entry.
        if (!failure.isEmpty() || outcome == ValueSetter::Outcome::Ambiguous)
            return failure;
        if (outcome == ValueSetter::Outcome::Queued)
            ++queued;
    }
    if (setter.writeCount() != queued)
        return QStringLiteral("%1 entries queued as %2 writes").arg(queued).arg(setter.writeCount());
    // Nothing was sent, so each variable reads back what the model holds for it.
    const QStringList problems = setter.verify({});
    return problems.isEmpty() ? QString() : QStringLiteral("held value differs: %1").arg(problems.first());
}

} // namespace

RestoreCheck::RestoreCheck()
    : m_dir(std::make_unique<DescriptionDir>())
    , m_descriptionPath(m_dir->write(QStringLiteral("device.yml"), description))
{
}

RestoreCheck::~RestoreCheck() = default;

QString RestoreCheck::run(const QByteArray &input)
{
    const QString path = m_dir->write(QStringLiteral("saved.yml"), input);
    QVector<DumpFile::Entry> entries;
    QString errorText;
    if (!DumpFile::read(path, &entries, &errorText))
        return checkRefusal(path, errorText);
    const QString failure = checkEntries(entries);
    return failure.isEmpty() ? checkQueueing(m_descriptionPath, entries) : failure;
}
