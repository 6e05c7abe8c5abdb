// Replacing an existing file with new content, as a conversion in place
// does. The new content goes to a temporary file in the same directory,
// which takes the old file's name only once it is complete, synced, and
// given the old file's mode, owner and group. At every moment the name holds
// either the whole old file or the whole new one, and however the run ends
// no other file is left beside it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform.h"

struct FileReplace {
    FILE* file = nullptr;    // the new content is written here
    int dirFd = -1;          // the target's directory, held open (POSIX)
    std::string dirPath;     // the target's directory (Windows)
    std::string targetName;  // the target's name inside its directory
    std::string tempName;    // the temporary's name there; empty while it has none
    uint32_t mode = 0;       // permission bits the new file takes from the old
    int64_t owner = -1;
    int64_t group = -1;
};

// Starts replacing the regular file that `path` names (links followed), which
// must be the file `expected` (the one that was read: a name swapped since
// for a link elsewhere is refused). Takes the target's attributes in one
// look and creates the temporary. A target whose attributes cannot be read,
// that this process may not write, or that is the report's own stream is
// refused too. `unnamedAllowed` false makes it use a named temporary even
// where the system offers an unnamed one (for tests). 0, or -1 with nothing
// created.
int fileReplaceBegin(const char* path, const FileId& expected, FileReplace& replace, bool unnamedAllowed = true);

// Gives the temporary the target's attributes, syncs it, moves it over the
// target and syncs the directory; closes everything. 0, or -1 with the
// temporary gone and the target as it was.
int fileReplaceCommit(FileReplace& replace);

// Drops the temporary and closes everything; the target stays as it was.
void fileReplaceAbandon(FileReplace& replace);

// The name that attempt `attempt` of this process gives a temporary: short
// and of fixed form, so any name that fits the file system can be replaced.
std::string fileReplaceTempName(unsigned attempt);
