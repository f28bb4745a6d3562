#include "httpget.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>

#include <memory>

QByteArray httpGet(const QUrl &url, int timeoutMs)
{
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(timeoutMs))
        return QByteArray();
    if (reply->error() != QNetworkReply::NoError)
        return QByteArray();
    return reply->readAll();
}
