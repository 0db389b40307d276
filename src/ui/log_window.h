// The Log window: the logs of this run's FTP sessions, following the current
// session's log live while it is open. Runs on the window's thread from its
// own 20 ms timer, so the main loop keeps running beside it.
#pragma once

#include <functional>

#include <wx/window.h>

#include "model/conversation_log.h"
#include "model/shared_state.h"

namespace wexmoor {

// Opens the window beside `owner` and returns it; `onClosed` runs when it
// has gone (OK, close box, or the program's quit request).
wxWindow* ShowLogWindow(wxWindow* owner, const SessionHistory& history, const ConversationLog& log,
                        const SharedFlags& flags, std::function<void()> onClosed);

}  // namespace wexmoor
