// What the restore window writes: a moment with what its pass changed, a file's size, and the time
// a restore still needs.
#pragma once
#include <cstdint>
#include <string>

#include "engine/history.h"

namespace vestrand {

// "Сейчас" for the mirror as it is; "dd.mm.yy hh:nn" of its Stop and the counts of a pass's moment.
std::string MomentText(const HistoryMoment& moment, bool now, char timeSeparator);
// "512 байт", "1,5 Кб", "20,0 Мб", "3,2 Гб".
std::string SizeText(int64_t bytes);
// A packed file-system time (PackDosStamp) as "dd.mm.yy hh:nn".
std::string DosStampText(uint32_t packed, char timeSeparator);
// "осталось 40 с", "осталось около 3 мин"; empty while too little is done to tell.
std::string TimeLeftText(int64_t done, int64_t total, double elapsedSeconds);

} // namespace vestrand
