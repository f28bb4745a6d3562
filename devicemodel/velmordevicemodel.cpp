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

enum ProtocolCode {
    VelmorBusRtu = 0,
    VelmorBusTcp = 1,
    ModBusRtu = 2,
    ModBusTcp = 3
};

const char *const protocolNames[] = {"VelmorBUS RTU", "VelmorBUS TCP", "ModBUS RTU", "ModBUS TCP"};

// Larger description files are refused before parsing: 100,000 variables take about 10 MiB.
const qint64 maxDescriptionFileBytes = 64 * 1024 * 1024;

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

// False when the file holds more than the limit. Devices and pipes report no size and
// may never end, so they are read piecewise up to the limit.
bool readDescriptionText(QFile &file, QByteArray *text)
{
    if (!file.isSequential()) {
        if (file.size() > maxDescriptionFileBytes)
            return false;
        *text = file.readAll();
        return text->size() <= maxDescriptionFileBytes;
    }
    const qint64 chunkBytes = 64 * 1024;
    for (QByteArray chunk = file.read(chunkBytes); !chunk.isEmpty(); chunk = file.read(chunkBytes)) {
        text->append(chunk);
        if (text->size() > maxDescriptionFileBytes)
            return false;
    }
    return true;
}

bool isVelmorbus(int protocol)
{
    return protocol == VelmorBusRtu || protocol == VelmorBusTcp;
}

bool isModbus(int protocol)
{
    return protocol == ModBusRtu || protocol == ModBusTcp;
}

// A YAML boolean ("y", "yes", "true", "on", ... in three letter cases); absent reads as false.
bool readBool(const YAML::Node &entry, const char *key, bool *value)
{
    const YAML::Node node = entry[key];
    *value = false;
    if (!node)
        return true;
    try {
        *value = node.as<bool>();
        return true;
    } catch (const YAML::Exception &) {
        return false;
    }
}

bool boolAttribute(const YAML::Node &entry, const char *key)
{
    bool value;
    return readBool(entry, key, &value) && value;
}

// Empty for an absent key (whose node refuses Scalar()) and for a node that is not a scalar.
std::string scalarString(const YAML::Node &node)
{
    return node ? node.Scalar() : std::string();
}

QString scalarText(const YAML::Node &node)
{
    return QString::fromStdString(scalarString(node));
}

void logCritical(const char *text)
{
    qCritical("%s", text);
}

} // namespace

YAML::Node VelmorDeviceModelPrivate::variable(unsigned int id) const
{
    if (id >= unsigned(variableCount()))
        return YAML::Node(YAML::NodeType::Undefined);
    const YAML::Node &table = variables;
    const YAML::Node entry = table[id];
    return entry.IsMap() ? entry : YAML::Node(YAML::NodeType::Undefined);
}

int VelmorDeviceModelPrivate::variableCount() const
{
    return variables.IsSequence() ? int(variables.size()) : 0;
}

QString VelmorDeviceModelPrivate::variableLabel(unsigned int id) const
{
    const YAML::Node entry = variable(id);
    if (entry && entry["name"])
        return scalarText(entry["name"]);
    return QStringLiteral("#%1").arg(id);
}

bool VelmorDeviceModelPrivate::readVariableLink(unsigned int id, VariableLink *link) const
{
    if (id >= unsigned(variableCount()))
        return false;
    // Only "value" changes after construction, so each description is parsed once, when
    // the link first needs it; yaml-cpp's lookups would otherwise dominate a fast poll.
    if (linkCache.empty())
        linkCache.resize(size_t(variableCount()));
    CachedLink &cached = linkCache[id];
    if (cached.state == CachedLink::Unread)
        cached.state = parseVariableLink(id, &cached.link) ? CachedLink::Usable : CachedLink::Unusable;
    *link = cached.link;
    return cached.state == CachedLink::Usable;
}

bool VelmorDeviceModelPrivate::parseVariableLink(unsigned int id, VariableLink *link) const
{
    const YAML::Node entry = variable(id);
    if (!entry)
        return false;
    try {
        link->addr = quint16(entry["addr"].as<int>());
    } catch (const YAML::Exception &) {
        return false;
    }
    const YAML::Node typeNode = entry["type"];
    const std::string typeText = scalarString(typeNode);
    link->type = RegisterLayout::typeFromText(typeNode ? &typeText : nullptr);
    return readBool(entry, "input", &link->input) && readBool(entry, "bitfield", &link->bitfield);
}

