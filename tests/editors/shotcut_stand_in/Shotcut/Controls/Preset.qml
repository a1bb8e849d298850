import QtQuick 2.12

Item {
    property var parameters: []

    signal beforePresetLoaded()
    signal presetSelected()
}
