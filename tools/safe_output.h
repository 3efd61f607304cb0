// Where the program's output goes: standard output, a device or FIFO written directly, or a
// regular file written beside its target and renamed over it only when complete, so that an
// interrupted or failed run leaves an existing file as it was.
#pragma once

#include <sys/stat.h>

#include <string>

namespace tamberlyn_cli {

struct Output {
    std::string shown;  // the name as the user gave it, for messages
    int fd = -1;
    bool direct = false;     // standard output, a device or a FIFO: written in place
    bool seekable = false;   // the header can be patched at the end
    std::string target;      // the file a complete output is renamed to
    std::string directory;   // the target's folder
    bool replaces = false;   // the target exists and will be replaced
    bool anonymous = false;  // an unnamed temporary file (O_TMPFILE), linked in at commit
    std::string temp;        // the temporary file's name, while it has one
};

// Opens `path` ("-" for standard output) for writing. On failure prints one line naming the
// file and the reason and returns false.
bool OpenOutput(const char* path, Output& out);

// Makes the output final: for a temporary file, flushes it when it replaces an existing file,
// renames it over the target and flushes the folder. Prints the reason and returns false on
// failure, after removing the temporary file.
bool CommitOutput(Output& out);

// Gives up: closes the output and removes a temporary file. The target is left as it was.
void AbandonOutput(Output& out);

// Makes SIGINT, SIGTERM and SIGHUP remove a named temporary file before the process ends.
void RemoveTemporaryOnSignals();

// The file that replacing an existing `path` replaces: through a symbolic link the file it
// names, so that the link stays.
std::string ReplacedFile(const char* path);

// A hidden name beside `file` in its folder: ".NAME<suffix>".
std::string HiddenNameBeside(const std::string& file, const std::string& suffix);

std::string DirectoryOf(const std::string& path);

// Flushes a folder, so that a rename in it survives a power cut.
void SyncDirectory(const std::string& directory);

}  // namespace tamberlyn_cli
