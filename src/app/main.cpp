// The Qolvi Desktop Agent: one window whose agent state connects this computer to an exam.

#include "platform/accessibilitybus.h"
#include "platform/processintegrity.h"
#include "platform/quitonsignal.h"
#include "platform/runningapplications.h"
#include "platform/singleinstance.h"
#include "platform/systemappearance.h"
#include "service/systemproxies.h"
#include "ui/pngimages.h"
#include "ui/uilanguage.h"

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QtQml/QQmlExtensionPlugin>
#include <cstdio>
#include <cstdlib>

Q_IMPORT_QML_PLUGIN(QolviPlugin)

namespace {

int runAgent(int argc, char *argv[]) {
    Qolvi_Desktop_Agent::guardOwnProcess();
    // The window is a few static shapes and text; the software renderer draws it exactly and
    // costs far less memory than OpenGL, most of all where there is no GPU.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    QGuiApplication application(argc, argv);
    // The application ID is also the window's class on X11 and its app ID on Wayland, so
    // desktops match the window to the installed entry.
    QGuiApplication::setApplicationName(QStringLiteral("com.qolvi.DesktopAgent"));
    QGuiApplication::setOrganizationName(QStringLiteral("Qolvi"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.qolvi.DesktopAgent"));
    // One look everywhere, whatever the desktop's style.
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    Qolvi_Desktop_Agent::quitOnTerminationRequest();

    // A second launch brings the running agent to the front instead of opening a second
    // connection with the same key.
    Qolvi_Desktop_Agent::SingleInstance instance(
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation),
        QGuiApplication::applicationName());
    if (instance.claim() == Qolvi_Desktop_Agent::SingleInstance::Role::later) {
        return 0;
    }

    // The window speaks the desktop's language where the agent ships it, and English otherwise.
    const std::unique_ptr<QTranslator> translation =
        Qolvi_Desktop_Agent::translationFor(QLocale::system().uiLanguages());
    if (translation) {
        QCoreApplication::installTranslator(translation.get());
    }
    // Window systems add the display name to a window title that differs from it.
    QGuiApplication::setApplicationDisplayName(
        QCoreApplication::translate("Main", "Qolvi Desktop Agent"));

    Qolvi_Desktop_Agent::SystemAppearance::prepare();
    // Before the window, whose making would start Qt's accessibility bridge otherwise.
    Qolvi_Desktop_Agent::joinAccessibilityBus();
    QQmlApplicationEngine engine;
    engine.addImageProvider(QString::fromLatin1(Qolvi_Desktop_Agent::PngImageProvider::id),
                            new Qolvi_Desktop_Agent::PngImageProvider);
    QObject::connect(&instance, &Qolvi_Desktop_Agent::SingleInstance::activationRequested, &engine,
                     [&engine] {
                         for (QObject *root : engine.rootObjects()) {
                             if (auto *window = qobject_cast<QWindow *>(root)) {
                                 window->show();
                                 window->raise();
                                 window->requestActivate();
                             }
                         }
                     });
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &application,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/Qolvi/Main.qml")));
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().value(0));
    if (window == nullptr) {
        return 1;
    }
    // What the first frame does not need waits until it is on screen.
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &instance,
        [&instance] {
            QIcon icon;
            for (const QFileInfo &file : QDir(QStringLiteral(":/qolvi/icons")).entryInfoList()) {
                icon.addPixmap(QPixmap::fromImage(Qolvi_Desktop_Agent::readPng(file.filePath())));
            }
            QGuiApplication::setWindowIcon(icon);
            instance.listenForLaterLaunches();
            // The compositor lists the window now shown; its answer, which says whose it is,
            // is then in before the key button is first pressed.
            Qolvi_Desktop_Agent::startWatchingWindows();
        },
        static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    return QGuiApplication::exec();
}

} // namespace

int main(int argc, char *argv[]) {
    const int code = runAgent(argc, argv);
    // The window is gone; what is left to tear down would wait for a proxy lookup that may
    // never end, and an agent still running without a window would take every later launch.
    if (Qolvi_Desktop_Agent::SystemProxies::lookupRunning()) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
