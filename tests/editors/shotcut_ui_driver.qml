import QtQuick 2.12
import QtTest 1.2
import "cases.js" as Cases

// Drives Shotcut's filter page for rangewick (ui.qml) against a stand-in of Shotcut's
// filter object and prints what reaches the filter, for the test that holds it to the
// module and the command-line tool. `cases.js` beside this file names the page and the
// values to try: in the sliders' units, and the module's values to show.
Item {
    id: top

    width: 600
    height: 900

    // Shotcut's filter as the page uses it: values by name, no keyframes.
    QtObject {
        id: filter

        property bool isNew: true
        property int animateIn: 0
        property int animateOut: 0
        property int duration: 100
        property var values: ({})

        signal changed()
        signal inChanged()
        signal outChanged()
        signal propertyChanged(string name)

        function set(name, value, position) {
            values[name] = value;
        }

        function getDouble(name, position) {
            return values[name] === undefined ? 0 : Number(values[name]);
        }

        function keyframeCount(name) {
            return 0;
        }

        function savePreset(parameters) {
        }

        function resetProperty(name) {
            delete values[name];
        }

        function clearSimpleAnimation(name) {
        }
    }

    QtObject {
        id: producer

        property int position: 0
    }

    Loader {
        id: page

        anchors.fill: parent
    }

    TestCase {
        name: "ShotcutPage"

        function test_page() {
            page.source = Cases.ui;
            verify(page.status === Loader.Ready, "ui.qml did not load");
            var ui = page.item;
            for (var name in filter.values)
                console.log("default|" + name + "|" + filter.values[name]);
            for (var i = 0; i < ui.sliders.length; ++i) {
                var s = ui.sliders[i];
                console.log("slider|" + s.parameter + "|" + s.minimumValue + "|" + s.maximumValue + "|" + s.decimals);
                var tried = Cases.values[s.parameter] || [];
                var written = [];
                for (var k = 0; k < tried.length; ++k) {
                    s.value = s.minimumValue - 1;   // so that each value is a change
                    s.value = tried[k];
                    written.push(filter.values[s.parameter]);
                }
                console.log("set|" + s.parameter + "|" + written.join(","));
                var back = Cases.readback[s.parameter] || [];
                var shown = [];
                for (var m = 0; m < back.length; ++m) {
                    filter.values[s.parameter] = back[m];
                    ui.setControls();
                    shown.push(s.value);
                }
                console.log("shown|" + s.parameter + "|" + shown.join(","));
            }
            for (var j = 0; j < ui.checkBoxes.length; ++j) {
                var c = ui.checkBoxes[j];
                var states = [];
                for (var on = 0; on < 2; ++on) {
                    c.checked = on === 1;
                    c.clicked();
                    states.push(filter.values[c.parameter]);
                }
                console.log("checkbox|" + c.parameter + "|" + states.join(","));
            }
        }
    }
}
