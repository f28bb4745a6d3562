#ifndef VELMORDEVICEMODEL_H
#define VELMORDEVICEMODEL_H

#include "velmordevicemodel_export.h"

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPair>
#include <QVariant>

#include <memory>

class VelmorDeviceModelPrivate;

// One controller: its device description (the variable table and value store),
// the item model that presents it, and the link that polls and writes it.
class VELMORDEVICEMODEL_EXPORT VelmorDeviceModel : public QAbstractItemModel
{
    Q_OBJECT
    Q_PROPERTY(int devId READ devId WRITE setDevId NOTIFY devIdChanged)
    Q_PROPERTY(bool autoUpdate READ autoUpdate WRITE setAutoUpdate NOTIFY autoUpdateChanged)
    Q_PROPERTY(QString serialPort READ serialPort WRITE setSerialPort NOTIFY serialPortChanged)
    Q_PROPERTY(int baudRate READ baudRate WRITE setBaudRate NOTIFY baudRateChanged)
    Q_PROPERTY(QString tcpHost READ tcpHost WRITE setTcpHost NOTIFY tcpHostChanged)
    Q_PROPERTY(int tcpPort READ tcpPort WRITE setTcpPort NOTIFY tcpPortChanged)
    Q_PROPERTY(int interUpdateDelay READ interUpdateDelay WRITE setInterUpdateDelay NOTIFY interUpdateDelayChanged)
    Q_PROPERTY(int blockRegisters READ blockRegisters WRITE setBlockRegisters NOTIFY blockRegistersChanged)
    Q_PROPERTY(int gapRegisters READ gapRegisters WRITE setGapRegisters NOTIFY gapRegistersChanged)
    Q_PROPERTY(int responseTimeoutMs READ responseTimeoutMs WRITE setResponseTimeoutMs NOTIFY responseTimeoutMsChanged)
    Q_PROPERTY(int retries READ retries WRITE setRetries NOTIFY retriesChanged)
    Q_PROPERTY(QString wordOrder READ wordOrder WRITE setWordOrder NOTIFY wordOrderChanged)
    Q_PROPERTY(QString parity READ parity WRITE setParity NOTIFY parityChanged)
    Q_PROPERTY(int stopBits READ stopBits WRITE setStopBits NOTIFY stopBitsChanged)
    Q_PROPERTY(int dataBits READ dataBits WRITE setDataBits NOTIFY dataBitsChanged)
    Q_PROPERTY(int interQueryDelay READ interQueryDelay WRITE setInterQueryDelay)

public:
    // The codes devProto() returns.
    enum Protocol {
        UnknownProtocol = -1,
        VelmorbusRtu = 0,
        VelmorbusTcp = 1,
        ModbusRtu = 2,
        ModbusTcp = 3
    };
    Q_ENUM(Protocol)

    // The ranges of the link tuning (the keys block, gap, timeout and retries of the
    // description file); a value out of range makes the file invalid, and a setter ignores it.
    enum TuningLimit {
        MaxBlockRegisters = 125,
        MaxGapRegisters = 124,
        MinResponseTimeoutMs = 10,
        MaxResponseTimeoutMs = 60000,
        MaxRetries = 10
    };

    enum TraceDirection {
        Sent,
        Received
    };
    Q_ENUM(TraceDirection)

    // How far a value can be trusted.
    enum ValueQuality {
        // Never read from the device: what the file said, or nothing.
        QualityFromFile,
        // Read by the last cycle that ended, or by the one under way.
        QualityGood,
        // Read once, but not by the last cycle that ended, or the link is gone since.
        QualityStale,
        // The last read failed; varLastFailure() tells why.
        QualityFailed
    };
    Q_ENUM(ValueQuality)

    // Item data roles beyond Qt's own.
    enum ItemRole {
        // The row's ValueQuality, as an int.
        QualityRole = Qt::UserRole + 1
    };

    // How the link reaches its controller.
    enum Transport {
        NoTransport,
        SerialTransport,
        TcpTransport
    };
    Q_ENUM(Transport)

    // What setVarValue() makes of a value.
    enum ValueCheck {
        ValueAccepted,
        ValueNotANumber,
        // A number the variable cannot hold: see varValueRange().
        ValueOutOfRange
    };
    Q_ENUM(ValueCheck)

    // A queued write; it names what to write, the value is read when it is sent.
    struct Command {
        enum Type {
            StoreVariable = 0,
            StoreConfiguration = 1
        };

        int type;
        unsigned int varId;

        bool operator==(const Command &other) const
        {
            return type == other.type && varId == other.varId;
        }
    };

    explicit VelmorDeviceModel(const QString &fileName, QObject *parent = nullptr);
    ~VelmorDeviceModel() override;

    bool valid() const;
    QString devName() const;
    int devProto() const;
    QString devProtoName() const;

