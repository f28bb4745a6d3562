#include "velmordevicemodel.h"
#include "velmordevicemodel_p.h"

#include "modbusreplymatch.h"
#include "modbusrtulinewatch.h"
#include "velmorbusrtuserialmaster.h"

#include <QDataStream>
#include <QDebug>
#include <QFile>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QModbusTcpClient>
#include <QSerialPort>
#include <QTimer>

#include <limits>

namespace {

const quint16 flashStoreAddr = 0xFD;
// Response timeouts the next Modbus RTU request waits after one that may still be answered.
const int lateAnswerWaitTimeouts = 2;
const int velmorValueBytes = 4;

enum Column {
    ColumnAddr = 0,
    ColumnName = 1,
    ColumnValue = 2,
    ColumnDesc = 3
};

const char *const columnKeys[] = {"addr", "name", "value", "desc"};

const Qt::ItemFlags selectableEnabled = Qt::ItemIsSelectable | Qt::ItemIsEnabled;

bool isVelmorbus(int protocol)
{
    return protocol == VelmorDeviceModel::VelmorbusRtu || protocol == VelmorDeviceModel::VelmorbusTcp;
}

bool isModbus(int protocol)
{
    return protocol == VelmorDeviceModel::ModbusRtu || protocol == VelmorDeviceModel::ModbusTcp;
}

void logCritical(const char *text)
{
    qCritical("%s", text);
}

} // namespace

VelmorDeviceModel::VelmorDeviceModel(const QString &fileName, QObject *parent)
    : QAbstractItemModel(parent)
    , d(new VelmorDeviceModelPrivate)
    , m_headerLabels({QStringLiteral("Переменная"), QStringLiteral("Имя"),
                      QStringLiteral("Значение"), QStringLiteral("Описание")})
{
    const bool loaded = d->file.load(fileName);
    m_devProto = d->file.protocol();
    if (!loaded)
        return;

    switch (m_devProto) {
    case VelmorbusTcp:
        logCritical("(VelmorDeviceModel) VelmorBUS TCP proto not suported yet");
        return;
    case VelmorbusRtu:
        d->rtuMaster = new VelmorbusRtuSerialMaster(this);
        connect(d->rtuMaster, &VelmorbusRtuSerialMaster::errorOccurred, this, [this] {
            onLinkLost(QStringLiteral("serial port %1 failed").arg(m_serialPort));
        });
        break;
    case ModbusRtu:
        d->modbusClient = new QModbusRtuSerialMaster(this);
        d->lineWatch = new ModbusRtuLineWatch(this);
        connect(d->lineWatch, &ModbusRtuLineWatch::lost, this, [this] {
            if (!d->closingLink)
                onLinkLost(d->modbusClient->errorString());
        });
        break;
    case ModbusTcp:
        d->modbusClient = new QModbusTcpClient(this);
        break;
    }
    if (d->modbusClient) {
        connect(d->modbusClient, &QModbusClient::stateChanged, this,
                [this](QModbusDevice::State state) { onModbusStateChanged(state); });
    }

    const LinkSettings settings = d->file.linkSettings();
    m_tcpHost = settings.tcpHost;
    m_tcpPort = settings.tcpPort;
    m_serialPort = settings.serialPort;
    m_baudRate = settings.baudRate;
    m_devId = settings.devId;

    const YAML::Node variables = d->file.variables();
    if (!variables) {
        logCritical("(VelmorDeviceModel) No variables block in configuration file");
        return;
    }
    d->variables.reset(variables);
    d->cyclePosition = d->variables.count();
    m_valid = true;
}

VelmorDeviceModel::~VelmorDeviceModel()
{
    delete d;
}

bool VelmorDeviceModel::valid() const
{
    return m_valid;
}

QString VelmorDeviceModel::devName() const
{
    return d->file.has("device") ? d->file.text("device") : QStringLiteral("Unknown Device");
}

int VelmorDeviceModel::devProto() const
{
    return m_devProto;
}

