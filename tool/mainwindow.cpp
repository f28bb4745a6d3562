#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bitfielddialog.h"
#include "cyclesummary.h"
#include "deviceentrydelegate.h"
#include "devicerecording.h"
#include "linkoptionsdialog.h"
#include "linkstateicon.h"
#include "loadfailure.h"
#include "probewindow.h"
#include "scandialog.h"
#include "settingsdialog.h"
#include "trafficdock.h"
#include "trendrecorder.h"
#include "trendwindow.h"
#include "valueeditdelegate.h"
#include "valuerefusal.h"
#include "variabledrag.h"
#include "workspace.h"
#include "velmordevicemodel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QListWidgetItem>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QShortcut>
#include <QStatusBar>

namespace {
constexpr int valueColumn = 2;
// 25 repaints a second at most: live enough to watch, cheap at any polling rate.
constexpr int treeRepaintPeriodMs = 40;
// The description file of a device entry, as an absolute path.
constexpr int fileRole = Qt::UserRole + 1;

// The 32-bit pattern of a held value. A bit field with bit 31 set is held unsigned,
// above the int range, so it is read as a 64-bit number and cut to its low 32 bits.
// The bound of the trend record, from the setting "trends/memoryMiB"; a value that makes
// no sense keeps the default.
qint64 trendBudgetBytes()
{
    constexpr qint64 smallestMiB = 16;
    constexpr qint64 largestMiB = 64 * 1024;
    bool ok = false;
    const qint64 mebibytes = QSettings().value(QStringLiteral("trends/memoryMiB")).toLongLong(&ok);
    if (!ok || mebibytes < smallestMiB || mebibytes > largestMiB)
        return TrendRecorder::defaultBudgetBytes;
    return mebibytes << 20;
}

quint32 bitPattern(const QVariant &heldValue)
{
    bool ok = false;
    const qlonglong number = heldValue.toLongLong(&ok);
    return ok ? quint32(number) : 0;
}
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
    , m_cycleSummary(new QLabel(this))
    , m_recorder(new TrendRecorder(this))
{
    m_ui->setupUi(this);
    m_trafficDock = new TrafficDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_trafficDock);
    m_trafficDock->hide();
    addAction(m_trafficDock->monitorAction());
    m_workspace = new Workspace(this, m_ui->treeView,
                                [this](const QString &fileName) { return openDescription(fileName); });
    m_treeRepaint.setSingleShot(true);
    m_treeRepaint.setInterval(treeRepaintPeriodMs);
    connect(&m_treeRepaint, &QTimer::timeout, m_ui->treeView->viewport(), QOverload<>::of(&QWidget::update));
    auto *valueEditor = new ValueEditDelegate(valueColumn, m_ui->treeView);
    m_ui->treeView->setItemDelegate(valueEditor);
    connect(valueEditor, &ValueEditDelegate::valueEdited, this, &MainWindow::writeValue);
    // A long message (a file's first problem, a refused value) is cut at the window's
    // width; its tool tip shows it whole.
    connect(m_ui->statusBar, &QStatusBar::messageChanged, m_ui->statusBar, &QWidget::setToolTip);
    // Beside the messages, not instead of one: the update message keeps its own text.
    m_cycleSummary->setObjectName(QStringLiteral("cycleSummary"));
    m_cycleSummary->setToolTip(QStringLiteral("Последний завершённый цикл опроса: его длительность, "
                                              "число прочитанных значений и ошибок чтения"));
    m_ui->statusBar->addPermanentWidget(m_cycleSummary);
    connect(m_ui->actionExit, &QAction::triggered, qApp, &QApplication::quit);
    m_ui->listDevices->setContextMenuPolicy(Qt::CustomContextMenu);
    // A long name keeps its start and end, where devices of a plant usually differ.
    m_ui->listDevices->setItemDelegate(new DeviceEntryDelegate(m_ui->listDevices));
    m_ui->listDevices->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_ui->listDevices, &QWidget::customContextMenuRequested,
            this, &MainWindow::listShowContextMenu);
    m_recorder->setBudgetBytes(trendBudgetBytes());
    addAction(m_ui->actionTrends);
    addAction(m_ui->actionLinkOptions);
    addAction(m_ui->actionScan);
    addAction(m_ui->actionProbe);
    m_ui->treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->treeView, &QWidget::customContextMenuRequested, this, &MainWindow::treeShowContextMenu);
    new VariableDrag(m_ui->treeView);
    setUpShortcuts();
    addDeviceToList(QStringLiteral("tags/default.yml"));
}