    int devId() const;
    void setDevId(int devId);
    bool autoUpdate() const;
    void setAutoUpdate(bool on);
    QString serialPort() const;
    void setSerialPort(const QString &serialPort);
    int baudRate() const;
    void setBaudRate(int baudRate);
    QString tcpHost() const;
    void setTcpHost(const QString &tcpHost);
    int tcpPort() const;
    void setTcpPort(int tcpPort);
    int interUpdateDelay() const;
    void setInterUpdateDelay(int delayMs);
    // The link tuning takes effect at the next connectDevice().
    // Modbus reads: the most registers one request covers; 0 or 1 reads each variable alone.
    int blockRegisters() const;
    void setBlockRegisters(int registers);
    // Modbus reads: the most unused registers between two variables that one request covers.
    int gapRegisters() const;
    void setGapRegisters(int registers);
    // 0 is the protocol's default: 200 ms for Velmorbus, 1000 ms for Modbus.
    int responseTimeoutMs() const;
    void setResponseTimeoutMs(int timeoutMs);
    // Modbus only: how often an unanswered request is sent again.
    int retries() const;
    void setRetries(int retries);
    // Modbus: how 32-bit values lie in two registers and the bytes in each register, for
    // the variables that name no order of their own: one of wordOrderNames(). A variable's
    // own "wordorder" key still holds. Velmorbus ignores it.
    QString wordOrder() const;
    void setWordOrder(const QString &order);
    static QStringList wordOrderNames();
    // Serial protocols: the framing of each character, 8N1 unless the description says
    // otherwise; it takes effect at the next connectDevice(). A setter ignores a value
    // the line cannot take.
    // One of parityNames(): "none", "even" or "odd".
    QString parity() const;
    void setParity(const QString &parity);
    static QStringList parityNames();
    // 1 or 2.
    int stopBits() const;
    void setStopBits(int bits);
    // 7 or 8.
    int dataBits() const;
    void setDataBits(int bits);
    int interQueryDelay() const;
    void setInterQueryDelay(int delayMs);
    bool connected() const;
    // Whether storeToFlash() can reach the device; on a link that cannot, it sends nothing.
    bool canStoreConfiguration() const;
    // Whether one request can read several variables (blockRegisters() applies).
    bool readsBlocks() const;
    Transport transport() const;

    int varCount() const;
    QVariant getVarAttr(unsigned int id, const QString &attr) const;
    QVariant getVarValue(unsigned int id) const;
    // The value as the number its text shows: a bit field unsigned, a float32 rounded to
    // the seven significant digits of its text; 0 when the variable holds none.
    double varNumber(unsigned int id) const;
    ValueQuality varQuality(unsigned int id) const;
    // Invalid while the value was never read from the device.
    QDateTime varLastReadTime(unsigned int id) const;
    // The reason the last failed read gave; it stays after a later good read.
    QString varLastFailure(unsigned int id) const;
    // "rw" and "bitfield" read as YAML booleans, as flags() and the cycle read them.
    bool isVarWritable(unsigned int id) const;
    bool isVarBitfield(unsigned int id) const;
    // Refuses, holding and queueing nothing, a value that checkVarValue() does not accept.
    bool setVarValue(unsigned int id, const QVariant &value);
    // Numbers in either notation, with a decimal point or comma ("61,5"), within the range.
    ValueCheck checkVarValue(unsigned int id, const QVariant &value) const;
    // The least and the greatest value the variable can hold, by its "type" and "bitfield".
    QPair<double, double> varValueRange(unsigned int id) const;

    void enqueueCmd(const Command &cmd);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

public slots:
    void connectDevice();
    void disconnectDevice();
    void updateDeviceModel();
    void storeToFlash();

signals:
    void devIdChanged();
    void autoUpdateChanged();
    void serialPortChanged();
    void baudRateChanged();
    void tcpHostChanged();
    void tcpPortChanged();
    void interUpdateDelayChanged();
    void updateFinished(int updateTime);
    void storeToFlashComplete();
    void errorOccured(const QString &errorMessage);
    void updateViewport();

    // Progress of the cycle and the command queue, for programs that act on it; the
    // reasons are the texts errorOccured carries for the same event.
    // A read succeeded and its value was stored; a read that comes while an edit of the
    // variable waits for its write is not, and is not told.
    void variableRead(int id);
    // A read failed, was refused ("bad description") or was answered for another request;
    // or it succeeded for a "type" the model does not know, which stores nothing.
    void variableFailed(int id, const QString &reason);
    // A StoreVariable failed or could not be sent; the reason is the %2 of "Writing variable %1 failed: %2".
    void writeFailed(int id, const QString &reason);
    void storeToFlashFailed();
    // A running cycle stopped without updateFinished: a request could not be sent, the
    // connection was lost or refused, or the link was closed.
    void cycleAbandoned(const QString &reason);
    // An open link went away (an unplugged adapter, a closed connection).
    void connectionLost(const QString &reason);
    // connectDevice() failed, or the connection it started was refused; the reason is the
    // system's ("Permission denied"), errorOccured carries the link's own text first.
    void connectFailed(const QString &reason);

    void blockRegistersChanged();
    void gapRegistersChanged();
    void responseTimeoutMsChanged();
    void retriesChanged();
    void wordOrderChanged();
    void parityChanged();
    void stopBitsChanged();
    void dataBitsChanged();
    // Every frame on the line: for Velmorbus the whole frame, for Modbus the unit id and
    // the PDU. Traced only while something is connected to this signal.
    void frameTraced(const QDateTime &time, VelmorDeviceModel::TraceDirection direction, const QByteArray &bytes);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private slots:
    void varUpdated(quint64 request, quint32 rawWord, const QString &failure);
    void processNextVariable();

private:
    friend class VelmorDeviceModelPrivate;

    void invokeNextProcess(int delayMs);
    void processQueueCmd();

    std::unique_ptr<VelmorDeviceModelPrivate> d;
    QStringList m_headerLabels;
    bool m_connected = false;
    bool m_autoUpdate = false;
    QElapsedTimer m_updateStopwatch;
    int m_interUpdateDelay = 1000;
    int m_interQueryDelay = 50;
    int m_devProto = UnknownProtocol;
    int m_devId = 0;
    QString m_serialPort;
    int m_baudRate = 0;
    QString m_tcpHost;
    int m_tcpPort = 0;
    bool m_valid = false;
};

#endif // VELMORDEVICEMODEL_H
