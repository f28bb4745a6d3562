#ifndef METRICSEXPORTER_H
#define METRICSEXPORTER_H

#include <QString>

#include <memory>

class MetricsExporterPrivate;
class PollSession;

// Serves the devices' series in the Prometheus text format at /metrics, through
// prometheus-cpp's exposer, which answers on threads of its own.
class MetricsExporter
{
public:
    MetricsExporter();
    ~MetricsExporter();

    // Listens on host (a name or an address) and port; false with the reason when it cannot.
    bool start(const QString &host, int port, QString *errorText);
    // The session must have loaded its model, and outlive the exporter.
    void addDevice(PollSession *session);

private:
    std::unique_ptr<MetricsExporterPrivate> d;
};

#endif // METRICSEXPORTER_H