QString VelmorDeviceModel::devProtoName() const
{
    return d->file.text("protocol");
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
        d->cyclePosition = d->variables.count();
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

bool VelmorDeviceModel::setVarValue(unsigned int id, const QVariant &value)
{
    // A refused input must never reach the controller, not even as the old value.
    if (!d->variables.setValue(id, value))
        return false;
    enqueueCmd({Command::StoreVariable, id});
    return true;
}

void VelmorDeviceModel::enqueueCmd(const Command &cmd)
{
    if (m_commandQueue.contains(cmd))
        return;
    qDebug() << "Enqueue command" << cmd.type << cmd.varId;
    m_commandQueue.enqueue(cmd);
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
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    if (index.column() > ColumnDesc)
        return QVariant();
    return getVarAttr(unsigned(index.row()), QString::fromLatin1(columnKeys[index.column()]));
}

bool VelmorDeviceModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole)
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
    case ColumnValue:
        return DescriptionFile::boolAttribute(entry, "rw") ? selectableEnabled | Qt::ItemIsEditable
                                                           : selectableEnabled;
    case ColumnDesc:
        return entry && entry["desc"] ? selectableEnabled : Qt::ItemIsSelectable;
    case ColumnName:
        return entry && entry["name"] ? selectableEnabled : Qt::ItemIsSelectable;
    default:
        return selectableEnabled;
    }
}

void VelmorDeviceModel::connectDevice()
{
    bool opened = true;
    switch (m_devProto) {
    case VelmorbusTcp:
        logCritical("VELMOR::VelmorBUS TCP proto not suported yet");
        return;
    case VelmorbusRtu:
        opened = !d->rtuMaster || openVelmorLink();
        break;
    case ModbusRtu:
        opened = !d->modbusClient || openModbusRtuLink();
        break;
    case ModbusTcp:
        opened = !d->modbusClient || openModbusTcpLink();
        break;
    }
    if (opened)
        m_connected = true;
}

bool VelmorDeviceModel::openVelmorLink()
{
    d->rtuMaster->setPortName(m_serialPort);
    d->rtuMaster->setBaudRate(m_baudRate);
    if (d->rtuMaster->open())
        return true;
    emit errorOccured(serialOpenFailure());
    return false;
}

bool VelmorDeviceModel::openModbusRtuLink()
{
    d->modbusClient->setConnectionParameter(QModbusDevice::SerialPortNameParameter, m_serialPort);
    d->modbusClient->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, m_baudRate);
    d->modbusClient->setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
    d->modbusClient->setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    d->modbusClient->setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::OneStop);
    d->modbusClient->setNumberOfRetries(0);
    if (d->modbusClient->connectDevice()) {
        if (auto *port = d->modbusClient->findChild<QSerialPort *>())
            d->lineWatch->attach(port);
        return true;
    }
    emit errorOccured(serialOpenFailure());
    return false;
}

bool VelmorDeviceModel::openModbusTcpLink()
{
    d->modbusClient->setConnectionParameter(QModbusDevice::NetworkAddressParameter, m_tcpHost);
    d->modbusClient->setConnectionParameter(QModbusDevice::NetworkPortParameter, m_tcpPort);
    d->modbusClient->setNumberOfRetries(0);
    if (d->modbusClient->connectDevice())
        return true;
    emit errorOccured(tcpConnectFailure());
    return false;
}

QString VelmorDeviceModel::serialOpenFailure() const
{
    return QStringLiteral("Unable open serial port %1 (baudrate: %2)").arg(m_serialPort).arg(m_baudRate);
}

QString VelmorDeviceModel::tcpConnectFailure() const
{
    return QStringLiteral("Unable connect to %1:%2").arg(m_tcpHost).arg(m_tcpPort);
}

void VelmorDeviceModel::disconnectDevice()
{
    setAutoUpdate(false);
    d->closingLink = true;
    if (d->modbusClient)
        d->modbusClient->disconnectDevice();
    if (d->rtuMaster)
        d->rtuMaster->close();
    d->closingLink = false;
    m_connected = false;
}

