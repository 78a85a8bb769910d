// zimbrots-convert: converts files or standard input into hacker writing on standard output.

#include "conversion/convert.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libintl.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

// The messages in the user's language, from the gettext catalogue "zimbrots-convert".
#define _(text) gettext(text)

namespace {

constexpr const char* ProgramName = "zimbrots-convert";
constexpr std::size_t ChunkSize = 64 * 1024;

enum class Encoding { Utf8, Windows1257 };

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 _("Usage: %s [--encoding utf-8|windows-1257] [FILE...]\n"
                 "Converts each FILE, or standard input when there is none or for \"-\",\n"
                 "into hacker writing on standard output.\n"
                 "\n"
                 "  --encoding NAME  the text's encoding: utf-8 (default) or windows-1257\n"
                 "  --help           show this help and exit\n"
                 "  --version        show the version and exit\n"
                 "  --               end of options: every argument after it is a FILE\n"),
                 ProgramName);
}

// False when standard output cannot take more; the reason has been reported. A reader that
// went away ends the program through SIGPIPE before this sees it.
bool WriteOut(const std::string& data)
{
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, p, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, _("%s: cannot write to standard output: %s\n"), ProgramName, std::strerror(errno));
            return false;
        }
        p += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

enum class Outcome { Converted, InputFailed, OutputFailed };

Outcome ConvertStream(int fd, const char* name, Encoding encoding)
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
            return WriteOut(converted) ? Outcome::InputFailed : Outcome::OutputFailed;
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
        if (!WriteOut(converted))
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

}  // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    BindMessageCatalogue();
    // End as any filter ends when the reader goes away, even if SIGPIPE came in ignored.
    std::signal(SIGPIPE, SIG_DFL);

    Encoding encoding = Encoding::Utf8;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            files.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help") {
            PrintUsage(stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        } else if (arg == "--version") {
            std::printf("%s %s\n", ProgramName, ZIMBROTS_VERSION_TEXT);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        } else if (arg == "--encoding" || arg.starts_with("--encoding=")) {
            std::string_view value;
            if (arg == "--encoding") {
                if (i + 1 >= argc) {
                    std::fprintf(stderr, _("%s: --encoding needs a value\n"), ProgramName);
                    PrintUsage(stderr);
                    return 2;
                }
                value = argv[++i];
            } else {
                value = arg.substr(std::strlen("--encoding="));
            }
            if (value == "utf-8" || value == "UTF-8" || value == "utf8") {
                encoding = Encoding::Utf8;
            } else if (value == "windows-1257" || value == "cp1257" || value == "WINDOWS-1257") {
                encoding = Encoding::Windows1257;
            } else {
                std::fprintf(stderr, _("%s: unknown encoding '%.*s'\n"), ProgramName, int(value.size()), value.data());
                PrintUsage(stderr);
                return 2;
            }
        } else {
            std::fprintf(stderr, _("%s: unknown option '%s'\n"), ProgramName, argv[i]);
            PrintUsage(stderr);
            return 2;
        }
    }
    if (files.empty())
        files.emplace_back("-");

    // With a pipe's default 64 KiB, this program and its reader take turns every few dozen
    // kilobytes; 1 MiB, the most an unprivileged process may ask for, halved the time of
    // "zimbrots-convert FILE | cat" on 256 MiB. Not a pipe, or not allowed: nothing changes.
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO})
        ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);

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
        const Outcome outcome = ConvertStream(fd, name, encoding);
        if (fd != STDIN_FILENO)
            ::close(fd);
        if (outcome == Outcome::OutputFailed)
            return 1;
        if (outcome == Outcome::InputFailed)
            status = 1;
    }
    return status;
}
