#include "descriptiondir.h"
#include "linkreconnect.h"
#include "mainwindow.h"
#include "menuchoice.h"
#include "recordingmodbusserver.h"
#include "toolwindowfixture.h"
#include "velmordevicemodel.h"
#include "windowdriver.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

QByteArray pumpDescription(int port)
{
    return "device: Pump station\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n  - name: T\n    addr: 100\n    type: int16\n";
}

} // namespace

// A lost link in velmor-tool: tried again by itself under continuous update, offered
// otherwise, the state shown on the device's icon.
class TestLinkReconnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void continuousUpdateTriesAgainWithGrowingPauses();
    void engineerStopsTheTries();
    void lostLinkIsOfferedWithoutContinuousUpdate();

private:
    bool startContinuousUpdate();
    LinkReconnect *reconnect() const { return m_device->findChild<LinkReconnect *>(); }
    // The controller alone, without a badge.
    bool iconIsPlain() const
    {
        const QIcon shown = m_tool->driver().deviceList()->item(0)->data(Qt::DecorationRole).value<QIcon>();
        return shown.pixmap(64, 64).toImage() == QIcon(QStringLiteral(":/controller.svg")).pixmap(64, 64).toImage();
    }

    std::unique_ptr<ToolWindowFixture> m_tool;
    std::unique_ptr<RecordingModbusServer> m_server;
    VelmorDeviceModel *m_device = nullptr;
};

void TestLinkReconnect::init()
{
    m_tool = std::make_unique<ToolWindowFixture>();
    QVERIFY(m_tool->isReady());
    m_server = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_server->listen());
    m_server->setHoldingRegisters(100, {215});
    m_device = m_tool->driver().addDevice(
        m_tool->files().write(QStringLiteral("pump.yml"), pumpDescription(m_server->port())));
    QVERIFY(m_device);
    m_device->setInterQueryDelay(5);
    m_device->setInterUpdateDelay(200);
    m_tool->driver().deviceList()->setCurrentRow(0);
    m_tool->driver().chooseFromMenu(0, QStringLiteral("actionConnect"));
    QVERIFY(m_device->connected());
}

void TestLinkReconnect::cleanup()
{
    m_tool.reset();
    m_server.reset();
}

bool TestLinkReconnect::startContinuousUpdate()
{
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);
    m_tool->driver().chooseFromMenu(0, QStringLiteral("actionAutoUpdate"));
    return finished.wait(10000);
}

void TestLinkReconnect::continuousUpdateTriesAgainWithGrowingPauses()
{
    QVERIFY(startContinuousUpdate());
    QVERIFY(iconIsPlain());
    QSignalSpy attempts(reconnect(), &LinkReconnect::attemptStarted);
    QVector<qint64> attemptTimesMs;
    QElapsedTimer sinceLoss;
    connect(reconnect(), &LinkReconnect::attemptStarted, this, [&] { attemptTimesMs.append(sinceLoss.elapsed()); });

    m_server->disconnectDevice();
    sinceLoss.start();

    QTRY_COMPARE_WITH_TIMEOUT(reconnect()->state(), LinkReconnect::State::Reconnecting, 10000);
    QVERIFY(!iconIsPlain());
    const MenuChoice menu = m_tool->driver().chooseFromMenu(0);
    QVERIFY(menu.entry(QStringLiteral("actionAutoUpdate")).enabled);
    QVERIFY(menu.entry(QStringLiteral("actionAutoUpdate")).checked);
    QTRY_COMPARE_WITH_TIMEOUT(attempts.size(), 2, 15000);
    // The first try a second after the loss, the next two seconds later.
    QVERIFY2(attemptTimesMs.at(1) - attemptTimesMs.at(0) > attemptTimesMs.at(0) * 3 / 2,
             qPrintable(QStringLiteral("%1 %2").arg(attemptTimesMs.at(0)).arg(attemptTimesMs.at(1))));

    QVERIFY(m_server->connectDevice());
    QTRY_COMPARE_WITH_TIMEOUT(reconnect()->state(), LinkReconnect::State::Normal, 20000);
    QVERIFY(m_device->connected());
    QVERIFY(m_device->autoUpdate());
    QVERIFY(iconIsPlain());
    QSignalSpy polled(m_device, &VelmorDeviceModel::updateFinished);
    QVERIFY(polled.wait(10000));
}

void TestLinkReconnect::engineerStopsTheTries()
{
    QVERIFY(startContinuousUpdate());
    QSignalSpy attempts(reconnect(), &LinkReconnect::attemptStarted);
    m_server->disconnectDevice();
    QTRY_COMPARE_WITH_TIMEOUT(reconnect()->state(), LinkReconnect::State::Reconnecting, 10000);

    m_tool->driver().chooseFromMenu(0, QStringLiteral("actionAutoUpdate"));

    QCOMPARE(reconnect()->state(), LinkReconnect::State::Normal);
    const int triedBefore = attempts.size();
    QVERIFY(!attempts.wait(3000));
    QCOMPARE(attempts.size(), triedBefore);
    QVERIFY(!m_device->connected());
}

void TestLinkReconnect::lostLinkIsOfferedWithoutContinuousUpdate()
{
    QSignalSpy finished(m_device, &VelmorDeviceModel::updateFinished);
    m_device->updateDeviceModel();
    QVERIFY(finished.wait(10000));

    m_server->disconnectDevice();

    QTRY_VERIFY_WITH_TIMEOUT(m_tool->window().findChild<QMessageBox *>(QStringLiteral("reconnectOffer")), 10000);
    auto *offer = m_tool->window().findChild<QMessageBox *>(QStringLiteral("reconnectOffer"));
    QVERIFY(offer->text().contains(QStringLiteral("Pump station")));
    QCOMPARE(reconnect()->state(), LinkReconnect::State::Lost);
    QVERIFY(m_server->connectDevice());
    offer->button(QMessageBox::Yes)->click();
    QVERIFY(m_device->connected());
    QCOMPARE(reconnect()->state(), LinkReconnect::State::Normal);
    m_device->updateDeviceModel();
    QVERIFY(finished.wait(10000));
}

QTEST_MAIN(TestLinkReconnect)
#include "tst_linkreconnect.moc"
