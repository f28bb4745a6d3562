#include "descriptioncheck.h"

#include "descriptionchecker.h"
#include "velmordevicemodel.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace {

// Enough rows to reach every shape of entry; a huge table only repeats them.
constexpr int MaxRowsWalked = 200;
constexpr int ColumnCount = 4;
constexpr int ValueColumn = 2;

const char *const ProtocolNames[] = {"VelmorBUS RTU", "VelmorBUS TCP", "ModBUS RTU", "ModBUS TCP"};
const char *const ColumnKeys[] = {"addr", "name", "value", "desc"};
const char *const Attributes[] = {"addr", "name", "value", "desc", "type", "rw", "bitfield"};
const QStringList HeaderLabels = {QStringLiteral("Переменная"), QStringLiteral("Имя"),
                                  QStringLiteral("Значение"), QStringLiteral("Описание")};

const Qt::ItemFlags SelectableOnly = Qt::ItemIsSelectable;
const Qt::ItemFlags SelectableEnabled = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
const Qt::ItemFlags Editable = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;

bool isTextOrNothing(const QVariant &value)
{
    return !value.isValid() || value.userType() == QMetaType::QString;
}

QString heldValue(const VelmorDeviceModel &model, int row)
{
    return model.getVarAttr(unsigned(row), QStringLiteral("value")).toString();
}

// Flags of a cell as the presence of its attribute decides them.
bool flagsFit(int column, Qt::ItemFlags flags, bool hasText)
{
    switch (column) {
    case 1:
    case 3:
        return flags == (hasText ? SelectableEnabled : SelectableOnly);
    case ValueColumn:
        return flags == SelectableEnabled || flags == Editable;
    default:
        return flags == SelectableEnabled;
    }
}

} // namespace

DescriptionCheck::DescriptionCheck()
    : m_path(m_dir.filePath(QStringLiteral("device.yml")))
{
}

QString DescriptionCheck::run(const QByteArray &input)
{
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
        return QStringLiteral("cannot write %1").arg(m_path);
    file.close();

    VelmorDeviceModel model(m_path);
    QString failure = checkCheckerAgrees(model);
    if (failure.isEmpty())
        failure = checkSettings(model);
    if (failure.isEmpty())
        failure = checkHeaders(model);
    const int rows = qMin(model.varCount(), MaxRowsWalked);
    for (int row = 0; row < rows && failure.isEmpty(); ++row)
        failure = checkRow(model, row);
    if (failure.isEmpty())
        failure = checkOutside(model);
    return failure;
}

// A file the model refuses never passes velmor-cli --check.
QString DescriptionCheck::checkCheckerAgrees(const VelmorDeviceModel &model) const
{
    const QVector<Diagnostic> findings = DescriptionChecker::checkFile(m_path);
    const bool hasError = std::any_of(findings.begin(), findings.end(), [](const Diagnostic &finding) {
        return finding.severity == Diagnostic::Severity::Error;
    });
    return model.valid() || hasError ? QString() : QStringLiteral("the model refuses the file, --check finds no error");
}

QString DescriptionCheck::checkSettings(const VelmorDeviceModel &model)
{
    model.devName();
    model.devId();
    model.serialPort();
    model.baudRate();
    model.tcpHost();
    model.tcpPort();
    const int proto = model.devProto();
    if (model.valid() && proto != 0 && proto != 2 && proto != 3)
        return QStringLiteral("valid model with protocol code %1").arg(proto);
    if ((model.valid() || proto == 1) && model.devProtoName() != QLatin1String(ProtocolNames[proto]))
        return QStringLiteral("protocol code %1 named \"%2\"").arg(proto).arg(model.devProtoName());
    if (model.varCount() < 0 || model.rowCount() != model.varCount())
        return QStringLiteral("%1 variables but %2 rows").arg(model.varCount()).arg(model.rowCount());
    if (model.columnCount() != ColumnCount)
        return QStringLiteral("%1 columns").arg(model.columnCount());
    return QString();
}

QString DescriptionCheck::checkHeaders(const VelmorDeviceModel &model)
{
    for (int section = 0; section < ColumnCount; ++section) {
        if (model.headerData(section, Qt::Horizontal).toString() != HeaderLabels.at(section))
            return QStringLiteral("header %1 is \"%2\"").arg(section).arg(model.headerData(section, Qt::Horizontal).toString());
        if (model.headerData(section, Qt::Vertical).isValid() || model.headerData(section, Qt::Horizontal, Qt::ToolTipRole).isValid())
            return QStringLiteral("header %1 answers a vertical or tool tip request").arg(section);
    }
    return QString();
}

