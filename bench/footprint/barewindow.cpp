// The floor the agent is measured against: a Qt Quick Controls window of the same Qt, style and
// renderer with a heading, a text field and a button, and nothing else. Given a URL and a CA
// file (barewindow URL CA_FILE), it also POSTs a report-sized JSON body there every 3 seconds
// over one HTTPS connection, as the agent does: the toolkit's own cost of staying connected.

#include <QFile>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

int main(int argc, char *argv[]) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication application(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    QQmlApplicationEngine engine;
    engine.loadData(R"(
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

ApplicationWindow {
    width: 460
    height: 360
    visible: true
    title: "Bare window"
    ColumnLayout {
        anchors.centerIn: parent
        Label { text: "ENTER YOUR EXAM KEY IN THE BOX BELOW"; font.bold: true }
        TextField { Layout.fillWidth: true }
        Button { Layout.fillWidth: true; text: "MATCH THE KEY" }
    }
}
)");
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    QNetworkAccessManager network;
    QTimer reports;
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3) {
        QFile caFile(arguments.at(2));
        caFile.open(QIODevice::ReadOnly);
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromData(caFile.readAll()));
        QNetworkRequest request(QUrl(arguments.at(1)));
        request.setSslConfiguration(tls);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QObject::connect(&reports, &QTimer::timeout, &network, [&network, request] {
            QNetworkReply *reply = network.post(
                request,
                QByteArrayLiteral(
                    R"({"AccessKey":"QOLVI-DEMO-2026","ProcessNames":["com.qolvi.DesktopAgent"]})"));
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        });
        reports.start(3000);
    }
    return QGuiApplication::exec();
}
