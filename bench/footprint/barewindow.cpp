// The floor the agent is measured against: a Qt Quick Controls window of the same Qt, style and
// renderer with a heading, a text field and a button, and nothing else.

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

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
    return engine.rootObjects().isEmpty() ? 1 : QGuiApplication::exec();
}