void VelmorDeviceModel::onModbusStateChanged(int state)
{
    if (state == QModbusDevice::ConnectedState)
        d->linkUp = true;
    if (state != QModbusDevice::UnconnectedState)
        return;
    const bool wasUp = d->linkUp;
    d->linkUp = false;
    if (d->closingLink || !m_connected)
        return;
    // The TCP client accepts connectDevice() before the server answers; a refused or
    // closed connection only shows up here. Replies in flight report a loss themselves.
    m_connected = false;
    if (!wasUp)
        emit errorOccured(tcpConnectFailure());
}

void VelmorDeviceModel::onLinkLost(const QString &errorText)
{
    if (!m_connected)
        return;
    emit errorOccured(QStringLiteral("Connection lost: %1").arg(errorText));
    // The request in flight fails with the line; that is the loss just reported.
    if (QObject *reply = d->pendingReply) {
        disconnect(reply, nullptr, this, nullptr);
        connect(reply, SIGNAL(finished()), reply, SLOT(deleteLater()));
    }
    d->pendingReply = nullptr;
    d->cyclePosition = d->variables.count();
    disconnectDevice();
}

bool VelmorDeviceModel::cycleRunning() const
{
    return d->cyclePosition < d->variables.count();
}

void VelmorDeviceModel::updateDeviceModel()
{
    if (!d->rtuMaster && !d->modbusClient)
        return;
    if (varCount() == 0 || cycleRunning())
        return;
    ++d->cycleGeneration;
    d->pendingReply = nullptr;
    m_updateStopwatch.start();
    d->cyclePosition = 0;
    processNextVariable();
}

void VelmorDeviceModel::scheduleNextStep(int delayMs)
{
    const quint64 generation = d->cycleGeneration;
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, generation] {
        if (generation == d->cycleGeneration)
            processNextVariable();
    });
}

void VelmorDeviceModel::processNextVariable()
{
    // The TCP client takes requests only once the server has accepted the connection.
    if (d->modbusClient && d->modbusClient->state() == QModbusDevice::ConnectingState) {
        waitForModbusConnection();
        return;
    }
    if (!m_commandQueue.isEmpty()) {
        processQueueCmd();
        return;
    }
    if (!cycleRunning()) {
        emit updateFinished(int(m_updateStopwatch.elapsed()));
        if (m_autoUpdate)
            QTimer::singleShot(m_interUpdateDelay, Qt::PreciseTimer, this, &VelmorDeviceModel::updateDeviceModel);
        return;
    }
    if (isVelmorbus(m_devProto))
        queryVelmorVariable();
    else if (isModbus(m_devProto))
        queryModbusVariable();
}

void VelmorDeviceModel::abandonCycle()
{
    logCritical("MODBUS::reply is nullptr");
    d->cyclePosition = d->variables.count();
    emit errorOccured(QStringLiteral("Update stopped: request could not be sent"));
}

bool VelmorDeviceModel::readCurrentVariableLink(VariableLink *link)
{
    if (d->variables.link(unsigned(d->cyclePosition), link))
        return true;
    emit errorOccured(QStringLiteral("Unable to read variable %1: bad description")
                          .arg(d->variables.label(unsigned(d->cyclePosition))));
    invokeNextProcess();
    return false;
}

void VelmorDeviceModel::waitForModbusConnection()
{
    const quint64 generation = d->cycleGeneration;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(d->modbusClient, &QModbusClient::stateChanged, this,
                          [this, generation, connection](QModbusDevice::State state) {
        if (state == QModbusDevice::ConnectingState)
            return;
        disconnect(*connection);
        if (generation != d->cycleGeneration)
            return;
        if (state == QModbusDevice::ConnectedState)
            processNextVariable();
        else
            d->cyclePosition = d->variables.count(); // the failed connection is reported already
    });
}

