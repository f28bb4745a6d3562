#include "prometheusserver.h"

#include "httpget.h"
#include "simprocess.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace {

constexpr int ProcessTimeoutMs = 15000;

} // namespace

PrometheusServer::PrometheusServer()
    : m_port(SimProcess::freePort())
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

PrometheusServer::~PrometheusServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(ProcessTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(ProcessTimeoutMs);
        }
    }
}

bool PrometheusServer::start(const QStringList &targets)
{
    QFile config(m_dir.filePath(QStringLiteral("prometheus.yml")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                 "scrape_configs:\n  - job_name: velmor\n    static_configs:\n      - targets: ['"
                 + targets.join(QStringLiteral("', '")).toUtf8() + "']\n");
    config.close();
    m_process.start(QStringLiteral("prometheus"),
                    {QStringLiteral("--config.file=") + config.fileName(),
                     QStringLiteral("--storage.tsdb.path=") + m_dir.filePath(QStringLiteral("data")),
                     QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(m_port),
                     QStringLiteral("--log.level=warn")});
    return m_process.waitForStarted(ProcessTimeoutMs);
}

bool PrometheusServer::ready()
{
    return !httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1/-/ready").arg(m_port))).isNull();
}

QJsonArray PrometheusServer::query(const QString &expression)
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(m_port));
    QUrlQuery parameters;
    parameters.addQueryItem(QStringLiteral("query"), expression);
    url.setQuery(parameters);
    const QJsonObject answer = QJsonDocument::fromJson(httpGet(url)).object();
    if (answer.value(QStringLiteral("status")).toString() != QLatin1String("success"))
        return QJsonArray();
    return answer.value(QStringLiteral("data")).toObject().value(QStringLiteral("result")).toArray();
}

QByteArray PrometheusServer::log()
{
    return m_process.readAllStandardOutput();
}