MainWindow::~MainWindow()
{
    // An editor still open commits as the view goes, when this window is half destroyed;
    // its value would not reach a controller any more anyway.
    m_ui->treeView->itemDelegate()->disconnect(this);
    delete m_ui;
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::about(this, QStringLiteral("Velmor Tool"),
                       QStringLiteral("<b>Velmor Tool v0.1.4.0</b>"));
}

void MainWindow::restoreWorkspace()
{
    m_workspace->restore();
    for (int row = 0; row < m_ui->listDevices->count(); ++row)
        updateDeviceItem(m_ui->listDevices->item(row));
    m_savesWorkspace = true;
}

void MainWindow::openFiles(const QStringList &fileNames)
{
    for (const QString &fileName : fileNames)
        openDescription(fileName);
}

VelmorDeviceModel *MainWindow::openDescription(const QString &fileName)
{
    QListWidgetItem *item = itemOfFile(fileName);
    if (!item) {
        const int before = m_ui->listDevices->count();
        addDeviceToList(fileName);
        if (m_ui->listDevices->count() == before)
            return nullptr;
        item = m_ui->listDevices->item(before);
    }
    m_ui->listDevices->setCurrentItem(item);
    return deviceOf(item);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_savesWorkspace)
        m_workspace->save(openDevices());
    QMainWindow::closeEvent(event);
}

void MainWindow::on_actionOpen_triggered()
{
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Open device description files"), QString(), QStringLiteral("*.yml"));
    for (const QString &file : files)
        addDeviceToList(file);
}

void MainWindow::addDeviceToList(QString filename)
{
    auto *device = new VelmorDeviceModel(filename, this);
    if (!device->valid()) {
        m_ui->statusBar->showMessage(LoadFailure::text(filename));
        device->deleteLater();
        return;
    }
    auto *item = new QListWidgetItem(m_ui->listDevices);
    item->setData(Qt::UserRole, QVariant::fromValue(device));
    item->setData(Qt::DecorationRole, QIcon(QStringLiteral(":/controller.svg")));
    updateDeviceItem(item);
    item->setData(fileRole, QFileInfo(filename).absoluteFilePath());
    connectDeviceSignals(device);
    m_trafficDock->addDevice(device);
    new DeviceRecording(device, m_recorder, device);
    m_workspace->deviceOpened(device, filename);
    watchLink(device);
}

void MainWindow::listShowContextMenu(const QPoint &pos)
{
    VelmorDeviceModel *device = deviceOf(m_ui->listDevices->itemAt(pos));
    if (!device)
        return;

    m_ui->actionConnect->setChecked(device->connected());
    m_ui->actionConnect->setText(device->connected() ? QStringLiteral("Отключиться")
                                                     : QStringLiteral("Подключиться"));
    m_ui->actionUpdateDevice->setEnabled(device->connected());
    // While the link is tried again, continuous update is on, and turning it off stops the tries.
    const bool reconnecting = reconnectOf(device)->state() == LinkReconnect::State::Reconnecting;
    m_ui->actionAutoUpdate->setEnabled(device->connected() || reconnecting);
    m_ui->actionAutoUpdate->setChecked(device->autoUpdate() || reconnecting);
    m_ui->actionStoreToFlash->setEnabled(device->connected());

    QMenu menu;
    menu.addAction(m_ui->actionConnect);
    menu.addSeparator();
    menu.addAction(m_ui->actionUpdateDevice);
    menu.addAction(m_ui->actionAutoUpdate);
    menu.addSeparator();
    menu.addAction(m_ui->actionDeviceSettings);
    menu.addSeparator();
    menu.addAction(m_ui->actionStoreToFlash);
    menu.addSeparator();
    menu.addAction(m_ui->actionCloseDevice);
    menu.exec(m_ui->listDevices->mapToGlobal(pos));
}

