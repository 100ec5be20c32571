import QtQuick
import Qolvi

// The visible alert: a rounded plate in the alert's colour at the top centre of the window,
// dismissed by a click.
Item {
    id: layer

    required property AlertManager alertManager
    property int defaultPadding: 12

    Rectangle {
        id: plate
        objectName: "bannerPlate"

        readonly property color bannerColor: layer.alertManager.bannerColor

        anchors.top: parent.top
        anchors.topMargin: layer.defaultPadding
        anchors.horizontalCenter: parent.horizontalCenter
        width: Math.min(message.implicitWidth, layer.width - 2 * layer.defaultPadding)
        height: message.implicitHeight
        radius: 8
        antialiasing: true
        color: Qt.rgba(plate.bannerColor.r, plate.bannerColor.g, plate.bannerColor.b, plate.bannerColor.a * 0.85)
        z: 1

        Accessible.role: Accessible.AlertMessage
        Accessible.name: layer.alertManager.message
        // Assistive technology dismisses it as a click does.
        Accessible.onPressAction: layer.alertManager.hideAlert()

        AlertAnnouncer {
            banner: plate
            alertManager: layer.alertManager
        }

        Text {
            id: message
            objectName: "bannerText"
            width: plate.width
            padding: layer.defaultPadding
            text: layer.alertManager.message
            textFormat: Text.PlainText
            wrapMode: Text.Wrap
            font.pointSize: 11
            color: ThemePalette.white
        }

        TapHandler {
            onTapped: layer.alertManager.hideAlert()
        }
    }
}
