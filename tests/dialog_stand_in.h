// A stand-in for the window system and the host's preview, behaving as they do where
// the dialog can tell: setting an edit box's text sends its change notification back
// into the dialog before returning, sliders clamp to their range, and every preview
// call is logged with the record's state at that moment.
#pragma once

#include "dialog_core.h"
#include "levels_instance.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

struct StandInDialog final : dialog::DialogPlatform {
    struct Slider {
        int low = 0, high = 100, ticks = 1, pos = 0;   // a new trackbar's values
    };

    explicit StandInDialog(LevelsInstance& record) : inst(record) {}

    LevelsInstance& inst;
    std::map<int, std::string> text;
    std::map<int, Slider> slider;
    std::map<int, int> check;
    std::map<int, bool> enabled;
    std::vector<std::string> events;      // in order: "redo", "sound:..", "open:..", ...
    int redoWithTrackingSet = 0;          // RedoFrame calls that found tracking != 0
    int ended = -99;
    bool failTextRead = false;
    std::string program = "C:\\Program Files\\VirtualDub\\VirtualDub.exe";
    std::string resolved;                 // what fullPath gives; empty: the path itself

    int count(const std::string& what) const
    {
        return static_cast<int>(std::count(events.begin(), events.end(), what));
    }
    int redos() const { return count("redo"); }

    // The user typing (the whole text replaced) and dragging a slider.
    void type(int box, const std::string& t) { setText(box, t.c_str()); }
    bool drag(int id, int pos)
    {
        setSliderPos(id, pos);
        return dialog::onSliderMoved(inst, *this);
    }
    bool click(int id) { return dialog::onCommand(inst, *this, id, 0); }
    bool toggleCheck(int id)
    {
        check[id] = check[id] ? 0 : 1;
        return click(id);
    }

    bool getText(int id, char* out, int size) override
    {
        if (failTextRead)
            return false;
        const std::string& t = text[id];
        const std::size_t n = std::min(t.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(out, t.data(), n);
        out[n] = '\0';
        return true;
    }
    void setText(int id, const char* t) override
    {
        text[id] = t;
        dialog::onCommand(inst, *this, id, dialog::kEditChanged);
    }
    void setNumber(int id, unsigned value) override { setText(id, std::to_string(value).c_str()); }
    void setSliderRange(int id, int low, int high) override
    {
        Slider& s = slider[id];
        s.low = low;
        s.high = high;
        s.pos = std::clamp(s.pos, low, high);
    }
    void setSliderTicks(int id, int every) override { slider[id].ticks = every; }
    void setSliderPos(int id, int pos) override
    {
        Slider& s = slider[id];
        s.pos = std::clamp(pos, s.low, s.high);
    }
    int sliderPos(int id) override { return slider[id].pos; }
    int checkState(int id) override { return check[id]; }
    void setCheckState(int id, int state) override { check[id] = state; }
    void enableControl(int id, bool on) override { enabled[id] = on; }
    void playSound(const char* name) override { events.push_back(std::string("sound:") + name); }
    unsigned programPath(char* out, unsigned size) override
    {
        // Cut short and terminated when too long; the result is then the size.
        const std::size_t n = std::min<std::size_t>(program.size(), size - 1);
        std::memcpy(out, program.data(), n);
        out[n] = '\0';
        return program.size() < size ? static_cast<unsigned>(program.size()) : size;
    }
    unsigned fullPath(const char* path, char* out, unsigned size) override
    {
        const std::string full = resolved.empty() ? std::string(path) : resolved;
        if (full.size() + 1 > size)
            return static_cast<unsigned>(full.size() + 1);
        std::memcpy(out, full.c_str(), full.size() + 1);
        return static_cast<unsigned>(full.size());
    }
    void openDocument(const char* path) override { events.push_back(std::string("open:") + path); }
    void previewInitButton(void* preview, int id) override
    {
        events.push_back(preview == inst.preview ? "init:" + std::to_string(id) : "init:wrong-object");
    }
    void previewToggle(void* preview) override
    {
        events.push_back(preview == inst.preview ? "toggle" : "toggle:wrong-object");
    }
    void previewRedoFrame(void* preview) override
    {
        if (inst.tracking != 0)
            ++redoWithTrackingSet;
        events.push_back(preview == inst.preview ? "redo" : "redo:wrong-object");
    }
    void endDialog(int result) override { ended = result; }
};
