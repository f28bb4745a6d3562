#include "velmordevicemodel.h"
#include "velmordevicemodel_p.h"

#include "devicelink.h"

#include <QMetaMethod>
#include <QTimer>

namespace {

const char *const columnKeys[] = {"addr", "name", "value", "desc"};

const Qt::ItemFlags selectableEnabled = Qt::ItemIsSelectable | Qt::ItemIsEnabled;

void logCritical(const char *text)
{
    qCritical("%s", text);
}

} // namespace

VelmorDeviceModel::VelmorDeviceModel(const QString &fileName, QObject *parent)
    : QAbstractItemModel(parent)
    , d(std::make_unique<VelmorDeviceModelPrivate>(this))
    , m_headerLabels({QStringLiteral("Переменная"), QStringLiteral("Имя"),
                      QStringLiteral("Значение"), QStringLiteral("Описание")})
{
    qRegisterMetaType<VelmorDeviceModel::TraceDirection>();
    const bool loaded = d->file.load(fileName);
    m_devProto = d->file.protocol();
    if (!loaded || !d->createLink(d->file.protocolTraits()))
        return;

    LinkSettings settings = d->file.linkSettings();
    if (!d->file.readTuning(&settings) || !d->file.readFraming(&settings))
        return;
    d->tuning = settings;
    m_tcpHost = settings.tcpHost;
    m_tcpPort = settings.tcpPort;
    m_serialPort = settings.serialPort;
    m_baudRate = settings.baudRate;
    m_devId = settings.devId;

    if (!d->file.variables()) {
        logCritical("(VelmorDeviceModel) No variables block in configuration file");
        return;
    }
    d->variables.reset(d->file);
    d->qualities.reset(d->variables.count());
    d->cyclePosition = d->variables.count();
    m_valid = true;
}

VelmorDeviceModel::~VelmorDeviceModel() = default;

bool VelmorDeviceModel::valid() const
{
    return m_valid;
}

QString VelmorDeviceModel::devName() const
{
    return d->file.deviceName();
}

int VelmorDeviceModel::devProto() const
{
    return m_devProto;
}

QString VelmorDeviceModel::devProtoName() const
{
    return d->file.protocolName();
}

int VelmorDeviceModel::devId() const
{
    return m_devId;
}

void VelmorDeviceModel::setDevId(int devId)
{
    if (m_devId == devId)
        return;
    m_devId = devId;
    emit devIdChanged();
}

bool VelmorDeviceModel::autoUpdate() const
{
    return m_autoUpdate;
}

void VelmorDeviceModel::setAutoUpdate(bool on)
{
    if (m_autoUpdate == on)
        return;
    m_autoUpdate = on;
    emit autoUpdateChanged();
    if (!on)
        d->stopCycle(QStringLiteral("continuous update turned off"));
}

QString VelmorDeviceModel::serialPort() const
{
    return m_serialPort;
}

void VelmorDeviceModel::setSerialPort(const QString &serialPort)
{
    if (m_serialPort == serialPort)
        return;
    m_serialPort = serialPort;
    emit serialPortChanged();
}

int VelmorDeviceModel::baudRate() const
{
    return m_baudRate;
}

void VelmorDeviceModel::setBaudRate(int baudRate)
{
    if (m_baudRate == baudRate)
        return;
    m_baudRate = baudRate;
    emit baudRateChanged();
}

QString VelmorDeviceModel::tcpHost() const
{
    return m_tcpHost;
}

void VelmorDeviceModel::setTcpHost(const QString &tcpHost)
{
    if (m_tcpHost == tcpHost)
        return;
    m_tcpHost = tcpHost;
    emit tcpHostChanged();
}

int VelmorDeviceModel::tcpPort() const
{
    return m_tcpPort;
}

void VelmorDeviceModel::setTcpPort(int tcpPort)
{
    if (m_tcpPort == tcpPort)
        return;
    m_tcpPort = tcpPort;
    emit tcpPortChanged();
}

int VelmorDeviceModel::interUpdateDelay() const
{
    return m_interUpdateDelay;
}

void VelmorDeviceModel::setInterUpdateDelay(int delayMs)
{
    if (m_interUpdateDelay == delayMs)
        return;
    m_interUpdateDelay = delayMs;
    emit interUpdateDelayChanged();
}

