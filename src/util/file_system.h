#pragma once
// File-system steps that the data log and the alarm parameter file both take.

#include <sys/types.h>

#include <string>

namespace orlo {

// Missing: nothing there (or an empty path); Other: a device, a pipe, or a path that cannot
// be looked at (no search permission, a loop of links...).
enum class PathKind { Missing, File, Folder, Other };

PathKind pathKind(const std::string& path);

// Writes all of `bytes` to `fd`, going on after short writes and interruptions; false with
// errno set when the rest cannot go.
bool writeAll(int fd, const std::string& bytes);

// writeAll at file offset `offset`, leaving the descriptor's own offset alone.
bool writeAllAt(int fd, const std::string& bytes, off_t offset);

}  // namespace orlo
