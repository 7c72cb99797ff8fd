#pragma once
// Engines work on byte strings; windows show QStrings. These convert at the
// border: bytes from the wire are UTF-8 when they are valid UTF-8 and Latin-1
// otherwise, so any byte sequence (a file name in a legacy encoding, a binary
// greeting) shows as something instead of replacement marks.
#include <QString>

#include <string>

namespace vn {

QString fromWire(const std::string& bytes);
// UTF-8 bytes of text.
std::string toWire(const QString& text);

} // namespace vn