QString DescriptionCheck::checkRow(VelmorDeviceModel &model, int row)
{
    for (const char *attribute : Attributes) {
        if (!isTextOrNothing(model.getVarAttr(unsigned(row), QLatin1String(attribute))))
            return QStringLiteral("row %1: attribute %2 is not a text").arg(row).arg(QLatin1String(attribute));
    }
    const QVariant value = model.getVarValue(unsigned(row));
    if (value.isValid() && value.userType() != QMetaType::Int && value.userType() != QMetaType::Float)
        return QStringLiteral("row %1: value of type %2").arg(row).arg(QLatin1String(value.typeName()));
    if (model.rowCount(model.index(row, 0)) != 0)
        return QStringLiteral("row %1 has children").arg(row);
    for (int column = 0; column <= ColumnCount; ++column) {
        const QString failure = checkCell(model, row, column);
        if (!failure.isEmpty())
            return failure;
    }
    return checkValueWrites(model, row);
}

QString DescriptionCheck::checkCell(const VelmorDeviceModel &model, int row, int column)
{
    const QModelIndex index = model.index(row, column);
    const QString where = QStringLiteral("cell %1,%2: ").arg(row).arg(column);
    if (!index.isValid() || index.row() != row || index.column() != column || index.internalId() != 0)
        return where + QStringLiteral("no proper index");
    if (model.parent(index).isValid())
        return where + QStringLiteral("has a parent");
    const QVariant display = model.data(index, Qt::DisplayRole);
    if (display != model.data(index, Qt::EditRole) || !isTextOrNothing(display))
        return where + QStringLiteral("display and edit roles differ or hold no text");
    if (!isTextOrNothing(model.data(index, Qt::ToolTipRole)))
        return where + QStringLiteral("a tool tip that is no text");
    if (column >= ColumnCount)
        return display.isValid() ? where + QStringLiteral("beyond the last column but holds data") : QString();
    if (display != model.getVarAttr(unsigned(row), QLatin1String(ColumnKeys[column])))
        return where + QStringLiteral("shows something else than its attribute");
    if (!flagsFit(column, model.flags(index), display.isValid()))
        return where + QStringLiteral("flags 0x%1").arg(int(model.flags(index)), 0, 16);
    return QString();
}

QString DescriptionCheck::checkValueWrites(VelmorDeviceModel &model, int row)
{
    const QString where = QStringLiteral("row %1: ").arg(row);
    const QString before = heldValue(model, row);
    const QModelIndex valueCell = model.index(row, ValueColumn);
    if (model.setVarValue(unsigned(row), QStringLiteral("abc")) || model.setVarValue(unsigned(row), QVariant())
        || model.setData(valueCell, QStringLiteral("abc")) || model.setData(valueCell, 3, Qt::DisplayRole))
        return where + QStringLiteral("accepted a value that is no number");
    if (heldValue(model, row) != before)
        return where + QStringLiteral("refused value changed the held value");

    const bool writable = model.setVarValue(unsigned(row), 12);
    if (writable != (model.checkVarValue(unsigned(row), 12) == VelmorDeviceModel::ValueAccepted))
        return where + QStringLiteral("setVarValue and checkVarValue disagree");
    if (writable && model.getVarValue(unsigned(row)).toDouble() != 12.0)
        return where + QStringLiteral("12 reads back as %1").arg(model.getVarValue(unsigned(row)).toString());
    // A bit field holds no negative number, and the view edits only writable values.
    const bool negativeFits = model.checkVarValue(unsigned(row), -7) == VelmorDeviceModel::ValueAccepted;
    if (model.setData(valueCell, QStringLiteral("-7")) != (negativeFits && model.isVarWritable(unsigned(row))))
        return where + QStringLiteral("setData and setVarValue disagree");
    if (negativeFits && model.isVarWritable(unsigned(row)) && model.getVarValue(unsigned(row)).toDouble() != -7.0)
        return where + QStringLiteral("-7 reads back as %1").arg(model.getVarValue(unsigned(row)).toString());

    // Edge values must not crash; a refusal keeps what was held.
    const QVariant edges[] = {std::numeric_limits<int>::min(), 2.5, QStringLiteral("1e39"), QStringLiteral("0x7fffffff")};
    for (const QVariant &edge : edges) {
        const QString held = heldValue(model, row);
        if (!model.setVarValue(unsigned(row), edge) && heldValue(model, row) != held)
            return where + QStringLiteral("refused %1 changed the held value").arg(edge.toString());
        model.getVarValue(unsigned(row));
    }
    return QString();
}

QString DescriptionCheck::checkOutside(VelmorDeviceModel &model)
{
    const int count = model.varCount();
    if (model.index(count, 0).isValid() || model.index(-1, 0).isValid())
        return QStringLiteral("an index outside the %1 rows").arg(count);
    if (model.data(QModelIndex()).isValid() || model.flags(QModelIndex()) != Qt::NoItemFlags
        || model.setData(QModelIndex(), 1))
        return QStringLiteral("the invalid index holds something");
    const unsigned outside[] = {unsigned(count), std::numeric_limits<unsigned>::max()};
    for (const unsigned id : outside) {
        if (model.getVarAttr(id, QStringLiteral("name")).isValid() || model.getVarValue(id).isValid()
            || model.setVarValue(id, 1))
            return QStringLiteral("variable %1 answers beyond the %2 rows").arg(id).arg(count);
    }
    return QString();
}
