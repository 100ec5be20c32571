import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qolvi

// The whole window: logo, heading, key field, and the key button or the connected group, with
// the alert banner behind them. Every value comes from the agent state.
Item {
    id: screen

    required property ContentView agent
    readonly property bool dark: screen.agent.isDarkAppearance
    readonly property int defaultPadding: 12
    readonly property color focusRingColor: screen.dark ? ThemePalette.white : ThemePalette.navy
    // The window opens large enough for the taller of the two states.
    readonly property real preferredWidth: form.implicitWidth
    readonly property real preferredHeight: form.implicitHeight - lowerPart.implicitHeight + Math.max(keyButton.implicitHeight, connectedGroup.implicitHeight)

    implicitWidth: screen.preferredWidth
    implicitHeight: form.implicitHeight

    // A right-to-left language mirrors the whole screen.
    LayoutMirroring.enabled: Qt.application.layoutDirection === Qt.RightToLeft
    LayoutMirroring.childrenInherit: true

    Component.onCompleted: screen.agent.startReportTimer()

    // The keyboard follows what is on screen: the hidden key button and the disabled key field
    // must not keep the focus, or Space would send the key again during the exam.
    readonly property bool connected: screen.agent.isConnected
    readonly property bool submitting: screen.agent.isSubmittingKey

    onConnectedChanged: {
        // As if reached by the keyboard, so its ring shows where Space now acts.
        if (screen.connected)
            beginButton.forceActiveFocus(Qt.TabFocusReason)
        else
            keyField.forceActiveFocus()
    }
    onSubmittingChanged: {
        if (!screen.submitting && !screen.connected && !keyButton.activeFocus)
            keyField.forceActiveFocus()
    }

    Rectangle {
        objectName: "background"
        anchors.fill: parent
        color: screen.dark ? ThemePalette.navy : ThemePalette.snow
    }

    Loader {
        id: bannerLayer
        objectName: "bannerLayer"
        anchors.fill: parent
        active: screen.agent.alertManager.isVisible
        sourceComponent: AlertBanner {
            alertManager: screen.agent.alertManager
            defaultPadding: screen.defaultPadding
        }
    }

    Item {
        id: form
        objectName: "form"
        anchors.centerIn: parent
        width: Math.min(form.implicitWidth, screen.width)
        height: form.implicitHeight
        implicitWidth: column.implicitWidth + 2 * 50
        implicitHeight: column.implicitHeight + 2 * 50

        ColumnLayout {
            id: column
            objectName: "content"
            anchors.fill: parent
            anchors.margins: 50
            spacing: 20

            Image {
                objectName: "logo"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredWidth: 200
                Layout.preferredHeight: 200 * (implicitHeight > 0 ? implicitHeight / implicitWidth : 0.3)
                source: screen.dark ? "image://qolvi/logo-white" : "image://qolvi/logo-dark"
                sourceSize.width: 400
                fillMode: Image.PreserveAspectFit
                smooth: true
                Accessible.role: Accessible.Graphic
                Accessible.name: "Qolvi"
            }

            Text {
                objectName: "heading"
                Layout.alignment: Qt.AlignHCenter
                text: screen.agent.isConnected ? qsTr("YOUR EXAM KEY") : qsTr("ENTER YOUR EXAM KEY IN THE BOX BELOW")
                textFormat: Text.PlainText
                font.pointSize: 13
                font.bold: true
                color: screen.dark ? ThemePalette.white : ThemePalette.navy
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }

            TextField {
                id: keyField
                objectName: "keyField"
                Layout.fillWidth: true
                Layout.margins: screen.defaultPadding
                Layout.minimumWidth: 240
                focus: true
                text: screen.agent.examKey
                // Every change, not only the keyboard's: a paste, an input method's commit, a
                // clear, or text set by assistive technology, so that the key sent is the one
                // the field shows.
                onTextChanged: screen.agent.examKey = keyField.text
                enabled: !screen.agent.isSubmittingKey && !screen.agent.isConnected
                color: ThemePalette.navy
                selectionColor: ThemePalette.sky
                selectedTextColor: ThemePalette.white
                placeholderText: ""
                font.pointSize: 12
                Accessible.role: Accessible.EditableText
                Accessible.name: qsTr("Exam key")
                Accessible.readOnly: !keyField.enabled

                // The gray outline lies on the field's frame but 7 inside its leading edge; the
                // fill follows the outline, and the text starts inside it. What is typed keeps
                // the order it was typed in, whichever side the field starts from.
                leftPadding: keyField.mirrored ? 6 : 7 + 6
                rightPadding: keyField.mirrored ? 7 + 6 : 6
                background: Item {
                    implicitHeight: 32

                    Rectangle {
                        objectName: "keyFieldOutline"
                        anchors.fill: parent
                        anchors.leftMargin: 7
                        radius: 5
                        color: ThemePalette.white
                        opacity: keyField.enabled ? 1.0 : 0.75
                        border.width: 1
                        border.color: "gray"
                    }
                }
            }

            Item {
                id: lowerPart
                Layout.alignment: Qt.AlignHCenter
                // As wide as the wider state, so that nothing moves sideways when the state changes.
                implicitWidth: Math.max(keyButton.implicitWidth, connectedGroup.implicitWidth)
                implicitHeight: screen.agent.isConnected ? connectedGroup.implicitHeight : keyButton.implicitHeight

                CustomButton {
                    id: keyButton
                    objectName: "keyButton"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !screen.agent.isConnected
                    // Reports while connected leave the hidden button as it is.
                    enabled: !screen.agent.isSubmittingKey
                    backgroundColor: ThemePalette.crimson
                    focusRingColor: screen.focusRingColor
                    text: qsTr("MATCH THE KEY")
                    font.pointSize: 13
                    font.bold: true
                    onClicked: screen.agent.submitExamKey()

                    contentItem: Row {
                        spacing: 8

                        Text {
                            objectName: "keyButtonCaption"
                            anchors.verticalCenter: parent.verticalCenter
                            topPadding: 8
                            bottomPadding: 8
                            leftPadding: 16
                            rightPadding: 16
                            text: keyButton.text
                            font: keyButton.font
                            color: ThemePalette.white
                            textFormat: Text.PlainText
                        }

                        Loader {
                            objectName: "busyIndicatorSlot"
                            anchors.verticalCenter: parent.verticalCenter
                            active: screen.agent.isSubmittingKey
                            visible: active
                            sourceComponent: ActivityIndicator {
                                objectName: "busyIndicator"
                                scale: 0.5
                            }
                        }
                    }
                }

                ColumnLayout {
                    id: connectedGroup
                    objectName: "connectedGroup"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: screen.agent.isConnected
                    spacing: 20

                    Text {
                        objectName: "connectedLabel"
                        Layout.alignment: Qt.AlignHCenter
                        text: qsTr("CONNECTED")
                        textFormat: Text.PlainText
                        font.pointSize: 13
                        font.bold: true
                        color: ThemePalette.mint
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }

                    CustomButton {
                        id: beginButton
                        objectName: "beginButton"
                        Layout.alignment: Qt.AlignHCenter
                        backgroundColor: ThemePalette.mint
                        focusRingColor: screen.focusRingColor
                        text: qsTr("BEGIN THE EXAM")
                        onClicked: screen.agent.beginExam()
                    }

                    Column {
                        objectName: "instructions"
                        Layout.alignment: Qt.AlignHCenter
                        spacing: 6

                        Repeater {
                            model: [qsTr("OPEN A BROWSER ON YOUR COMPUTER"), qsTr("DO NOT CLOSE THIS APPLICATION UNTIL YOU FINISH YOUR EXAM")]

                            Text {
                                required property string modelData
                                anchors.horizontalCenter: parent.horizontalCenter
                                text: modelData
                                textFormat: Text.PlainText
                                font.pointSize: 11
                                color: screen.dark ? ThemePalette.white : ThemePalette.navy
                                Accessible.role: Accessible.StaticText
                                Accessible.name: text
                            }
                        }
                    }
                }
            }

            // Stays for the rest of the run, since a candidate who looks at the browser would
            // miss a banner; made when it is first needed, so that a screen reader hears it once
            // as it shows. As wide as the rest of the screen, and wrapped within that width in
            // any language.
            Loader {
                objectName: "newLoginSlot"
                Layout.fillWidth: true
                Layout.preferredWidth: 0
                active: screen.agent.needsNewLogin
                visible: active
                sourceComponent: Rectangle {
                    objectName: "newLoginNotice"
                    implicitHeight: noticeText.implicitHeight
                    radius: 8
                    color: "transparent"
                    border.width: 1
                    border.color: ThemePalette.sky
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: noticeText.text

                    Text {
                        id: noticeText
                        objectName: "newLoginText"
                        width: parent.width
                        padding: screen.defaultPadding
                        text: qsTr("To let the agent see your windows, log out and log in again before the exam.")
                        textFormat: Text.PlainText
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignHCenter
                        font.pointSize: 11
                        color: screen.dark ? ThemePalette.white : ThemePalette.navy
                    }
                }
            }
        }
    }
}