int VelmorDeviceModel::blockRegisters() const
{
    return d->tuning.blockRegisters;
}

void VelmorDeviceModel::setBlockRegisters(int registers)
{
    if (d->setTuning(&d->tuning.blockRegisters, registers, 0, MaxBlockRegisters, "block"))
        emit blockRegistersChanged();
}

int VelmorDeviceModel::gapRegisters() const
{
    return d->tuning.gapRegisters;
}

void VelmorDeviceModel::setGapRegisters(int registers)
{
    if (d->setTuning(&d->tuning.gapRegisters, registers, 0, MaxGapRegisters, "gap"))
        emit gapRegistersChanged();
}

int VelmorDeviceModel::responseTimeoutMs() const
{
    return d->tuning.responseTimeoutMs;
}

void VelmorDeviceModel::setResponseTimeoutMs(int timeoutMs)
{
    // 0 goes back to the protocol's default.
    const int minimum = timeoutMs == 0 ? 0 : int(MinResponseTimeoutMs);
    if (d->setTuning(&d->tuning.responseTimeoutMs, timeoutMs, minimum, MaxResponseTimeoutMs, "timeout"))
        emit responseTimeoutMsChanged();
}

int VelmorDeviceModel::retries() const
{
    return d->tuning.retries;
}

void VelmorDeviceModel::setRetries(int retries)
{
    if (d->setTuning(&d->tuning.retries, retries, 0, MaxRetries, "retries"))
        emit retriesChanged();
}

QString VelmorDeviceModel::wordOrder() const
{
    return QString::fromStdString(RegisterLayout::wordOrderName(d->tuning.wordOrder));
}

void VelmorDeviceModel::setWordOrder(const QString &order)
{
    RegisterLayout::WordOrder parsed;
    if (!RegisterLayout::wordOrderFromName(order.toStdString(), &parsed)) {
        qWarning("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) Bad value of wordorder setting: %1").arg(order)));
        return;
    }
    if (d->tuning.wordOrder == parsed)
        return;
    d->tuning.wordOrder = parsed;
    emit wordOrderChanged();
}

QStringList VelmorDeviceModel::wordOrderNames()
{
    QStringList names;
    for (const std::string &name : RegisterLayout::wordOrderNames())
        names.append(QString::fromStdString(name));
    return names;
}

QString VelmorDeviceModel::parity() const
{
    return QString::fromStdString(SerialFraming::parityName(d->tuning.framing.parity));
}

void VelmorDeviceModel::setParity(const QString &parity)
{
    SerialFraming::Parity parsed;
    if (!SerialFraming::parityFromName(parity.toStdString(), &parsed)) {
        qWarning("%s", qPrintable(QStringLiteral("(VelmorDeviceModel) Bad value of parity setting: %1").arg(parity)));
        return;
    }
    if (d->tuning.framing.parity == parsed)
        return;
    d->tuning.framing.parity = parsed;
    emit parityChanged();
}

QStringList VelmorDeviceModel::parityNames()
{
    QStringList names;
    for (const std::string &name : SerialFraming::parityNames())
        names.append(QString::fromStdString(name));
    return names;
}

int VelmorDeviceModel::stopBits() const
{
    return d->tuning.framing.stopBits;
}

void VelmorDeviceModel::setStopBits(int bits)
{
    if (d->setTuning(&d->tuning.framing.stopBits, bits, SerialFraming::MinStopBits, SerialFraming::MaxStopBits,
                     "stopbits"))
        emit stopBitsChanged();
}

int VelmorDeviceModel::dataBits() const
{
    return d->tuning.framing.dataBits;
}

void VelmorDeviceModel::setDataBits(int bits)
{
    if (d->setTuning(&d->tuning.framing.dataBits, bits, SerialFraming::MinDataBits, SerialFraming::MaxDataBits,
                     "databits"))
        emit dataBitsChanged();
}

int VelmorDeviceModel::interQueryDelay() const
{
    return m_interQueryDelay;
}

void VelmorDeviceModel::setInterQueryDelay(int delayMs)
{
    m_interQueryDelay = delayMs;
}

bool VelmorDeviceModel::connected() const
{
    return m_connected;
}

