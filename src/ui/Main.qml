import QtQuick
import Qolvi

// The agent's one window. It holds the agent state and shows the main screen.
Window {
    id: window

    title: "Qolvi Desktop Agent"
    visible: true
    color: mainScreen.dark ? ThemePalette.navy : ThemePalette.snow

    // Opens at the size of its content; the user may resize it freely afterwards.
    Component.onCompleted: {
        window.width = mainScreen.preferredWidth
        window.height = mainScreen.preferredHeight
    }

    ContentView {
        id: agent
    }

    MainScreen {
        id: mainScreen
        anchors.fill: parent
        agent: agent
    }
}
