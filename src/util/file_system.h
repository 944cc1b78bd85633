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

// Appends `line` to the file at `path` under an exclusive lock (flock), so that writers in other
// processes never interleave; `headerIfNew` goes first when the file is empty. The file is made
// (mode 0644) when missing. False with *error ("cannot append to PATH: reason").
bool appendLocked(const std::string& path, const std::string& headerIfNew, const std::string& line,
                  std::string* error);

// The whole file when it is at most `maxBytes` long; false with *error otherwise.
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string* content, std::string* error);

}  // namespace orlo
