// zimbrots-convert: converts files or standard input into hacker writing on standard output,
// or into one file named by -o.

#include "conversion/convert.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <getopt.h>
#include <langinfo.h>
#include <libintl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The messages in the user's language, from the gettext catalogue "zimbrots-convert".
#define _(text) gettext(text)

namespace {

constexpr const char* ProgramName = "zimbrots-convert";
constexpr std::size_t ChunkSize = 64 * 1024;

// ISO-8859-13 is the standard that Windows-1257 grew from: each Latvian letter has the same
// byte in both, and every byte without a replacement passes unchanged in either, so one pass
// serves both.
enum class Encoding { Utf8, Windows1257 };

std::optional<Encoding> EncodingNamed(std::string_view name)
{
    // Names compare as iconv's do: in any case, with or without '-' and '_'.
    std::string key;
    for (const char c : name) {
        if (c != '-' && c != '_')
            key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    if (key == "utf8")
        return Encoding::Utf8;
    if (key == "windows1257" || key == "cp1257" || key == "iso885913" || key == "latin7")
        return Encoding::Windows1257;
    return std::nullopt;
}

void PrintKnownEncodings()
{
    std::fprintf(stderr, _("The encodings known are utf-8 (utf8), windows-1257 (cp1257) and iso-8859-13 (latin7), "
                           "in any case.\n"));
}

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 _("Usage: %s [OPTION]... [FILE]...\n"
                   "Converts each FILE, or standard input when there is none or for \"-\",\n"
                   "into hacker writing on standard output.\n"
                   "\n"
                   "  -e, --encoding=NAME  the text's encoding: utf-8, windows-1257 or iso-8859-13;\n"
                   "                       by default the locale's\n"
                   "  -o, --output=FILE    write to FILE, replacing it only once all is converted;\n"
                   "                       FILE may be one of the inputs\n"
                   "  -h, --help           show this help and exit\n"
                   "  -V, --version        show the version and exit\n"
                   "  --                   end of options: every argument after it is a FILE\n"
                   "\n"
                   "Report bugs to: <developers@zimbrots.lv>\n"
                   "Zimbrots home page: <https://zimbrots.lv/>\n"),
                 ProgramName);
}

void PrintVersion()
{
    std::printf("%s (Zimbrots) %s\n", ProgramName, ZIMBROTS_VERSION);
    std::printf("Copyright (C) 2026 Zimbrots developers\n");
    std::printf(_("License MIT: <https://opensource.org/licenses/MIT>.\n"
                  "This is free software: you are free to change and redistribute it.\n"
                  "There is NO WARRANTY, to the extent permitted by law.\n"));
}

// Where the converted text goes: standard output, or a temporary file beside the file named
// by -o that replaces it only when everything has been converted. So -o may name an input,
// and a failure, or a signal, leaves that file as it was and nothing else behind.
class Output {
public:
    bool OpenFile(const char* path);
    bool Write(std::string_view data);
    bool Commit();
    void Discard();

private:
    int fd_ = STDOUT_FILENO;
    std::string target_;
    std::string shownName_;
};

// The temporary file's name, for the signal handler to remove.
char temporaryPath[PATH_MAX + 16] = {};

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (temporaryPath[0] != '\0')
        ::unlink(temporaryPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool Output::OpenFile(const char* path)
{
    shownName_ = path;
    // Through a symbolic link, its target is replaced and the link kept.
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
        std::fprintf(stderr, "%s: %s: %s\n", ProgramName, path, std::strerror(ENAMETOOLONG));
        return false;
    }
    // The new file gets the old one's permissions, or those of a file the user creates anew.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) {
            std::fprintf(stderr, "%s: %s: %s\n", ProgramName, path, std::strerror(EISDIR));
            return false;
        }
        mode = old.st_mode & 07777;
    }
    struct sigaction removing {};
    removing.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&removing.sa_mask);
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGXFSZ}) {
        // A signal ignored on entry (as SIGINT is for a job started with &) stays ignored.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &removing, nullptr);
        sigaddset(&blocked, signal);
    }
    // No signal may come between the file's creation and the handler knowing its name.
    ::sigprocmask(SIG_BLOCK, &blocked, &previous);
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

// False when the output cannot take more; the reason has been reported. A reader of standard
// output that went away ends the program through SIGPIPE before this sees it.
bool Output::Write(std::string_view data)
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

// Puts the file in place; standard output has nothing to do.
bool Output::Commit()
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

void Output::Discard()
{
    if (fd_ != STDOUT_FILENO && fd_ >= 0)
        ::close(fd_);
    if (temporaryPath[0] != '\0')
        ::unlink(temporaryPath);
    temporaryPath[0] = '\0';
}

enum class Outcome { Converted, InputFailed, OutputFailed };