void VelmorDeviceModel::queryModbusVariable()
{
    VariableLink link;
    if (!readCurrentVariableLink(&link))
        return;
    const auto registerType = link.input ? QModbusDataUnit::InputRegisters : QModbusDataUnit::HoldingRegisters;
    const int count = RegisterLayout::modbusRegisterCount(link.type);
    const QModbusDataUnit unit(registerType, link.addr, QVector<quint16>(count, 0));
    QModbusReply *reply = d->modbusClient->sendReadRequest(unit, m_devId);
    if (!reply) {
        abandonCycle();
        return;
    }
    awaitReply(reply);
    connect(reply, &QModbusReply::finished, this, &VelmorDeviceModel::varUpdated);
    finishLaterIfDone(reply);
}

void VelmorDeviceModel::queryVelmorVariable()
{
    VariableLink link;
    if (!readCurrentVariableLink(&link))
        return;
    const VelmorBusPacket request(VelmorBusPacket::CmdRead, link.addr, velmorValueBytes);
    VelmorbusReply *reply = d->rtuMaster->sendRequest(request, quint8(m_devId));
    if (!reply) {
        abandonCycle();
        return;
    }
    awaitReply(reply);
    connect(reply, &VelmorbusReply::finished, this, &VelmorDeviceModel::varUpdated);
}

void VelmorDeviceModel::awaitReply(QObject *reply)
{
    d->pendingReply = reply;
    if (d->lineWatch)
        d->lineWatch->requestSent();
}

bool VelmorDeviceModel::settlePendingReply(QObject *reply)
{
    if (reply != d->pendingReply)
        return false;
    d->pendingReply = nullptr;
    if (d->lineWatch)
        d->lineWatch->answerSettled();
    return true;
}

void VelmorDeviceModel::finishLaterIfDone(QModbusReply *reply)
{
    // A broadcast (server address 0) comes back already finished and never emits finished().
    if (reply->isFinished())
        QMetaObject::invokeMethod(reply, &QModbusReply::finished, Qt::QueuedConnection);
}

void VelmorDeviceModel::varUpdated()
{
    QObject *reply = sender();
    if (!reply)
        return;
    reply->deleteLater();
    const bool current = settlePendingReply(reply);

    quint32 rawWord = 0;
    const bool good = isModbus(m_devProto) ? modbusRawWord(qobject_cast<QModbusReply *>(reply), &rawWord)
                                           : velmorRawWord(qobject_cast<VelmorbusReply *>(reply), &rawWord);
    // A reply of a stopped or replaced cycle: its failure is reported, its value is not stored.
    if (!current)
        return;
    if (!good) {
        invokeNextProcess(quietPauseAfter(reply, m_interQueryDelay));
        return;
    }
    if (!cycleRunning())
        return;
    if (!modbusReplyAnswersCurrentVariable(reply)) {
        invokeNextProcess(quietPauseAfter(reply, m_interQueryDelay));
        return;
    }
    storeReadValue(rawWord);
    emit updateViewport();
    invokeNextProcess();
}

bool VelmorDeviceModel::modbusRawWord(QModbusReply *reply, quint32 *rawWord)
{
    if (reply->error() != QModbusDevice::NoError) {
        // Qt reports an exception response as a protocol error. Its function code is not
        // read here: Qt 5.15 keeps it sign-extended, an invalid enumeration value.
        const QByteArray exceptionData = reply->rawResult().data();
        const int exceptionCode = reply->error() == QModbusDevice::ProtocolError && !exceptionData.isEmpty()
                                      ? quint8(exceptionData.at(0)) : 255;
        emit errorOccured(reply->errorString());
        qDebug().noquote() << reply->errorString() << QStringLiteral("(%1)").arg(exceptionCode);
        return false;
    }
    const QModbusDataUnit result = reply->result();
    const quint16 first = result.valueCount() > 0 ? result.value(0) : 0;
    const quint16 second = result.valueCount() == 2 ? result.value(1) : 0;
    *rawWord = RegisterLayout::rawWordFromModbusRead(first, second);
    return true;
}

QString VelmorDeviceModel::velmorFailure(VelmorbusReply *reply)
{
    if (reply->error() != VelmorbusReply::NoError)
        return reply->errorString();
    const int status = reply->result().stat();
    if (status != VelmorBusPacket::StatOk)
        return QStringLiteral("(Velmorbus) reply status is not ok (0x%1)").arg(status, 0, 16);
    return QString();
}

