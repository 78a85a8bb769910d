// Where the converted text goes: standard output, or after Open a temporary file beside the
// named one, which replaces it only at Commit. So the named file may be one of the inputs, and
// a failure, or a signal, leaves it as it was and nothing else behind. Every failure is
// reported on standard error. One file at a time in a process: the signal handler knows one.
#pragma once

#include <string>
#include <string_view>
#include <unistd.h>

namespace zimbrots {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { Discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The new file gets the old one's permissions, or those of a file the user creates anew;
    // through a symbolic link, the link's target is replaced and the link kept.
    bool Open(const char* path);
    // False when the output cannot take more. A reader of standard output that went away ends
    // the program through SIGPIPE before this sees it.
    bool Write(std::string_view data);
    // Puts the file in place; standard output has nothing to do.
    bool Commit();
    // Removes a file not yet committed.
    void Discard();

private:
    int fd_ = STDOUT_FILENO;
    std::string target_;
    std::string shownName_;
};

}  // namespace zimbrots