bool VelmorDeviceModel::canStoreConfiguration() const
{
    return d->link && d->link->protocol().storesConfiguration;
}

bool VelmorDeviceModel::readsBlocks() const
{
    return d->link && d->link->protocol().readsBlocks;
}

VelmorDeviceModel::Transport VelmorDeviceModel::transport() const
{
    if (!d->link)
        return NoTransport;
    return d->link->protocol().isSerial() ? SerialTransport : TcpTransport;
}

VelmorDeviceModel::ValueQuality VelmorDeviceModel::varQuality(unsigned int id) const
{
    return d->qualities.quality(int(id));
}

QDateTime VelmorDeviceModel::varLastReadTime(unsigned int id) const
{
    return d->qualities.lastRead(int(id));
}

QString VelmorDeviceModel::varLastFailure(unsigned int id) const
{
    return d->qualities.lastFailure(int(id));
}

int VelmorDeviceModel::varCount() const
{
    return d->variables.count();
}

QVariant VelmorDeviceModel::getVarAttr(unsigned int id, const QString &attr) const
{
    return d->variables.attribute(id, attr);
}

QVariant VelmorDeviceModel::getVarValue(unsigned int id) const
{
    return d->variables.value(id);
}

double VelmorDeviceModel::varNumber(unsigned int id) const
{
    return d->variables.number(id);
}

bool VelmorDeviceModel::isVarWritable(unsigned int id) const
{
    return d->variables.isWritable(id);
}

bool VelmorDeviceModel::isVarBitfield(unsigned int id) const
{
    return d->variables.isBitfield(id);
}

bool VelmorDeviceModel::setVarValue(unsigned int id, const QVariant &value)
{
    // A refused input must never reach the controller, not even as the old value.
    if (!d->variables.setValue(id, value))
        return false;
    enqueueCmd({Command::StoreVariable, id});
    return true;
}

VelmorDeviceModel::ValueCheck VelmorDeviceModel::checkVarValue(unsigned int id, const QVariant &value) const
{
    return d->variables.checkValue(id, value);
}

QPair<double, double> VelmorDeviceModel::varValueRange(unsigned int id) const
{
    const ValueInput::Range range = d->variables.valueRange(id);
    return {range.minimum, range.maximum};
}

void VelmorDeviceModel::enqueueCmd(const Command &cmd)
{
    d->commands.enqueue(cmd);
}

QModelIndex VelmorDeviceModel::index(int row, int column, const QModelIndex &) const
{
    if (row < 0 || row >= varCount())
        return QModelIndex();
    return createIndex(row, column, quintptr(0));
}

QModelIndex VelmorDeviceModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int VelmorDeviceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : varCount();
}

int VelmorDeviceModel::columnCount(const QModelIndex &) const
{
    return m_headerLabels.size();
}

QVariant VelmorDeviceModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() > VelmorDeviceModelPrivate::DescColumn)
        return QVariant();
    const unsigned int id = unsigned(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return getVarAttr(id, QString::fromLatin1(columnKeys[index.column()]));
    case Qt::ToolTipRole:
        return d->toolTip(id);
    case QualityRole:
        return int(varQuality(id));
    case Qt::TextAlignmentRole:
        if (index.column() == VelmorDeviceModelPrivate::ValueColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

bool VelmorDeviceModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // Only a cell the views may edit takes a value: the value of a writable variable.
    if (role != Qt::EditRole || !flags(index).testFlag(Qt::ItemIsEditable))
        return false;
    if (!setVarValue(unsigned(index.row()), value))
        return false;
    emit dataChanged(index, index);
    return true;
}

QVariant VelmorDeviceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section < 0 || section >= m_headerLabels.size())
        return QVariant();
    return m_headerLabels.at(section);
}

Qt::ItemFlags VelmorDeviceModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const YAML::Node entry = d->variables.variable(unsigned(index.row()));
    switch (index.column()) {
    case VelmorDeviceModelPrivate::ValueColumn:
        return isVarWritable(unsigned(index.row())) ? selectableEnabled | Qt::ItemIsEditable
                                                           : selectableEnabled;
    case VelmorDeviceModelPrivate::DescColumn:
        return entry && entry["desc"] ? selectableEnabled : Qt::ItemIsSelectable;
    case VelmorDeviceModelPrivate::NameColumn:
        return entry && entry["name"] ? selectableEnabled : Qt::ItemIsSelectable;
    default:
        return selectableEnabled;
    }
}

