// The one application-wide failure handler.
//
// Every event handler of the window runs through `guarded`: a failure leaves
// the handler where it happened, keeps whatever was already written, and is
// shown as a modal box (caption "Brimlet", stop icon, one OK button). The
// program goes on running. Qt cannot carry an exception through its event
// loop, so the catch sits at the edge of each handler.
#pragma once

#include <QString>

#include <exception>
#include <string_view>

// A message ending in a character above "." (a letter, a digit, "?" or ":")
// gets a "." appended; one ending in ".", "!", ")", ",", "-" or a blank, or an
// empty one, is shown as it is.
QString messageWithPeriod(const QString& message);

// A failure's message as text: UTF-8 where the bytes are valid UTF-8 (paths),
// Latin-1 for every other byte (entry names).
QString messageText(std::string_view bytes);

void showFailure(const std::exception& failure);

template <typename Handler>
void guarded(Handler&& handler)
{
    try {
        handler();
    } catch (const std::exception& failure) {
        showFailure(failure);
    }
}