bool VelmorDeviceModelPrivate::readWritePattern(unsigned int id, RegisterLayout::Type type,
                                                quint32 *pattern) const
{
    const YAML::Node value = variable(id)["value"];
    try {
        if (type == RegisterLayout::Type::Float32) {
            *pattern = RegisterLayout::floatPattern(value.as<float>());
            return true;
        }
        // Bit fields are held unsigned, so the whole unsigned 32-bit range is accepted too.
        const long long number = value.as<long long>();
        if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<quint32>::max())
            return false;
        *pattern = quint32(number);
        return true;
    } catch (const YAML::Exception &) {
        return false;
    }
}

VelmorDeviceModel::VelmorDeviceModel(const QString &fileName, QObject *parent)
    : QAbstractItemModel(parent)
    , d(new VelmorDeviceModelPrivate)
    , m_headerLabels({QStringLiteral("Переменная"), QStringLiteral("Имя"),
                      QStringLiteral("Значение"), QStringLiteral("Описание")})
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        logCritical("(VelmorDeviceModel) Unable to open configuration file");
        return;
    }
    QByteArray text;
    const bool withinLimit = readDescriptionText(file, &text);
    file.close();
    if (!withinLimit) {
        logCritical("(VelmorDeviceModel) Unable to parse configuration file");
        return;
    }
    // One copy of the text fewer while the parser builds its own.
    const std::string yamlText = text.toStdString();
    text.clear();
    try {
        d->config = YAML::Load(yamlText);
    } catch (const std::exception &) {
        logCritical("(VelmorDeviceModel) Unable to parse configuration file");
        return;
    }

    const YAML::Node &root = d->config;
    if (!root.IsMap() || !root["protocol"]) {
        logCritical("(VelmorDeviceModel) Device protocol not specified");
        return;
    }
    const std::string protocolText = scalarString(root["protocol"]);
    const auto known = std::find(std::begin(protocolNames), std::end(protocolNames), protocolText);
    if (known == std::end(protocolNames)) {
        logCritical("(VelmorDeviceModel) Device protocol not supported");
        return;
    }
    m_devProto = int(known - std::begin(protocolNames));

    switch (m_devProto) {
    case VelmorBusTcp:
        logCritical("(VelmorDeviceModel) VelmorBUS TCP proto not suported yet");
        return;
    case VelmorBusRtu:
        d->rtuMaster = new VelmorbusRtuSerialMaster(this);
        connect(d->rtuMaster, &VelmorbusRtuSerialMaster::errorOccurred, this, [this] {
            onLinkLost(QStringLiteral("serial port %1 failed").arg(m_serialPort));
        });
        break;
    case ModBusRtu:
        d->modbusClient = new QModbusRtuSerialMaster(this);
        d->lineWatch = new ModbusRtuLineWatch(this);
        connect(d->lineWatch, &ModbusRtuLineWatch::lost, this, [this] {
            if (!d->closingLink)
                onLinkLost(d->modbusClient->errorString());
        });
        break;
    case ModBusTcp:
        d->modbusClient = new QModbusTcpClient(this);
        break;
    }
    if (d->modbusClient) {
        connect(d->modbusClient, &QModbusClient::stateChanged, this,
                [this](QModbusDevice::State state) { onModbusStateChanged(state); });
    }

    if (m_devProto == ModBusTcp) {
        m_tcpHost = root["host"] ? scalarText(root["host"]) : QStringLiteral("127.0.0.1");
        m_tcpPort = readIntSetting("port", 502);
    } else {
        m_serialPort = root["port"] ? scalarText(root["port"]) : QStringLiteral("COM1");
        m_baudRate = readIntSetting("baudrate", 115200);
    }
    m_devId = readIntSetting("id", 0);

    const YAML::Node variables = root["variables"];
    if (!variables || !variables.IsSequence()) {
        logCritical("(VelmorDeviceModel) No variables block in configuration file");
        return;
    }
    d->variables.reset(variables);
    d->cyclePosition = d->variableCount();
    m_valid = true;
}

VelmorDeviceModel::~VelmorDeviceModel()
{
    delete d;
}

int VelmorDeviceModel::readIntSetting(const char *key, int defaultValue) const
{
    const YAML::Node &root = d->config;
    const YAML::Node node = root[key];
    if (!node)
        return defaultValue;
    try {
        if (node.IsScalar())
            return node.as<int>();
    } catch (const YAML::Exception &) {
    }
    qWarning("%s", qPrintable(QStringLiteral("Bad conversion of %1 field, using default (%2)")
                                  .arg(QLatin1String(key)).arg(defaultValue)));
    return defaultValue;
}

bool VelmorDeviceModel::valid() const
{
    return m_valid;
}