void MainWindow::on_listDevices_currentItemChanged(QListWidgetItem *current, QListWidgetItem *previous)
{
    Q_UNUSED(previous)
    m_ui->treeView->setModel(deviceOf(current));
    if (current)
        m_workspace->applyColumnWidths();
}

void MainWindow::on_actionCloseDevice_triggered()
{
    QListWidgetItem *item = m_ui->listDevices->currentItem();
    if (!item)
        return;
    delete deviceOf(item);
    delete item;
}

void MainWindow::on_actionUpdateDevice_triggered()
{
    if (VelmorDeviceModel *device = currentDevice())
        device->updateDeviceModel();
}

void MainWindow::on_actionAutoUpdate_triggered(bool checked)
{
    VelmorDeviceModel *device = currentDevice();
    if (!device)
        return;
    if (!checked)
        reconnectOf(device)->stop();
    device->setAutoUpdate(checked);
    if (checked)
        device->updateDeviceModel();
}

void MainWindow::on_actionConnect_triggered(bool)
{
    VelmorDeviceModel *device = currentDevice();
    if (!device)
        return;
    reconnectOf(device)->stop();
    if (device->connected())
        device->disconnectDevice();
    else
        device->connectDevice();
}

void MainWindow::updateFinished(int time)
{
    auto *device = qobject_cast<VelmorDeviceModel *>(sender());
    const QString name = device ? device->devName() : QString();
    m_ui->statusBar->showMessage(
        QStringLiteral("%1 :: Обновление завершено (%2 мс)").arg(name).arg(time));
    if (device)
        m_cycleSummary->setText(CycleSummary::text(*device, time));
}

void MainWindow::errorOccured(QString errorMessage)
{
    m_ui->statusBar->showMessage(errorMessage);
}

void MainWindow::storedToFlash()
{
    m_ui->statusBar->showMessage(QStringLiteral("Конфигурация успешно сохранена"));
}

void MainWindow::on_actionDeviceSettings_triggered()
{
    QListWidgetItem *item = m_ui->listDevices->currentItem();
    VelmorDeviceModel *device = deviceOf(item);
    if (!device)
        return;

    const VelmorDeviceModel::Transport transport = device->transport();
    SettingsDialog dialog;
    if (transport == VelmorDeviceModel::SerialTransport) {
        dialog.setSerialMode(true);
        dialog.setSerialPort(device->serialPort());
        dialog.setBaudRate(device->baudRate());
    } else if (transport == VelmorDeviceModel::TcpTransport) {
        dialog.setSerialMode(false);
        dialog.setTcpHost(device->tcpHost());
        dialog.setTcpPort(device->tcpPort());
    }
    dialog.setDevId(quint8(device->devId()));
    connect(&dialog, &SettingsDialog::linkOptionsRequested, this,
            [this, device, &dialog] { editLinkOptions(device, &dialog); });
    if (dialog.exec() != QDialog::Accepted)
        return;

    if (transport == VelmorDeviceModel::SerialTransport) {
        device->setSerialPort(dialog.serialPort());
        device->setBaudRate(dialog.baudRate());
    } else if (transport == VelmorDeviceModel::TcpTransport) {
        device->setTcpHost(dialog.tcpHost());
        device->setTcpPort(dialog.tcpPort());
    }
    device->setDevId(quint8(dialog.devId()));
    updateDeviceItem(item);
}

