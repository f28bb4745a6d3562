#include "metricsexporter.h"

#include "devicemetrics.h"

#include <prometheus/exposer.h>
#include <prometheus/registry.h>

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>

#include <exception>
#include <string>
#include <vector>

class MetricsExporterPrivate
{
public:
    MetricsExporterPrivate();

    std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
    MetricFamilies families;
    std::vector<std::unique_ptr<DeviceMetrics>> devices;
    // Last: it stops serving before the series it serves go away.
    std::unique_ptr<prometheus::Exposer> exposer;
};

MetricsExporterPrivate::MetricsExporterPrivate()
    : families{
        prometheus::BuildGauge()
            .Name("velmor_value")
            .Help("Value of a controller variable as last read; no sample while its last read failed or the link is down.")
            .Register(*registry),
        prometheus::BuildCounter()
            .Name("velmor_read_failures_total")
            .Help("Reads of a variable that failed.")
            .Register(*registry),
        prometheus::BuildCounter()
            .Name("velmor_write_failures_total")
            .Help("Writes to a variable that failed.")
            .Register(*registry),
        prometheus::BuildCounter()
            .Name("velmor_cycles_total")
            .Help("Update cycles finished, each reading every variable once.")
            .Register(*registry),
        prometheus::BuildHistogram()
            .Name("velmor_cycle_duration_seconds")
            .Help("Time an update cycle took.")
            .Register(*registry),
        prometheus::BuildGauge()
            .Name("velmor_connected")
            .Help("1 while the link to the controller is up and answering, else 0.")
            .Register(*registry),
        prometheus::BuildGauge()
            .Name("velmor_last_cycle_timestamp_seconds")
            .Help("Unix time at which the last update cycle finished.")
            .Register(*registry),
    }
{
}

namespace {

// The address the exposer is to listen on, as it takes it: a.b.c.d:port or [v6]:port.
bool bindAddress(const QString &host, int port, std::string *bind, QString *errorText)
{
    QHostAddress address(host);
    if (address.isNull()) {
        const QHostInfo info = QHostInfo::fromName(host);
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            *errorText = QStringLiteral("cannot resolve the metrics host %1: %2").arg(host, info.errorString());
            return false;
        }
        address = info.addresses().constFirst();
    }
    const QString text = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]:%2").arg(address.toString()).arg(port)
                             : QStringLiteral("%1:%2").arg(address.toString()).arg(port);
    *bind = text.toStdString();
    return true;
}

// civetweb's options: enough threads that a few clients that connect and say nothing
// leave some for the scrapes, and a time-out that frees a thread such a client holds.
std::vector<std::string> serverOptions(const std::string &bind)
{
    const int servingThreads = 8;
    const int requestTimeoutMs = 2000;
    return {"listening_ports", bind, "num_threads", std::to_string(servingThreads),
            "request_timeout_ms", std::to_string(requestTimeoutMs)};
}

// The exposer only says that it could not bind; a listen of our own tells why.
QString bindFailure(const std::string &bind)
{
    const QString text = QString::fromStdString(bind);
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    host.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    QTcpServer probe;
    if (probe.listen(QHostAddress(host), quint16(text.mid(colon + 1).toInt())))
        return QString();
    return probe.errorString();
}

} // namespace

MetricsExporter::MetricsExporter()
    : d(std::make_unique<MetricsExporterPrivate>())
{
}

MetricsExporter::~MetricsExporter() = default;

bool MetricsExporter::start(const QString &host, int port, QString *errorText)
{
    std::string bind;
    if (!bindAddress(host, port, &bind, errorText))
        return false;
    try {
        d->exposer = std::make_unique<prometheus::Exposer>(serverOptions(bind));
    } catch (const std::exception &exception) {
        const QString reason = bindFailure(bind);
        *errorText = QStringLiteral("cannot serve metrics on %1:%2: %3")
                         .arg(host).arg(port).arg(reason.isEmpty() ? QString::fromUtf8(exception.what()) : reason);
        return false;
    }
    d->exposer->RegisterCollectable(d->registry);
    return true;
}

void MetricsExporter::addDevice(PollSession *session)
{
    d->devices.push_back(std::make_unique<DeviceMetrics>(d->families, session));
}
