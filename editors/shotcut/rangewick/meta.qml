import QtQuick 2.0
import org.shotcut.qml 1.0

// Only the strength is keyframed: a changed strength only builds the tables again and
// the points go on following, where any other changed value starts the levelling afresh.
Metadata {
    type: Metadata.Filter
    name: qsTr("Automatic Levels (rangewick)")
    keywords: qsTr('auto levels exposure contrast brightness dim flat washed out', 'search keywords for the rangewick video filter') + ' rangewick'
    objectName: 'rangewick'
    mlt_service: 'frei0r.rangewick'
    qml: 'ui.qml'

    keyframes {
        allowAnimateIn: true
        allowAnimateOut: true
        simpleProperties: ['strength']
        parameters: [
            Parameter {
                name: qsTr('Strength')
                property: 'strength'
                isCurve: true
                minimum: 0
                maximum: 1
            }
        ]
    }
}