void VelmorDeviceModel::connectDevice()
{
    if (m_devProto == VelmorbusTcp) {
        logCritical("VELMOR::VelmorBUS TCP proto not suported yet");
        return;
    }
    if (!d->link) {
        emit errorOccured(QStringLiteral("Unable to connect: the description names no known protocol"));
        return;
    }
    LinkSettings settings = d->tuning;
    settings.serialPort = m_serialPort;
    settings.baudRate = m_baudRate;
    settings.tcpHost = m_tcpHost;
    settings.tcpPort = m_tcpPort;
    settings.devId = m_devId;
    const QString refusal = d->link->addressRefusal(m_devId);
    if (!refusal.isEmpty()) {
        emit errorOccured(refusal);
        emit connectFailed(refusal);
        return;
    }
    if (d->link->protocol().readsBlocks)
        d->plan = ReadPlan(settings.blockRegisters, settings.gapRegisters);
    if (!d->link->open(settings)) {
        emit errorOccured(d->link->openFailure());
        emit connectFailed(d->link->openFailureReason());
        return;
    }
    m_connected = true;
}

void VelmorDeviceModel::connectNotify(const QMetaMethod &signal)
{
    QAbstractItemModel::connectNotify(signal);
    if (d->link && signal == QMetaMethod::fromSignal(&VelmorDeviceModel::frameTraced))
        d->link->enableTrace();
}

void VelmorDeviceModel::disconnectDevice()
{
    setAutoUpdate(false);
    if (d->link)
        d->link->close();
    m_connected = false;
    d->linkDown();
}

void VelmorDeviceModel::updateDeviceModel()
{
    // A description without variables still runs its cycle: queued commands go out, and
    // updateFinished tells a waiting program that the cycle is over.
    if (!d->link || d->cycleRunning())
        return;
    ++d->cycleGeneration;
    d->pendingRequest = 0;
    m_updateStopwatch.start();
    d->cyclePosition = 0;
    processNextVariable();
}

void VelmorDeviceModel::processNextVariable()
{
    // A TCP link takes requests only once the server has accepted the connection.
    if (d->link->isConnecting()) {
        d->waitForLink();
        return;
    }
    // The id may have changed since the link opened.
    const QString refusal = d->link->addressRefusal(m_devId);
    if (!refusal.isEmpty()) {
        emit errorOccured(refusal);
        d->abandonCycle(refusal);
        return;
    }
    if (!d->commands.isEmpty()) {
        processQueueCmd();
        return;
    }
    if (!d->cycleRunning()) {
        d->cycleEnded();
        emit updateFinished(int(m_updateStopwatch.elapsed()));
        if (m_autoUpdate)
            QTimer::singleShot(m_interUpdateDelay, Qt::PreciseTimer, this, &VelmorDeviceModel::updateDeviceModel);
        return;
    }
    d->queryCurrentVariable();
}

void VelmorDeviceModel::varUpdated(quint64 request, quint32 rawWord, const QString &failure)
{
    const bool current = request == d->pendingRequest;
    if (current)
        d->pendingRequest = 0;
    // A reply of a stopped or replaced cycle: its failure is reported, its value is not stored.
    if (!current || !d->cycleRunning()) {
        if (!failure.isEmpty())
            emit errorOccured(failure);
        return;
    }
    if (!failure.isEmpty()) {
        d->failCurrentVariable(failure, d->link->pauseAfterFailure(m_interQueryDelay));
        return;
    }
    d->storeReadValue(rawWord);
    invokeNextProcess(m_interQueryDelay);
}

void VelmorDeviceModel::invokeNextProcess(int delayMs)
{
    if (!d->cycleRunning())
        return;
    ++d->cyclePosition;
    d->scheduleNextStep(delayMs);
}

void VelmorDeviceModel::storeToFlash()
{
    if (!m_connected)
        return;
    enqueueCmd({Command::StoreConfiguration, 0});
}

void VelmorDeviceModel::processQueueCmd()
{
    d->pendingRequest = d->commands.sendNext(*d->link, m_devId);
    if (!d->pendingRequest)
        d->scheduleNextStep(0);
}
