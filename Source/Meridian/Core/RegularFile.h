// Opening data files that must be plain files: songs, track files, tables.
//
// A FIFO, device or folder that carries a song's name must not be read: a
// FIFO blocks its reader until a writer comes, for ever when none does.
// OpenRegularFile therefore opens without blocking, checks what it opened
// (so nothing can be swapped in between the check and the reading) and only
// then hands out a blocking stdio stream. Links are followed: a link to a
// regular file is one.
#pragma once

#include <cstdio>
#include <string>

namespace Meridian {

// path opened for reading ("rb"), or null when it cannot be opened or is not
// a regular file. On failure, why (when given) receives the reason, such as
// "No such file or directory" or "not a regular file", and errno is ENOENT
// when nothing of that name exists.
FILE* OpenRegularFile(const std::string& path, std::string* why = nullptr);

// True when path names a regular file or a link to one (nothing is opened).
bool IsRegularFile(const std::string& path);

}  // namespace Meridian
