// The texts of the balloons that tell the user how a pass went.
#pragma once
#include <string>

#include "engine/pass_result.h"
#include "ui/pass_notices.h"
#include "ui/tray_icon_win.h"

namespace vestrand {

struct Balloon {
    BalloonIcon icon = BalloonIcon::Warning;
    std::string text;
};

// The balloon for what is due after `result` (see PassNotices).
Balloon NoticeBalloon(const PassResult& result, const NoticeDue& due);

// Why a pass did not run, in the user's words, with the folder or value concerned.
std::string RefusalText(const PassResult& result);

} // namespace vestrand
