#pragma once
// The action sound of the tool windows.
#include <functional>
#include <string>

namespace vn {

// Plays soundFile synchronously when it is not empty; the system beep when it
// is empty or cannot be played. Callable from any thread (the system beep is
// posted to the GUI thread and not waited for).
void beeps(const std::string& soundFile);

// Plays a sound file with the first of aplay / paplay found; false when none
// exists, the file is missing or the player fails.
bool playSoundFile(const std::string& soundFile);

// When set, every beeps() call runs the hook (on the calling thread) instead
// of making any sound; an empty function removes it.
void setBeepHook(std::function<void()> hook);

} // namespace vn
