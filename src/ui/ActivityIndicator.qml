import QtQuick
import Qolvi

// An indeterminate circular activity indicator: a ring of dots turning, in one colour.
Item {
    id: indicator

    property color color: ThemePalette.white
    readonly property int dots: 8

    implicitWidth: 32
    implicitHeight: 32

    Accessible.role: Accessible.Indicator
    Accessible.name: qsTr("Working")

    Item {
        id: ring
        anchors.fill: parent

        Repeater {
            model: indicator.dots

            Rectangle {
                required property int index
                readonly property real angle: 2 * Math.PI * index / indicator.dots
                width: indicator.width / 5
                height: width
                radius: width / 2
                color: indicator.color
                opacity: 0.25 + 0.75 * index / (indicator.dots - 1)
                x: (indicator.width - width) / 2 + Math.sin(angle) * (indicator.width - width) / 2
                y: (indicator.height - height) / 2 - Math.cos(angle) * (indicator.height - height) / 2
            }
        }

        RotationAnimator on rotation  {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: indicator.visible
        }
    }
}
