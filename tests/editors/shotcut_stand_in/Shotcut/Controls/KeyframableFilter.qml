import QtQuick 2.12

// Shotcut's base for filters with keyframes, as far as a filter without keyframes
// in use reaches it: a value goes to the filter as it is.
Item {
    property var keyframableParameters: []
    property var startValues: []
    property var middleValues: []
    property var endValues: []
    property bool blockUpdate: true

    function getPosition() {
        return 0;
    }

    function isSimpleKeyframesActive() {
        return true;
    }

    function updateFilter(parameter, value, button, position) {
        if (!blockUpdate)
            filter.set(parameter, value);
    }

    function toggleKeyframes(isEnabled, parameter, value) {
        filter.set(parameter, value);
    }

    function resetSimpleKeyframes() {
    }

    function initializeSimpleKeyframes() {
    }
}
