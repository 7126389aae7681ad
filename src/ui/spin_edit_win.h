// The number field with its diagonally divided spin button (RxSpinEdit).
#pragma once
#include <windows.h>

#include <cstdint>

#include "ui/button_edit_win.h"
#include "ui/dialog_rules.h"

namespace vestrand {

// Whole-number field: decimal text, MinValue/MaxValue (no range when they are equal), the spin
// button (upper-left half +1, lower-right half -1, auto-repeat while held), Up/Down keys, and a key
// filter that lets only digits, "+", "-" and control keys through (others beep). Pasted text is not
// filtered. A typed value is brought into the range when the focus moves to another control of the
// same window.
class RxSpinEdit final : public ButtonEdit {
public:
    static constexpr int kButtonWidth = 15;

    void Create(HWND parent, int id, int x, int y, int width, int height) override;

    int64_t MinValue() const { return m_min; }
    int64_t MaxValue() const { return m_max; }
    void SetMinValue(int64_t v) { m_min = v; }
    void SetMaxValue(int64_t v) { m_max = v; }

    // The text read by the settings file's integer rules; MinValue when it is not an integer.
    int64_t Value() const;
    // Shows `value`, brought into the range when there is one.
    void SetValue(int64_t value);
    // Reads the value, adds `delta` and sets the result (kept within signed 32 bits).
    void Step(int delta);

    SpinHalf PressedHalf() const { return m_pressed; }

protected:
    LRESULT EditMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PaintButton(HDC dc, const RECT& area) override;
    void ButtonMouse(UINT msg, int x, int y) override;
    void ButtonTimer(UINT_PTR id) override;
    void ButtonCaptureLost() override;

private:
    void StopRepeat();
    void ArmTimer();
    SpinHalf HalfAt(int x, int y) const;

    int64_t m_min = 0;
    int64_t m_max = 0;
    SpinHalf m_pressed = SpinHalf::None;
    bool m_over = false;
    SpinAutoRepeat m_repeat;
};

} // namespace vestrand