bool VelmorDeviceModel::velmorRawWord(VelmorbusReply *reply, quint32 *rawWord)
{
    QString failure = velmorFailure(reply);
    const QVector<qint32> words = reply->result().dataAsInt32Vector();
    if (failure.isEmpty() && words.isEmpty())
        failure = QStringLiteral("(Velmorbus) reply carries no value");
    if (!failure.isEmpty()) {
        emit errorOccured(failure);
        qDebug().noquote() << failure;
        return false;
    }
    *rawWord = quint32(words.first());
    return true;
}

bool VelmorDeviceModel::modbusReplyAnswersCurrentVariable(QObject *reply)
{
    // The Velmorbus master checks its answers itself.
    const auto *modbusReply = qobject_cast<QModbusReply *>(reply);
    VariableLink link;
    if (!modbusReply || !d->variables.link(unsigned(d->cyclePosition), &link))
        return true;
    const auto functionCode = link.input ? QModbusPdu::ReadInputRegisters : QModbusPdu::ReadHoldingRegisters;
    const QString failure = ModbusReplyMatch::mismatch(
        *modbusReply, {functionCode, link.addr, RegisterLayout::modbusRegisterCount(link.type)});
    if (failure.isEmpty())
        return true;
    emit errorOccured(failure);
    qDebug().noquote() << failure;
    return false;
}

void VelmorDeviceModel::storeReadValue(quint32 rawWord)
{
    d->variables.storeRawWord(unsigned(d->cyclePosition), rawWord);
}

void VelmorDeviceModel::invokeNextProcess()
{
    invokeNextProcess(m_interQueryDelay);
}

void VelmorDeviceModel::invokeNextProcess(int delayMs)
{
    if (!cycleRunning())
        return;
    ++d->cyclePosition;
    scheduleNextStep(delayMs);
}

int VelmorDeviceModel::quietPauseAfter(QObject *failedReply, int usualDelayMs) const
{
    // The RTU client matches an answer by server address and function code only, so one
    // that comes after its timeout would be taken for the next request of that kind. A
    // request that timed out may still be answered, and an answer that was not for its
    // request (no error, yet failed) was a late one: the next request waits two more
    // timeouts, so that a late answer arrives while no request is open and is dropped.
    const auto *modbusReply = qobject_cast<QModbusReply *>(failedReply);
    const bool lateAnswerPossible = modbusReply && (modbusReply->error() == QModbusDevice::TimeoutError
                                                    || modbusReply->error() == QModbusDevice::NoError);
    if (m_devProto != ModbusRtu || !lateAnswerPossible)
        return usualDelayMs;
    return qMax(usualDelayMs, lateAnswerWaitTimeouts * d->modbusClient->timeout());
}

void VelmorDeviceModel::storeToFlash()
{
    if (!m_connected)
        return;
    enqueueCmd({Command::StoreConfiguration, 0});
}

void VelmorDeviceModel::processQueueCmd()
{
    const Command cmd = m_commandQueue.dequeue();
    const bool sent = cmd.type == Command::StoreVariable ? sendStoreVariable(cmd) : sendStoreConfiguration(cmd);
    if (!sent)
        scheduleNextStep(0);
}

bool VelmorDeviceModel::sendStoreVariable(const Command &cmd)
{
    const YAML::Node entry = d->variables.variable(cmd.varId);
    if (!entry || !entry["value"])
        return false;
    qDebug().noquote() << "Processing store variable" << DescriptionFile::scalarText(entry["name"]);
    VariableLink link;
    quint32 pattern = 0;
    if (!d->variables.link(cmd.varId, &link) || !d->variables.writePattern(cmd.varId, link.type, &pattern)) {
        reportFailedWrite(cmd.varId, QStringLiteral("bad description"));
        return false;
    }
    if (isVelmorbus(m_devProto)) {
        VelmorBusPacket request(VelmorBusPacket::CmdWrite, link.addr, velmorValueBytes);
        request.setData(qint32(pattern));
        return sendVelmorCommand(request, cmd);
    }
    if (isModbus(m_devProto))
        return sendModbusWrite(link, pattern, cmd);
    return false;
}

