// Where a song's own files live: its track file (".kpt") and its high-score
// table (".scr"), named by the song's path with the suffix appended.
//
// They stay beside the song when the song's folder is writable. When it is
// not (a read-only or shared library), they go under the user's data folder,
// $XDG_DATA_HOME/skyrail (default ~/.local/share/skyrail), at the song's
// absolute path: /music/a.mp3 gets <data>/music/a.mp3.kpt. Both places are
// looked up when a song's file is read. Depends on POSIX file functions only.
#pragma once

#include <string>

namespace SongFiles {

// $XDG_DATA_HOME/skyrail when XDG_DATA_HOME is an absolute path, otherwise
// $HOME/.local/share/skyrail; empty when neither is known.
std::string DataFolder();

// song + suffix, beside the song.
std::string BesidePath(const std::string& song, const std::string& suffix);
// The same file under DataFolder(), at the song's absolute path.
std::string DataPath(const std::string& song, const std::string& suffix);

// True when files can be created in the song's folder.
bool SongFolderWritable(const std::string& song);

// Where the file is written: beside the song when its folder is writable,
// under the data folder otherwise.
std::string WritePath(const std::string& song, const std::string& suffix);

// Where the file is read: where it would be written, if it exists there; the
// other place, if it exists there; otherwise where it would be written.
std::string ReadPath(const std::string& song, const std::string& suffix);

// Creates the folders above path that are missing (mode 0755); false when one
// cannot be made.
bool MakeParentFolders(const std::string& path);

}  // namespace SongFiles