void MainWindow::updateDeviceItem(QListWidgetItem *item)
{
    const VelmorDeviceModel *device = deviceOf(item);
    if (!device)
        return;

    QString text = QStringLiteral("%1\nproto: %2\nid: %3\n")
                       .arg(device->devName(), device->devProtoName())
                       .arg(device->devId());
    switch (device->transport()) {
    case VelmorDeviceModel::SerialTransport:
        text += QStringLiteral("port: %1 (%2)").arg(device->serialPort()).arg(device->baudRate());
        break;
    case VelmorDeviceModel::TcpTransport:
        text += QStringLiteral("host: %1:%2").arg(device->tcpHost()).arg(device->tcpPort());
        break;
    case VelmorDeviceModel::NoTransport:
        break;
    }
    item->setData(Qt::DisplayRole, text);
    // The list is narrow and names are long: the tip shows the entry whole.
    item->setData(Qt::ToolTipRole, text);
}

void MainWindow::on_actionStoreToFlash_triggered()
{
    VelmorDeviceModel *device = currentDevice();
    if (!device)
        return;
    if (!device->canStoreConfiguration()) {
        m_ui->statusBar->showMessage(
            QStringLiteral("%1 :: По этой связи конфигурацию во флеш-память не сохранить, ничего не отправлено")
                .arg(device->devName()));
        return;
    }
    device->storeToFlash();
}

void MainWindow::on_treeView_doubleClicked(QModelIndex index)
{
    if (index.column() != valueColumn)
        return;
    VelmorDeviceModel *device = deviceOf(index);
    if (!device)
        return;
    const unsigned int id = unsigned(index.row());
    // The tree leaves double-click editing to this slot, so a bit field opens only its dialog.
    if (!device->isVarBitfield(id)) {
        m_ui->treeView->edit(index);
        return;
    }
    const bool writable = device->isVarWritable(id);

    BitfieldDialog dialog(writable);
    dialog.setValue(bitPattern(device->data(index, Qt::DisplayRole)));
    if (dialog.exec() == QDialog::Accepted && writable)
        writeValue(index, QVariant::fromValue(uint(dialog.value())));
}

VelmorDeviceModel *MainWindow::deviceOf(const QListWidgetItem *item)
{
    if (!item)
        return nullptr;
    return qobject_cast<VelmorDeviceModel *>(item->data(Qt::UserRole).value<QObject *>());
}

VelmorDeviceModel *MainWindow::deviceOf(const QModelIndex &index)
{
    return qobject_cast<VelmorDeviceModel *>(const_cast<QAbstractItemModel *>(index.model()));
}

VelmorDeviceModel *MainWindow::currentDevice() const
{
    return deviceOf(m_ui->listDevices->currentItem());
}

void MainWindow::connectDeviceSignals(VelmorDeviceModel *device)
{
    connect(device, &VelmorDeviceModel::updateFinished, this, &MainWindow::updateFinished);
    connect(device, &VelmorDeviceModel::errorOccured, this, &MainWindow::errorOccured);
    connect(device, &VelmorDeviceModel::storeToFlashComplete, this, &MainWindow::storedToFlash);
    connect(device, &VelmorDeviceModel::connectFailed, this, &MainWindow::appendConnectFailureReason);
    connect(device, &VelmorDeviceModel::updateViewport, this, [this] {
        if (!m_treeRepaint.isActive())
            m_treeRepaint.start();
    });
}

// The model has just shown the link's own text through errorOccured; the system's reason
// ("Permission denied") tells the engineer what to fix. A refusal of the model's own is
// its own reason and is not repeated.
void MainWindow::appendConnectFailureReason(const QString &reason)
{
    const QString shown = m_ui->statusBar->currentMessage();
    if (reason.isEmpty() || reason == shown)
        return;
    m_ui->statusBar->showMessage(QStringLiteral("%1: %2").arg(shown, reason));
}

void MainWindow::writeValue(const QModelIndex &index, const QVariant &value)
{
    VelmorDeviceModel *device = deviceOf(index);
    if (!device)
        return;
    const unsigned int id = unsigned(index.row());
    const VelmorDeviceModel::ValueCheck check = device->checkVarValue(id, value);
    if (check != VelmorDeviceModel::ValueAccepted) {
        m_ui->statusBar->showMessage(ValueRefusal::text(*device, id, value, check));
        return;
    }
    device->setData(index, value, Qt::EditRole);
}

