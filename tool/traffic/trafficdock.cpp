#include "trafficdock.h"

#include "trafficlog.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QSaveFile>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTextStream>
#include <QToolButton>
#include <QVBoxLayout>

TrafficDock::TrafficDock(QWidget *parent)
    : QDockWidget(QStringLiteral("Обмен"), parent)
    , m_log(new TrafficLog(TrafficLog::defaultCapacity, this))
    , m_filter(new QSortFilterProxyModel(this))
    , m_view(new QTableView)
{
    setObjectName(QStringLiteral("trafficDock"));
    m_filter->setSourceModel(m_log);
    m_filter->setFilterRole(TrafficLog::DeviceKeyRole);
    m_view->setObjectName(QStringLiteral("trafficView"));
    m_view->setModel(m_filter);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    // Rows of one height need not be measured: a view of thousands stays quick.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->horizontalHeader()->setStretchLastSection(true);

    auto *contents = new QWidget;
    auto *layout = new QVBoxLayout(contents);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildControls());
    layout->addWidget(m_view);
    setWidget(contents);

    connect(m_filter, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_view->verticalScrollBar();
        m_followsNewest = bar->value() == bar->maximum();
    });
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_followsNewest)
            m_view->scrollToBottom();
    });
    connect(m_log, &TrafficLog::published, this, &TrafficDock::showBound);
    connect(this, &QDockWidget::visibilityChanged, this, &TrafficDock::updateTracing);

    QAction *toggle = toggleViewAction();
    toggle->setObjectName(QStringLiteral("actionTrafficMonitor"));
    toggle->setText(QStringLiteral("Монитор обмена"));
    toggle->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+T")));
    showBound();
}

QWidget *TrafficDock::buildControls()
{
    auto *controls = new QWidget;
    auto *row = new QHBoxLayout(controls);
    row->setContentsMargins(0, 0, 0, 0);

    m_pause = new QToolButton;
    m_pause->setObjectName(QStringLiteral("trafficPause"));
    m_pause->setText(QStringLiteral("Пауза"));
    m_pause->setToolTip(QStringLiteral("Не записывать новые кадры; записанные остаются"));
    m_pause->setCheckable(true);
    connect(m_pause, &QToolButton::toggled, this, [this] {
        updateTracing();
        showBound();
    });

    auto *clear = new QToolButton;
    clear->setObjectName(QStringLiteral("trafficClear"));
    clear->setText(QStringLiteral("Очистить"));
    connect(clear, &QToolButton::clicked, m_log, &TrafficLog::clear);

    m_deviceFilter = new QComboBox;
    m_deviceFilter->setObjectName(QStringLiteral("trafficDeviceFilter"));
    m_deviceFilter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_deviceFilter->addItem(QStringLiteral("Все устройства"));
    connect(m_deviceFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &TrafficDock::filterByDevice);

    auto *save = new QToolButton;
    save->setObjectName(QStringLiteral("trafficSave"));
    save->setText(QStringLiteral("Сохранить…"));
    connect(save, &QToolButton::clicked, this, &TrafficDock::askAndSave);

    m_bound = new QLabel;
    m_bound->setObjectName(QStringLiteral("trafficBound"));

    row->addWidget(m_pause);
    row->addWidget(clear);
    row->addWidget(m_deviceFilter);
    row->addWidget(save);
    row->addWidget(m_bound, 1);
    return controls;
}

QAction *TrafficDock::monitorAction() const
{
    return toggleViewAction();
}

void TrafficDock::addDevice(VelmorDeviceModel *device)
{
    Source &source = m_sources[device];
    source.key = m_nextKey++;
    source.name = device->devName();
    source.protocol = FrameDecode::protocolOf(device->devProto());
    m_deviceFilter->addItem(source.name, source.key);
    connect(device, &QObject::destroyed, this, &TrafficDock::removeDevice);
    trace(device, source, isVisible() && !m_pause->isChecked());
}

// The device's frames stay in the log; only its entry in the filter goes.
void TrafficDock::removeDevice(QObject *device)
{
    const auto found = m_sources.constFind(device);
    if (found == m_sources.constEnd())
        return;
    const int comboIndex = m_deviceFilter->findData(found->key);
    if (comboIndex == m_deviceFilter->currentIndex())
        m_deviceFilter->setCurrentIndex(0);
    m_deviceFilter->removeItem(comboIndex);
    m_sources.erase(found);
}

// Connecting to frameTraced switches the link's tracing on: only while someone looks.
void TrafficDock::updateTracing()
{
    const bool on = isVisible() && !m_pause->isChecked();
    for (auto it = m_sources.begin(); it != m_sources.end(); ++it)
        trace(static_cast<VelmorDeviceModel *>(it.key()), it.value(), on);
}

void TrafficDock::trace(VelmorDeviceModel *device, Source &source, bool on)
{
    if (bool(source.trace) == on)
        return;
    if (!on) {
        disconnect(source.trace);
        source.trace = QMetaObject::Connection();
        return;
    }
    source.trace = connect(device, &VelmorDeviceModel::frameTraced, this,
                           [this, key = source.key, name = source.name, protocol = source.protocol](
                               const QDateTime &time, VelmorDeviceModel::TraceDirection direction,
                               const QByteArray &bytes) {
                               m_log->append({time, key, name, protocol, direction == VelmorDeviceModel::Sent, bytes});
                           });
}

void TrafficDock::filterByDevice(int comboIndex)
{
    const QVariant key = m_deviceFilter->itemData(comboIndex);
    m_filter->setFilterRegularExpression(key.isValid() ? QStringLiteral("^%1$").arg(key.toInt()) : QString());
}

void TrafficDock::showBound()
{
    QString text = QStringLiteral("Кадров: %1 (хранится не более %2)").arg(m_log->storedCount()).arg(m_log->capacity());
    if (m_pause->isChecked())
        text += QStringLiteral("; пауза: новые кадры не записываются");
    m_bound->setText(text);
}

bool TrafficDock::saveTo(const QString &fileName, QString *error)
{
    m_log->publishPending();
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    for (int row = 0; row < m_filter->rowCount(); ++row)
        stream << m_log->line(m_filter->mapToSource(m_filter->index(row, 0)).row()) << '\n';
    stream.flush();
    if (stream.status() != QTextStream::Ok || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void TrafficDock::askAndSave()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить обмен"), QString(),
                                                          QStringLiteral("Текст (*.txt);;Все файлы (*)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!saveTo(fileName, &error))
        QMessageBox::warning(this, QStringLiteral("Обмен"),
                             QStringLiteral("Не удалось сохранить %1: %2").arg(fileName, error));
}
