import QtQuick 2.12

Item {
    property bool checked: false

    signal toggled()
}
