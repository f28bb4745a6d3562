#ifndef HTTPGET_H
#define HTTPGET_H

#include <QByteArray>
#include <QUrl>

// The body of a GET with the event loop running; a null array when the request failed
// or did not end within the time.
QByteArray httpGet(const QUrl &url, int timeoutMs = 10000);

#endif // HTTPGET_H
