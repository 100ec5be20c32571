// The Qolvi Desktop Agent: one window whose agent state connects this computer to an exam.

#include "platform/quitonsignal.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQml/QQmlExtensionPlugin>

Q_IMPORT_QML_PLUGIN(QolviPlugin)

int main(int argc, char *argv[]) {
    // The window is a few static shapes and text; the software renderer draws it exactly and
    // costs far less memory than OpenGL, most of all where there is no GPU.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Qolvi Desktop Agent"));
    QGuiApplication::setOrganizationName(QStringLiteral("Qolvi"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.qolvi.DesktopAgent"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/qolvi/icon.svg")));
    // One look everywhere, whatever the desktop's style.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    Qolvi_Desktop_Agent::quitOnTerminationRequest();

    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &application,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Qolvi/Main.qml")));
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    return QGuiApplication::exec();
}
