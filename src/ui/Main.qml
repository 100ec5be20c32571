import QtQuick
import Qolvi

// The agent's one window. It holds the agent state and shows the main screen.
Window {
    id: window

    title: qsTr("Qolvi Desktop Agent")
    color: mainScreen.dark ? ThemePalette.navy : ThemePalette.snow

    // Opens at the size of its content for the taller state and never shrinks below it, so
    // nothing overlaps and nothing is cut off; larger is the user's choice.
    minimumWidth: mainScreen.preferredWidth
    minimumHeight: mainScreen.preferredHeight

    // Shown once sized, so the window is made once, at its size.
    Component.onCompleted: {
        window.width = mainScreen.preferredWidth
        window.height = mainScreen.preferredHeight
        window.visible = true
    }

    ContentView {
        id: agent
    }

    MainScreen {
        id: mainScreen
        objectName: "mainScreen"
        anchors.fill: parent
        agent: agent
    }
}
