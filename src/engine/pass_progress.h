// How far a pass is: the work it found when it compared the sources with the mirror, weighed in
// bytes, against the work done; the gauge's position and the tray's hint during a pass.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace vestrand {

// What one entry costs beyond its bytes: making it, setting its time and attributes, its journal
// line. The benchmark's first pass over 100,000 mostly small files spends about 0.65 ms a file
// beyond the bytes, while the drive writes about 200 MB a second: some 130,000 bytes' worth.
inline constexpr int64_t kEntryWeight = 128 * 1024;
// A file this large is copied in blocks, so that a stop takes effect inside it and the gauge moves.
inline constexpr int64_t kLargeFileBytes = 16 * 1024 * 1024;
inline constexpr size_t kCopyBlockBytes = 1024 * 1024;
// The hint tells the time left only once the pass has copied this long.
inline constexpr double kEstimateAfterSeconds = 5.0;

class PassProgress {
public:
    // Planned work: a file to copy weighs its size plus kEntryWeight; a folder to make, an
    // attribute change, a deletion and a held version kEntryWeight.
    void Plan(int64_t weight) { m_total += weight; }
    // Work done; failed and left-out entries count as done too.
    void Done(int64_t weight) { m_done += weight; }
    // 0..100: trunc(done * 100 / total); 0 while nothing is planned.
    int Percent() const;
    // The time left by the pace so far, once `copyingSeconds` have passed since copying began.
    std::optional<double> SecondsLeft(double copyingSeconds) const;
    int64_t Total() const { return m_total; }
    int64_t DoneWeight() const { return m_done; }

private:
    int64_t m_total = 0;
    int64_t m_done = 0;
};

// "меньше минуты", "N мин", or from an hour up "N ч M мин".
std::string RemainingText(double seconds);
// The tray's hint while a pass compares ("Создаю полис: просмотр") and while it works
// ("Создаю полис: 42 %", then ", осталось ~..."); never longer than kHintLimit characters.
inline constexpr size_t kHintLimit = 63;
std::string ComparingHint();
std::string WorkingHint(int percent, std::optional<double> secondsLeft);

} // namespace vestrand