void MainWindow::on_actionTrends_triggered()
{
    if (VelmorDeviceModel *device = currentDevice())
        trendWindowOf(device);
}

void MainWindow::on_actionAddToTrend_triggered()
{
    VelmorDeviceModel *device = currentDevice();
    QModelIndex index = m_ui->treeView->currentIndex();
    while (index.parent().isValid())
        index = index.parent();
    if (!device || !index.isValid())
        return;
    TrendWindow *window = trendWindowOf(device);
    window->showCurve({device->findChild<DeviceRecording *>()->source(), index.row(), -1});
}

void MainWindow::treeShowContextMenu(const QPoint &pos)
{
    m_ui->actionAddToTrend->setEnabled(currentDevice() && m_ui->treeView->indexAt(pos).isValid());
    QMenu menu;
    menu.addAction(m_ui->actionAddToTrend);
    menu.addAction(m_ui->actionTrends);
    menu.addAction(m_ui->actionLinkOptions);
    menu.addAction(m_ui->actionProbe);
    menu.addSeparator();
    menu.addAction(m_ui->actionScan);
    menu.addMenu(recentFilesMenu(&menu));
    menu.exec(m_ui->treeView->viewport()->mapToGlobal(pos));
}

void MainWindow::watchLink(VelmorDeviceModel *device)
{
    auto *reconnect = new LinkReconnect(device);
    connect(reconnect, &LinkReconnect::stateChanged, this,
            [this, device](LinkReconnect::State state) { showLinkState(device, state); });
    connect(reconnect, &LinkReconnect::reconnectOffered, this,
            [this, device](const QString &reason) { offerReconnect(device, reason); });
    connect(reconnect, &LinkReconnect::attemptStarted, this, [this, device](int attempt) {
        m_ui->statusBar->showMessage(
            QStringLiteral("%1 :: Переподключение, попытка %2").arg(device->devName()).arg(attempt));
    });
}

void MainWindow::showLinkState(VelmorDeviceModel *device, LinkReconnect::State state)
{
    for (int row = 0; row < m_ui->listDevices->count(); ++row) {
        QListWidgetItem *item = m_ui->listDevices->item(row);
        if (deviceOf(item) == device)
            item->setData(Qt::DecorationRole, LinkStateIcon::of(state));
    }
}

void MainWindow::offerReconnect(VelmorDeviceModel *device, const QString &reason)
{
    // Not modal: the other devices go on being polled and shown meanwhile.
    auto *offer = new QMessageBox(QMessageBox::Question, QStringLiteral("Связь потеряна"),
                                  QStringLiteral("Связь с устройством «%1» потеряна.\n%2\n\nПодключиться снова?")
                                      .arg(device->devName(), reason),
                                  QMessageBox::Yes | QMessageBox::No, this);
    offer->setObjectName(QStringLiteral("reconnectOffer"));
    offer->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<VelmorDeviceModel> lost(device);
    connect(offer, &QMessageBox::accepted, this, [lost] {
        if (lost)
            lost->connectDevice();
    });
    connect(offer, &QMessageBox::buttonClicked, this, [lost](QAbstractButton *) {
        if (lost)
            reconnectOf(lost)->stop();
    });
    connect(device, &QObject::destroyed, offer, &QWidget::close);
    offer->open();
}

LinkReconnect *MainWindow::reconnectOf(const VelmorDeviceModel *device)
{
    return device->findChild<LinkReconnect *>();
}

