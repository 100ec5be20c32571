import QtQuick
import QtQuick.Templates as T
import Qolvi

// The look of the screen's two prominent buttons: a rounded plate in one colour with white
// content, growing a little under the pointer and while pressed, faded when disabled.
T.Button {
    id: control

    required property color backgroundColor
    // Drawn around the plate when the keyboard reaches the button; the screen gives a colour
    // that stands out against its background.
    property color focusRingColor: ThemePalette.navy

    // The drawn scales follow the two flags, each with its own short ease-out.
    property real pressScale: control.down ? 1.02 : 1.0
    property real hoverScale: control.hovered ? 1.05 : 1.0
    readonly property real drawnScale: control.pressScale * control.hoverScale

    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)
    padding: 8
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus

    Accessible.role: Accessible.Button
    Accessible.name: control.text
    // Assistive technology presses the button as the pointer does: only while it can be
    // clicked, and taking the focus first, which ends an input method's composition in the key
    // field, so that the key sent is the one shown.
    Accessible.onPressAction: {
        if (!control.enabled || !control.visible)
            return
        control.forceActiveFocus()
        control.clicked()
    }

    Behavior on pressScale {
        NumberAnimation { duration: 100; easing.type: Easing.OutQuad }
    }
    Behavior on hoverScale {
        NumberAnimation { duration: 100; easing.type: Easing.OutQuad }
    }

    transform: Scale {
        origin.x: control.width / 2
        origin.y: control.height / 2
        xScale: control.drawnScale
        yScale: control.drawnScale
    }

    contentItem: Text {
        text: control.text
        font: control.font
        color: ThemePalette.white
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
    }

    background: Rectangle {
        objectName: "plate"
        radius: 8
        antialiasing: true
        color: Qt.rgba(control.backgroundColor.r, control.backgroundColor.g, control.backgroundColor.b,
                       control.backgroundColor.a * (control.enabled ? 1.0 : 0.6))

        // Keyboard users see which button Space will press: a ring around the plate, apart
        // from it, so it contrasts with the background whatever the plate's colour.
        Rectangle {
            objectName: "focusRing"
            anchors.fill: parent
            anchors.margins: -4
            radius: 11
            color: "transparent"
            antialiasing: true
            visible: control.visualFocus
            border.width: 2
            border.color: control.focusRingColor
        }
    }
}
