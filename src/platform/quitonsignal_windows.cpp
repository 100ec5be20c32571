#include "quitonsignal.h"

#include <windows.h>

#include <QCoreApplication>
#include <QMetaObject>

namespace Qolvi_Desktop_Agent {

namespace {

// Windows calls this on a thread of its own; the event loop quits on the main thread.
BOOL WINAPI forwardControlEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

// Started from a console, the agent ends on Ctrl+C, Ctrl+Break and the console's closing;
// the end of the user's session reaches it as the toolkit's own quit.
void quitOnTerminationRequest() {
    SetConsoleCtrlHandler(forwardControlEvent, TRUE);
}

} // namespace Qolvi_Desktop_Agent