void MainWindow::setUpShortcuts()
{
    // Shown beside the entries of the device menu; the window's own shortcuts below act
    // on the selected device at any time, whatever the menu last showed.
    m_ui->actionConnect->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    m_ui->actionUpdateDevice->setShortcut(QKeySequence(Qt::Key_F5));
    m_ui->actionAutoUpdate->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    connect(new QShortcut(m_ui->actionConnect->shortcut(), this), &QShortcut::activated, this,
            [this] { on_actionConnect_triggered(false); });
    connect(new QShortcut(m_ui->actionUpdateDevice->shortcut(), this), &QShortcut::activated, this,
            &MainWindow::on_actionUpdateDevice_triggered);
    connect(new QShortcut(m_ui->actionAutoUpdate->shortcut(), this), &QShortcut::activated, this, [this] {
        if (VelmorDeviceModel *device = currentDevice())
            on_actionAutoUpdate_triggered(!device->autoUpdate());
    });
    auto *deviceMenu = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), m_ui->listDevices, nullptr, nullptr,
                                     Qt::WidgetShortcut);
    connect(deviceMenu, &QShortcut::activated, this, [this] {
        if (QListWidgetItem *item = m_ui->listDevices->currentItem())
            listShowContextMenu(m_ui->listDevices->visualItemRect(item).center());
    });
    for (const QKeySequence &key : {QKeySequence(Qt::Key_F2), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)})
        connect(new QShortcut(key, m_ui->treeView, nullptr, nullptr, Qt::WidgetShortcut), &QShortcut::activated, this,
                &MainWindow::editSelectedValue);
}

void MainWindow::on_actionLinkOptions_triggered()
{
    if (VelmorDeviceModel *device = currentDevice())
        editLinkOptions(device, this);
}

void MainWindow::on_actionScan_triggered()
{
    // Not modal: a long scan leaves the other devices to be watched meanwhile.
    auto *dialog = new ScanDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &ScanDialog::deviceDescribed, this, &MainWindow::openDescription);
    dialog->show();
}

void MainWindow::on_actionProbe_triggered()
{
    VelmorDeviceModel *device = currentDevice();
    if (!device)
        return;
    auto *probe = new ProbeWindow(device, this);
    probe->setWindowFlag(Qt::Window);
    probe->setAttribute(Qt::WA_DeleteOnClose);
    probe->show();
}

void MainWindow::editLinkOptions(VelmorDeviceModel *device, QWidget *parent)
{
    LinkOptionsDialog dialog(parent);
    dialog.load(*device);
    if (dialog.exec() != QDialog::Accepted)
        return;
    dialog.apply(device);
    m_ui->statusBar->showMessage(
        QStringLiteral("%1 :: Параметры связи изменены, они вступят в силу при следующем подключении")
            .arg(device->devName()));
}

void MainWindow::editSelectedValue()
{
    const QModelIndex current = m_ui->treeView->currentIndex();
    if (current.isValid())
        on_treeView_doubleClicked(current.sibling(current.row(), valueColumn));
}

QListWidgetItem *MainWindow::itemOfFile(const QString &fileName) const
{
    const QString wanted = QFileInfo(fileName).absoluteFilePath();
    for (int row = 0; row < m_ui->listDevices->count(); ++row) {
        QListWidgetItem *item = m_ui->listDevices->item(row);
        if (item->data(fileRole).toString() == wanted)
            return item;
    }
    return nullptr;
}

QList<VelmorDeviceModel *> MainWindow::openDevices() const
{
    QList<VelmorDeviceModel *> devices;
    for (int row = 0; row < m_ui->listDevices->count(); ++row)
        devices.append(deviceOf(m_ui->listDevices->item(row)));
    return devices;
}

QMenu *MainWindow::recentFilesMenu(QWidget *parent)
{
    auto *menu = new QMenu(QStringLiteral("Недавние файлы"), parent);
    menu->setObjectName(QStringLiteral("menuRecentFiles"));
    const QStringList files = m_workspace->recentFiles();
    menu->setEnabled(!files.isEmpty());
    for (const QString &file : files)
        menu->addAction(file, this, [this, file] { openDescription(file); });
    return menu;
}

TrendWindow *MainWindow::trendWindowOf(VelmorDeviceModel *device)
{
    const int source = device->findChild<DeviceRecording *>()->source();
    QPointer<TrendWindow> &window = m_trendWindows[source];
    if (!window) {
        window = new TrendWindow(m_recorder, this);
        window->setWindowFlag(Qt::Window);
        window->setWindowTitle(QStringLiteral("Тренды — %1").arg(device->devName()));
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}
