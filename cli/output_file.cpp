#include "cli/output_file.h"

#include "cli/messages.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

namespace zimbrots {
namespace {

// The temporary file's name, for the signal handler to remove.
char temporaryPath[PATH_MAX + 16] = {};

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (temporaryPath[0] != '\0')
        ::unlink(temporaryPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Removes the temporary file on the signals that end a program, except those ignored on
// entry (as SIGINT is for a job started with &), which stay ignored. Returns them.
sigset_t RemoveOnSignals()
{
    struct sigaction removing {};
    removing.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&removing.sa_mask);
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ}) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &removing, nullptr);
        sigaddset(&handled, signal);
    }
    return handled;
}

}  // namespace

bool OutputFile::Open(const char* path)
{
    shownName_ = path;
    target_ = path;
    struct stat link {};
    if (::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* resolved = ::realpath(path, nullptr)) {
            target_ = resolved;
            std::free(resolved);
        }
    }
    const std::string::size_type slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const std::string pattern = target_ + ".XXXXXX";
    if (pattern.size() >= sizeof temporaryPath) {
        Complain(path, ENAMETOOLONG);
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) {
            Complain(path, EISDIR);
            return false;
        }
        mode = old.st_mode & 07777;
    }
    // No signal may come between the file's creation and the handler knowing its name.
    const sigset_t handled = RemoveOnSignals();
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &handled, &previous);
    std::memcpy(temporaryPath, pattern.c_str(), pattern.size() + 1);
    fd_ = ::mkostemp(temporaryPath, O_CLOEXEC);
    const int error = errno;
    if (fd_ < 0)
        temporaryPath[0] = '\0';
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (fd_ < 0) {
        std::fprintf(stderr, _("%s: cannot create a file in %s: %s\n"), ProgramName, folder.c_str(), std::strerror(error));
        return false;
    }
    ::fchmod(fd_, mode);
    return true;
}

bool OutputFile::Write(std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd_, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (fd_ == STDOUT_FILENO)
                std::fprintf(stderr, _("%s: cannot write to standard output: %s\n"), ProgramName, std::strerror(errno));
            else
                std::fprintf(stderr, _("%s: cannot write %s: %s\n"), ProgramName, shownName_.c_str(), std::strerror(errno));
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool OutputFile::Commit()
{
    if (fd_ == STDOUT_FILENO)
        return true;
    // A full disk may show only when the data goes out.
    const bool written = ::fsync(fd_) == 0 || errno == EINVAL;
    const int syncError = errno;
    if (::close(fd_) != 0 || !written || ::rename(temporaryPath, target_.c_str()) != 0) {
        std::fprintf(stderr, _("%s: cannot write %s: %s\n"), ProgramName, shownName_.c_str(),
                     std::strerror(written ? errno : syncError));
        fd_ = -1;
        Discard();
        return false;
    }
    temporaryPath[0] = '\0';
    fd_ = STDOUT_FILENO;
    return true;
}

void OutputFile::Discard()
{
    if (fd_ != STDOUT_FILENO && fd_ >= 0)
        ::close(fd_);
    fd_ = STDOUT_FILENO;
    if (temporaryPath[0] != '\0')
        ::unlink(temporaryPath);
    temporaryPath[0] = '\0';
}

}  // namespace zimbrots
