#pragma once
// Path rules of the copy routines. Local and remote paths both use "/"; a
// folder path ends with "/". Whether a path is local or remote is decided by
// its connection, never by the text.
#include <string>
#include <string_view>

namespace vn {

// The path with exactly one trailing "/" ("" stays "").
std::string withSlash(std::string_view path);
// The path without its trailing "/" ("/" stays "/").
std::string withoutSlash(std::string_view path);
// The last component of a file or folder path ("/a/b/" and "/a/b" give "b").
std::string lastComponent(std::string_view path);
// True when `path` is `folder` itself or lies below it, comparing whole
// components: "/data/a" holds "/data/a/x" but not "/data/ab". Case-sensitive.
bool isSameOrBelow(std::string_view folder, std::string_view path);
// A name that may become one component of a path we write or delete: not
// empty, not "." or "..", without "/", NUL, CR or LF.
bool isSafeComponent(std::string_view name);
// An absolute path of safe components separated by single "/", optionally
// ending with "/" (a folder); "/" alone is no entry.
bool isPlainAbsolutePath(std::string_view path);

} // namespace vn
