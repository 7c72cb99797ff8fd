#pragma once
// Timings and pointer bands of drag and drop over the explorer's tree.

namespace vn {

// TimerExpand: a drag held this long over one collapsed node expands it.
inline constexpr int TimerExpandInterval = 1000;
// TreeTimer: while the pointer stays in a scroll band the tree moves one node per tick.
inline constexpr int TreeTimerInterval = 500;
// The tree scrolls up while the pointer is at most this many pixels from its top...
inline constexpr int ScrollUpBand = 19;
// ...and down while it is within this many pixels of its bottom (y > height - band).
inline constexpr int ScrollDownBand = 20;

} // namespace vn