QString VelmorDeviceModel::devName() const
{
    const YAML::Node &root = d->config;
    if (root.IsMap() && root["device"])
        return scalarText(root["device"]);
    return QStringLiteral("Unknown Device");
}

int VelmorDeviceModel::devProto() const
{
    return m_devProto;
}

QString VelmorDeviceModel::devProtoName() const
{
    const YAML::Node &root = d->config;
    if (root.IsMap() && root["protocol"])
        return scalarText(root["protocol"]);
    return QString();
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
        d->cyclePosition = d->variableCount();
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
    return d->variableCount();
}

QVariant VelmorDeviceModel::getVarAttr(unsigned int id, const QString &attr) const
{
    const YAML::Node entry = d->variable(id);
    if (!entry)
        return QVariant();
    const YAML::Node node = entry[attr.toUtf8().toStdString()];
    if (!node)
        return QVariant();
    return scalarText(node);
}

QVariant VelmorDeviceModel::getVarValue(unsigned int id) const
{
    const YAML::Node entry = d->variable(id);
    if (!entry || !entry["value"])
        return QVariant();
    const YAML::Node type = entry["type"];
    try {
        if (scalarString(type) == "float32")
            return QVariant(entry["value"].as<float>());
        return QVariant(entry["value"].as<int>());
    } catch (const YAML::Exception &) {
        return QVariant();
    }
}

bool VelmorDeviceModel::setVarValue(unsigned int id, const QVariant &value)
{
    YAML::Node entry = d->variable(id);
    if (!entry)
        return false;
    const YAML::Node type = entry["type"];
    bool converted = false;
    if (scalarString(type) == "float32") {
        const float number = value.toFloat(&converted);
        if (converted)
            entry["value"] = RegisterLayout::floatText(number);
    } else {
        const int number = value.toInt(&converted);
        if (converted)
            entry["value"] = number;
    }
    // A refused input must never reach the controller, not even as the old value.
    if (converted)
        enqueueCmd({Command::StoreVariable, id});
    return converted;
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
    const YAML::Node entry = d->variable(unsigned(index.row()));
    switch (index.column()) {
    case ColumnValue:
        return boolAttribute(entry, "rw") ? selectableEnabled | Qt::ItemIsEditable : selectableEnabled;
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
    case VelmorBusTcp:
        logCritical("VELMOR::VelmorBUS TCP proto not suported yet");
        return;
    case VelmorBusRtu:
        opened = !d->rtuMaster || openVelmorLink();
        break;
    case ModBusRtu:
        opened = !d->modbusClient || openModbusRtuLink();
        break;
    case ModBusTcp:
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
    d->cyclePosition = d->variableCount();
    disconnectDevice();
}

bool VelmorDeviceModel::cycleRunning() const
{
    return d->cyclePosition < d->variableCount();
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
    d->cyclePosition = d->variableCount();
    emit errorOccured(QStringLiteral("Update stopped: request could not be sent"));
}

bool VelmorDeviceModel::readCurrentVariableLink(VariableLink *link)
{
    if (d->readVariableLink(unsigned(d->cyclePosition), link))
        return true;
    emit errorOccured(QStringLiteral("Unable to read variable %1: bad description")
                          .arg(d->variableLabel(unsigned(d->cyclePosition))));
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
            d->cyclePosition = d->variableCount(); // the failed connection is reported already
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
    if (!modbusReply || !d->readVariableLink(unsigned(d->cyclePosition), &link))
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
    const unsigned int id = unsigned(d->cyclePosition);
    VariableLink link;
    std::string text;
    if (d->readVariableLink(id, &link) && RegisterLayout::heldTextFromRawWord(link.type, link.bitfield, rawWord, &text))
        d->variable(id)["value"] = text;
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
    if (m_devProto != ModBusRtu || !lateAnswerPossible)
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
    const YAML::Node entry = d->variable(cmd.varId);
    if (!entry || !entry["value"])
        return false;
    qDebug().noquote() << "Processing store variable" << scalarText(entry["name"]);
    VariableLink link;
    quint32 pattern = 0;
    if (!d->readVariableLink(cmd.varId, &link) || !d->readWritePattern(cmd.varId, link.type, &pattern)) {
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
    d->readVariableLink(cmd.varId, &link);
    return ModbusReplyMatch::mismatch(*reply, {QModbusPdu::WriteMultipleRegisters, link.addr,
                                              RegisterLayout::modbusRegisterCount(link.type)});
}

void VelmorDeviceModel::reportFailedWrite(unsigned int varId, const QString &reason)
{
    emit errorOccured(QStringLiteral("Writing variable %1 failed: %2").arg(d->variableLabel(varId), reason));
}