bool VelmorDeviceModel::sendModbusWrite(const VariableLink &link, quint32 pattern, const Command &cmd)
{
    const int count = RegisterLayout::modbusRegisterCount(link.type);
    QByteArray payload;
    QDataStream stream(&payload, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::BigEndian);
    stream << link.addr << quint16(count) << quint8(2 * count);
    for (int i = 0; i < count; ++i)
        stream << RegisterLayout::modbusWriteRegister(pattern, i);
    const QModbusRequest request(QModbusRequest::WriteMultipleRegisters, payload);
    QModbusReply *reply = d->modbusClient->sendRawRequest(request, m_devId);
    if (!reply) {
        logCritical("MODBUS::reply is nullptr");
        reportFailedWrite(cmd.varId, QStringLiteral("request could not be sent"));
        return false;
    }
    watchCommand(reply, cmd);
    finishLaterIfDone(reply);
    return true;
}

bool VelmorDeviceModel::sendStoreConfiguration(const Command &cmd)
{
    qDebug("Processing store configuration to FLASH");
    if (!isVelmorbus(m_devProto))
        return false;
    VelmorBusPacket request(VelmorBusPacket::CmdWrite, flashStoreAddr, velmorValueBytes);
    request.setData(qint32(1));
    return sendVelmorCommand(request, cmd);
}

bool VelmorDeviceModel::sendVelmorCommand(const VelmorBusPacket &request, const Command &cmd)
{
    VelmorbusReply *reply = d->rtuMaster ? d->rtuMaster->sendRequest(request, quint8(m_devId)) : nullptr;
    if (!reply) {
        logCritical("VELMORBUS::reply is nullptr");
        if (cmd.type == Command::StoreConfiguration)
            emit errorOccured(QStringLiteral("Saving to FLASH failed"));
        else
            reportFailedWrite(cmd.varId, QStringLiteral("request could not be sent"));
        return false;
    }
    watchCommand(reply, cmd);
    return true;
}

template <typename Reply>
void VelmorDeviceModel::watchCommand(Reply *reply, const Command &cmd)
{
    awaitReply(reply);
    connect(reply, &Reply::finished, this, [this, reply, cmd] { commandFinished(reply, cmd); });
}

void VelmorDeviceModel::commandFinished(QObject *reply, const Command &cmd)
{
    reply->deleteLater();
    const bool current = settlePendingReply(reply);
    const QString failure = isModbus(m_devProto) ? modbusWriteFailure(qobject_cast<QModbusReply *>(reply), cmd)
                                                 : velmorFailure(qobject_cast<VelmorbusReply *>(reply));
    if (!failure.isEmpty())
        qDebug().noquote() << "VELMOR::data update error:" << failure;
    if (cmd.type == Command::StoreConfiguration) {
        if (failure.isEmpty()) {
            qDebug("Configuration stored to FLASH");
            emit storeToFlashComplete();
        } else {
            emit errorOccured(QStringLiteral("Saving to FLASH failed"));
        }
    } else if (!failure.isEmpty()) {
        reportFailedWrite(cmd.varId, failure);
    }
    // A completion of a replaced cycle must not start a second chain of steps.
    if (current)
        scheduleNextStep(failure.isEmpty() ? 0 : quietPauseAfter(reply, 0));
}

QString VelmorDeviceModel::modbusWriteFailure(QModbusReply *reply, const Command &cmd)
{
    if (reply->error() != QModbusDevice::NoError)
        return reply->errorString();
    VariableLink link;
    d->variables.link(cmd.varId, &link);
    return ModbusReplyMatch::mismatch(*reply, {QModbusPdu::WriteMultipleRegisters, link.addr,
                                              RegisterLayout::modbusRegisterCount(link.type)});
}

void VelmorDeviceModel::reportFailedWrite(unsigned int varId, const QString &reason)
{
    emit errorOccured(QStringLiteral("Writing variable %1 failed: %2").arg(d->variables.label(varId), reason));
}
