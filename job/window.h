#pragma once
// The three things a conversion asks of the window that started it. The
// Windows dialog, the command line and the tests each supply their own.

#include <functional>
#include <string_view>

namespace karuto {

struct JobWindow {
    // A question with OK and Cancel, caption "確認"; true only for OK.
    std::function<bool(std::u16string_view text)> askQuestion;
    // An error with a single OK button and no caption of its own.
    std::function<void(std::u16string_view text)> showError;
    // A new last line of the message list, selected so that it is in view.
    std::function<void(std::u16string_view text)> addMessage;
};

} // namespace karuto
