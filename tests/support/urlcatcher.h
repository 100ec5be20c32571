#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace Qolvi_Desktop_Agent::testing {

// Receives the URLs the agent asks the desktop to open, in place of a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace Qolvi_Desktop_Agent::testing
