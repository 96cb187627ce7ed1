// Small pieces for dialog-like forms: border styles, hints (tool tips on controls) and radio-button groups in
// which no button need be checked.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"

namespace platform {

class TForm;

// bsSingle: fixed size with caption and system menu; bsDialog: the same with a dialog frame. Neither offers
// minimise or maximise.
enum TFormBorderStyle : uint8_t { bsSizeable, bsSingle, bsDialog };
void SetBorderStyle(TForm& form, TFormBorderStyle style);

// Puts the form's child windows back in creation order, which the tab order and radio-button groups follow;
// `bottom` (a page container drawn under the others) goes last.
void ArrangeInCreationOrder(TForm& form, HWND bottom = nullptr);

// One tool-tip window per form, showing a text while the pointer rests on a control.
class THint {
public:
    THint() = default;
    THint(const THint&) = delete;
    THint& operator=(const THint&) = delete;
    ~THint();
    void Create(TForm& form);
    void Add(TWinControl& control, std::string_view text);
    // The hint of a control; empty when it has none.
    std::string Text(const TWinControl& control) const;
    HWND Handle() const noexcept { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

// Radio buttons that belong together, of which at most one is checked; none checked is a valid state that
// code can set and read back.
class TRadioGroup {
public:
    TRadioGroup(std::initializer_list<TRadioButton*> buttons) : buttons_(buttons) {}
    // Index of the checked button, -1 when none is.
    int Checked() const;
    // Checks the button at index; any other index clears them all.
    void SetChecked(int index);
    const std::vector<TRadioButton*>& Buttons() const noexcept { return buttons_; }

private:
    std::vector<TRadioButton*> buttons_;
};

}  // namespace platform
