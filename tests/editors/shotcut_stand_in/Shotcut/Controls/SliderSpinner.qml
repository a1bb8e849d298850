import QtQuick 2.12

// Shotcut's slider with a spin box: the value in the slider's own unit.
Item {
    property real value
    property real minimumValue: 0
    property real maximumValue: 100
    property int decimals: 0
    property real stepSize: 1
    property string suffix
    property string label
}