Outcome ConvertStream(int fd, const char* name, Encoding encoding, Output& output)
{
    std::vector<char> buffer(ChunkSize);
    std::string converted;
    zimbrots::Utf8StreamConverter utf8;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "%s: %s: %s\n", ProgramName, name, std::strerror(errno));
            // What was read so far is already out; the held tail goes out too.
            converted.clear();
            utf8.Finish(converted);
            return output.Write(converted) ? Outcome::InputFailed : Outcome::OutputFailed;
        }
        converted.clear();
        const std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
        if (got == 0) {
            utf8.Finish(converted);
        } else if (encoding == Encoding::Utf8) {
            utf8.Convert(piece, converted);
        } else {
            zimbrots::AppendConvertedWindows1257(piece, converted);
        }
        if (!output.Write(converted))
            return Outcome::OutputFailed;
        if (got == 0)
            return Outcome::Converted;
    }
}

// The catalogues sit beside the program's own folder as they are installed (bin/ and
// share/locale/), so that an unpacked or uninstalled build finds its own too.
void BindMessageCatalogue()
{
    std::string directory = ZIMBROTS_LOCALEDIR;
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string_view path(self, static_cast<std::size_t>(length));
        directory = std::string(path.substr(0, path.rfind('/') + 1)) + ZIMBROTS_LOCALEDIR_FROM_BINDIR;
    }
    ::bindtextdomain("zimbrots-convert", directory.c_str());
    ::textdomain("zimbrots-convert");
}

// The option that getopt_long just refused, as the user wrote it: "--encoding" or "-e".
std::string OptionAsWritten(char** argv)
{
    const std::string_view argument = argv[::optind - 1];
    if (argument.starts_with("--"))
        return std::string(argument.substr(0, argument.find('=')));
    return std::string("-") + char(::optopt);
}

int Misused()
{
    PrintUsage(stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    BindMessageCatalogue();
    // End as any filter ends when the reader goes away, even if SIGPIPE came in ignored.
    std::signal(SIGPIPE, SIG_DFL);

    static const option longOptions[] = {
        {"encoding", required_argument, nullptr, 'e'},
        {"output", required_argument, nullptr, 'o'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    std::optional<Encoding> encoding;
    const char* outputPath = nullptr;
    ::opterr = 0;  // the messages below are this program's own, in the user's language
    for (int option; (option = ::getopt_long(argc, argv, ":e:o:hV", longOptions, nullptr)) != -1;) {
        switch (option) {
        case 'e':
            encoding = EncodingNamed(::optarg);
            if (!encoding) {
                std::fprintf(stderr, _("%s: unknown encoding '%s'\n"), ProgramName, ::optarg);
                PrintKnownEncodings();
                return 2;
            }
            break;
        case 'o':
            outputPath = ::optarg;
            break;
        case 'h':
            PrintUsage(stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        case 'V':
            PrintVersion();
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        case ':':
            std::fprintf(stderr, _("%s: option '%s' needs a value\n"), ProgramName, OptionAsWritten(argv).c_str());
            return Misused();
        default:
            std::fprintf(stderr, _("%s: unknown option '%s'\n"), ProgramName, OptionAsWritten(argv).c_str());
            return Misused();
        }
    }
    std::vector<std::string> files(argv + ::optind, argv + argc);
    if (files.empty())
        files.emplace_back("-");

    // Without -e, the text is in the locale's encoding. The C locale's ASCII is what no file
    // holds any more: its users get UTF-8. Another codeset's bytes would be converted wrongly
    // without a word, so the user must name the text's encoding.
    if (!encoding) {
        const char* codeset = ::nl_langinfo(CODESET);
        const std::string_view name = codeset;
        encoding = name == "ANSI_X3.4-1968" ? std::optional(Encoding::Utf8) : EncodingNamed(name);
        if (!encoding) {
            std::fprintf(stderr, _("%s: the locale's encoding %s is not one this program knows; name the text's encoding with -e\n"),
                         ProgramName, codeset);
            PrintKnownEncodings();
            return 2;
        }
    }

    Output output;
    if (outputPath) {
        if (!output.OpenFile(outputPath))
            return 1;
    } else {
        // With a pipe's default 64 KiB, this program and its reader take turns every few dozen
        // kilobytes; 1 MiB, the most an unprivileged process may ask for, halved the time of
        // "zimbrots-convert FILE | cat" on 256 MiB. Not a pipe, or not allowed: nothing changes.
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20);
    }
    ::fcntl(STDIN_FILENO, F_SETPIPE_SZ, 1 << 20);

    int status = 0;
    for (const std::string& file : files) {
        int fd = STDIN_FILENO;
        const char* name = _("standard input");
        if (file != "-") {
            name = file.c_str();
            fd = ::open(name, O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                std::fprintf(stderr, "%s: %s: %s\n", ProgramName, name, std::strerror(errno));
                status = 1;
                continue;
            }
        }
        const Outcome outcome = ConvertStream(fd, name, *encoding, output);
        if (fd != STDIN_FILENO)
            ::close(fd);
        if (outcome == Outcome::OutputFailed) {
            output.Discard();
            return 1;
        }
        if (outcome == Outcome::InputFailed)
            status = 1;
    }
    // A file named by -o replaces the old one only when every input converted.
    if (status != 0) {
        output.Discard();
        return status;
    }
    return output.Commit() ? 0 : 1;
}
