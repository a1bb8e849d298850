import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

// Each slider shows its parameter in the unit the command-line tool takes: `factor`
// turns the module's value into that unit, and `defaultValue` is the tool's default
// in it. Values read from the project are rounded to the slider's decimals, so that
// a level stored as 0.25098 shows as 64 and not 63.
Shotcut.KeyframableFilter {
    id: root

    property var sliders: [highlightClip, shadowClip, highlightsMin, shadowsMax, followTime, strength, independence, marginTop, marginRight, marginBottom, marginLeft]
    property var checkBoxes: [cuts, previewClipped]

    function parameterNames() {
        var names = [];
        for (var i = 0; i < sliders.length; ++i)
            names.push(sliders[i].parameter);
        for (var j = 0; j < checkBoxes.length; ++j)
            names.push(checkBoxes[j].parameter);
        return names;
    }

    // The module's value for what the slider shows. A quotient such as 1.3 / 100 is a
    // hair off the decimal 0.013 the tool reads from '--strength 0.013'; fifteen digits
    // bring it back, and are far finer than any setting.
    function stored(slider) {
        return Number((slider.value / slider.factor).toPrecision(15));
    }

    function shown(slider, value) {
        var unit = Math.pow(10, slider.decimals);
        return Math.round(value * slider.factor * unit) / unit;
    }

    function setControls() {
        var position = getPosition();
        blockUpdate = true;
        for (var i = 0; i < sliders.length; ++i)
            sliders[i].value = shown(sliders[i], filter.getDouble(sliders[i].parameter, position));
        for (var j = 0; j < checkBoxes.length; ++j)
            checkBoxes[j].checked = filter.getDouble(checkBoxes[j].parameter) >= 0.5;
        strengthKeyframes.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount('strength') > 0;
        blockUpdate = false;
        strength.enabled = isSimpleKeyframesActive();
    }

    function sliderChanged(slider) {
        if (blockUpdate)
            return;
        if (slider === strength)
            updateFilter('strength', stored(strength), strengthKeyframes, getPosition());
        else
            filter.set(slider.parameter, stored(slider));
    }

    function updateSimpleKeyframes() {
        updateFilter('strength', stored(strength), strengthKeyframes, null);
    }

    keyframableParameters: ['strength']
    startValues: [0]
    middleValues: [1]
    endValues: [0]
    width: 420
    height: 480
    Component.onCompleted: {
        if (filter.isNew) {
            blockUpdate = true;
            for (var i = 0; i < sliders.length; ++i) {
                sliders[i].value = sliders[i].defaultValue;
                filter.set(sliders[i].parameter, stored(sliders[i]));
            }
            for (var j = 0; j < checkBoxes.length; ++j)
                filter.set(checkBoxes[j].parameter, 0);
            filter.savePreset(preset.parameters);
        }
        setControls();
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 4

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            parameters: parameterNames()
            Layout.columnSpan: 3
            onBeforePresetLoaded: resetSimpleKeyframes()
            onPresetSelected: {
                setControls();
                initializeSimpleKeyframes();
            }
        }

        Label {
            text: qsTr('Highlight clip')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Share of all samples allowed to clip to white. Larger: brighter, more blown highlights.')
            }
        }

        Shotcut.SliderSpinner {
            id: highlightClip

            property string parameter: 'highlight clip'
            property real factor: 100
            property real defaultValue: 0.01

            minimumValue: 0
            maximumValue: 100
            decimals: 2
            suffix: ' %'
            onValueChanged: sliderChanged(highlightClip)
        }

        Shotcut.UndoButton {
            onClicked: highlightClip.value = highlightClip.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Shadow clip')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Share of all samples allowed to clip to black. Larger: deeper blacks, more crushed shadows.')
            }
        }

        Shotcut.SliderSpinner {
            id: shadowClip

            property string parameter: 'shadow clip'
            property real factor: 100
            property real defaultValue: 1

            minimumValue: 0
            maximumValue: 100
            decimals: 2
            suffix: ' %'
            onValueChanged: sliderChanged(shadowClip)
        }

        Shotcut.UndoButton {
            onClicked: shadowClip.value = shadowClip.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Highlights minimum')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('The white point is never below this level, so a dark scene is not stretched all the way to white.')
            }
        }

        Shotcut.SliderSpinner {
            id: highlightsMin

            property string parameter: 'highlights min'
            property real factor: 255
            property real defaultValue: 64

            minimumValue: 0
            maximumValue: 255
            decimals: 0
            onValueChanged: sliderChanged(highlightsMin)
        }

        Shotcut.UndoButton {
            onClicked: highlightsMin.value = highlightsMin.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Shadows maximum')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('The black point is never above this level, so a bright scene is not pulled all the way down to black.')
            }
        }

        Shotcut.SliderSpinner {
            id: shadowsMax

            property string parameter: 'shadows max'
            property real factor: 255
            property real defaultValue: 192

            minimumValue: 0
            maximumValue: 255
            decimals: 0
            onValueChanged: sliderChanged(shadowsMax)
        }

        Shotcut.UndoButton {
            onClicked: shadowsMax.value = shadowsMax.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Follow time')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Time the points take to cross the whole range 0..255 as they follow the picture. 0: one level a frame.')
            }
        }

        Shotcut.SliderSpinner {
            id: followTime

            property string parameter: 'follow time'
            property real factor: 100
            property real defaultValue: 0

            minimumValue: 0
            maximumValue: 100
            decimals: 2
            suffix: ' s'
            onValueChanged: sliderChanged(followTime)
        }

        Shotcut.UndoButton {
            onClicked: followTime.value = followTime.defaultValue
        }

        Item {
            width: 1
        }

        Item {
            width: 1
        }

        CheckBox {
            id: cuts

            property string parameter: 'cuts'

            text: qsTr('Start afresh at cuts')
            Layout.columnSpan: 3
            onClicked: filter.set(parameter, checked ? 1 : 0)

            Shotcut.HoverTip {
                text: qsTr("The first frame of a new shot is levelled with its own points instead of the last shot's following slowly. For edited films, home videos, captured tapes.")
            }
        }

        Label {
            text: qsTr('Strength')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('How much of the levelling to apply: 0 % gives the picture back unchanged. Keyframed, it fades the levelling in or out while the points go on following the picture.')
            }
        }

        Shotcut.SliderSpinner {
            id: strength

            property string parameter: 'strength'
            property real factor: 100
            property real defaultValue: 100

            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: sliderChanged(strength)
        }

        Shotcut.UndoButton {
            onClicked: strength.value = strength.defaultValue
        }

        Shotcut.KeyframesButton {
            id: strengthKeyframes

            onToggled: {
                strength.enabled = true;
                toggleKeyframes(checked, 'strength', stored(strength));
            }
        }

        Label {
            text: qsTr('Independence')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('0 %: red, green and blue share one pair of points. 100 %: each channel gets its own, which takes out a colour cast (a faded film).')
            }
        }

        Shotcut.SliderSpinner {
            id: independence

            property string parameter: 'independence'
            property real factor: 100
            property real defaultValue: 0

            minimumValue: 0
            maximumValue: 100
            decimals: 1
            suffix: ' %'
            onValueChanged: sliderChanged(independence)
        }

        Shotcut.UndoButton {
            onClicked: independence.value = independence.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Margin top')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Rows at the top left out of the count, as a share of the height (letterbox bars). They are still levelled.')
            }
        }

        Shotcut.SliderSpinner {
            id: marginTop

            property string parameter: 'margin top'
            property real factor: 100
            property real defaultValue: 0

            minimumValue: 0
            maximumValue: 50
            decimals: 2
            suffix: ' %'
            onValueChanged: sliderChanged(marginTop)
        }

        Shotcut.UndoButton {
            onClicked: marginTop.value = marginTop.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Margin right')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Columns at the right left out of the count, as a share of the width (pillarbox bars).')
            }
        }

        Shotcut.SliderSpinner {
            id: marginRight

            property string parameter: 'margin right'
            property real factor: 100
            property real defaultValue: 0

            minimumValue: 0
            maximumValue: 50
            decimals: 2
            suffix: ' %'
            onValueChanged: sliderChanged(marginRight)
        }

        Shotcut.UndoButton {
            onClicked: marginRight.value = marginRight.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Margin bottom')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Rows at the bottom left out of the count, as a share of the height (letterbox bars, head-switching noise).')
            }
        }

        Shotcut.SliderSpinner {
            id: marginBottom

            property string parameter: 'margin bottom'
            property real factor: 100
            property real defaultValue: 0

            minimumValue: 0
            maximumValue: 50
            decimals: 2
            suffix: ' %'
            onValueChanged: sliderChanged(marginBottom)
        }

        Shotcut.UndoButton {
            onClicked: marginBottom.value = marginBottom.defaultValue
        }

        Item {
            width: 1
        }

        Label {
            text: qsTr('Margin left')
            Layout.alignment: Qt.AlignRight

            Shotcut.HoverTip {
                text: qsTr('Columns at the left left out of the count, as a share of the width (pillarbox bars).')
            }
        }

        Shotcut.SliderSpinner {
            id: marginLeft

            property string parameter: 'margin left'
            property real factor: 100
            property real defaultValue: 0

            minimumValue: 0
            maximumValue: 50
            decimals: 2
            suffix: ' %'
            onValueChanged: sliderChanged(marginLeft)
        }

        Shotcut.UndoButton {
            onClicked: marginLeft.value = marginLeft.defaultValue
        }

        Item {
            width: 1
        }

        Item {
            width: 1
        }

        CheckBox {
            id: previewClipped

            property string parameter: 'preview clipped'

            text: qsTr('Preview clipped')
            Layout.columnSpan: 3
            onClicked: filter.set(parameter, checked ? 1 : 0)

            Shotcut.HoverTip {
                text: qsTr('Shows only what clips: levels mapped to full black or white stay, every other level becomes middle grey.')
            }
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        function onInChanged() {
            updateSimpleKeyframes();
        }

        function onOutChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateInChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateOutChanged() {
            updateSimpleKeyframes();
        }

        function onPropertyChanged(name) {
            setControls();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }

        target: producer
    }
}
